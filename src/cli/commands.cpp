#include "cli/commands.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chartable/load.h"
#include "cli/inspect.h"
#include "cli/io.h"
#include "conversion/convert.h"
#include "conversion/encode.h"
#include "conversion/listing.h"
#include "conversion/write.h"
#include "runtime/utf8.h"

namespace binconv::cli {
namespace {

constexpr OptionSpec kHelpOption{"help", 'h', "", "show this help and exit"};
constexpr OptionSpec kTablesOption{"tables", 0, "DIR",
                                   "read Zezovar.ini and Zezovar_ex.ini from DIR (default: .)"};
constexpr OptionSpec kExactOption{"exact", 0, "",
                                  "only CR LF is a line break (default: lone CR and LF are too)"};

constexpr std::array kConvertOptions{
    kTablesOption, kExactOption,
    OptionSpec{"output", 'o', "FILE", "write the listing to FILE instead of standard output"},
    kHelpOption};
constexpr std::array kWriteOptions{
    OptionSpec{"output", 'o', "NAME", "output file, trimmed of spaces (default: temp.bin)"},
    kHelpOption};
constexpr std::array kEncodeOptions{
    kTablesOption,
    kExactOption,
    OptionSpec{"output", 'o', "NAME", "output file, trimmed of spaces (default: temp.bin)"},
    kReportOption,
    kKeepGoingOption,
    kHelpOption};

std::span<const std::uint8_t> Bytes(const std::vector<std::uint8_t>& bytes) { return bytes; }

std::string InputName(const ParsedArgs& args) {
  return args.positionals.empty() ? std::string(kStdioName) : args.positionals.front();
}

LineBreaks LineBreaksOf(const ParsedArgs& args) {
  return args.Has("exact") ? LineBreaks::kCrLf : LineBreaks::kAny;
}

std::optional<CharTable> LoadTables(const ParsedArgs& args) {
  auto tables = LoadCharTables(PathFromUtf8(args.Value("tables").value_or(".")));
  if (!tables) {
    PrintError(DescribeTableError(tables.error()));
    return std::nullopt;
  }
  return std::move(tables).value();
}

// The name given with -o, as the window's name box would take it.
std::optional<std::filesystem::path> OutputPath(const ParsedArgs& args) {
  auto name = DecodeUtf8(args.Value("output").value_or(""));
  if (!name) {
    PrintError("the output name is not valid UTF-8");
    return std::nullopt;
  }
  return PathFromName(OutputNameFromBox(name.value()));
}

std::string Position(const std::string& file, std::size_t line, std::size_t column) {
  return file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": ";
}

void PrintListingError(const std::string& listing_name, const ListingError& error) {
  PrintLine(EncodeUtf8(MessageFor(error.code)));
  PrintLine(Position(listing_name, error.line, error.column) + DescribeChar(error.ch));
}

int RunConvert(const ParsedArgs& args) {
  std::optional<CharTable> table = LoadTables(args);
  if (!table) return kExitError;
  auto opened = OpenOutput(PathFromUtf8(args.Value("output").value_or(kStdioName)));
  if (!opened) return ReportOutputError(opened.error());
  OutputSink& sink = *opened.value();
  Utf8Output output(sink);
  CodeConverter converter(*table, LineBreaksOf(args));
  std::u16string listing;
  std::string listing_utf8;

  // Runs of characters that need no state skip the UTF-16 step.
  auto direct = [&](std::string_view utf8, std::size_t& taken) {
    listing_utf8.clear();
    taken = converter.FeedUtf8Run(utf8, listing_utf8);
    if (auto written = output.WriteUtf8(listing_utf8); !written) {
      return ReportOutputError(written.error());
    }
    return kExitOk;
  };
  int status = ReadText(
      InputName(args),
      [&](std::u16string_view text) {
        listing.clear();
        converter.Feed(text, listing);
        if (auto written = output.Write(listing); !written) {
          return ReportOutputError(written.error());
        }
        return kExitOk;
      },
      direct);
  if (status == kExitOk) {
    listing.clear();
    converter.Finish(listing);
    auto done = output.Write(listing);
    if (done) done = output.Finish();
    if (done) done = sink.Commit();
    if (!done) status = ReportOutputError(done.error());
  }
  if (status != kExitOk) sink.Abort();
  return status;
}

int RunWrite(const ParsedArgs& args) {
  std::optional<std::filesystem::path> path = OutputPath(args);
  if (!path) return kExitError;
  AtomicFileWriter writer;
  if (auto opened = writer.Open(*path); !opened) return ReportOutputError(opened.error());
  ListingParser parser;
  std::vector<std::uint8_t> bytes;
  const std::string listing_name = InputName(args);

  int status = ReadText(listing_name, [&](std::u16string_view text) {
    bytes.clear();
    parser.Feed(text, bytes);
    if (auto written = writer.Write(Bytes(bytes)); !written) {
      return ReportOutputError(written.error());
    }
    return kExitOk;
  });
  if (status == kExitOk) {
    if (std::optional<ListingError> error = parser.Finish()) {
      PrintListingError(listing_name, *error);
      status = kExitRejected;
    } else if (auto committed = writer.Commit(); !committed) {
      status = ReportOutputError(committed.error());
    }
  }
  if (status != kExitOk) writer.Abort();
  return status;
}

constexpr std::size_t kMaxProblemsListed = 1000;

int RunEncode(const ParsedArgs& args) {
  std::optional<CharTable> table = LoadTables(args);
  if (!table) return kExitError;
  std::optional<std::filesystem::path> path = OutputPath(args);
  if (!path) return kExitError;
  if (args.Has("report") || args.Has("keep-going")) return RunEncodeWithReport(args, *table, *path);
  AtomicFileWriter writer;
  if (auto opened = writer.Open(*path); !opened) return ReportOutputError(opened.error());
  Encoder encoder(*table, LineBreaksOf(args));
  std::vector<std::uint8_t> bytes;
  const std::string input_name = InputName(args);
  std::size_t reported = 0;

  // Problems are reported as they are found so that a long text with many of
  // them still shows progress; none of its bytes will be kept. Past a limit
  // the text is plainly not for these tables, and the reading stops: listing
  // every problem of a large file would cost memory and bury the first ones.
  auto report_new_problems = [&] {
    const std::vector<EncodeProblem>& problems = encoder.problems();
    for (; reported < problems.size() && reported < kMaxProblemsListed; ++reported) {
      const EncodeProblem& problem = problems[reported];
      const char* what = problem.kind == EncodeProblem::Kind::kNoCode ? "no code for "
                                                                      : "not a hex digit in a tag ";
      PrintLine(Position(input_name, problem.line, problem.column) + what +
                DescribeChar(problem.ch));
    }
  };

  auto report_too_many_problems = [&] {
    if (encoder.problems().size() <= kMaxProblemsListed) return false;
    PrintError(input_name + ": more than " + std::to_string(kMaxProblemsListed) +
               " problems; stopped reading");
    return true;
  };

  auto write = [&]() -> int {
    if (reported != 0) return kExitOk;
    if (auto written = writer.Write(Bytes(bytes)); !written) {
      return ReportOutputError(written.error());
    }
    return kExitOk;
  };
  // Runs of plain characters skip the UTF-16 step; they never have problems.
  auto direct = [&](std::string_view utf8, std::size_t& taken) {
    bytes.clear();
    taken = encoder.FeedUtf8Run(utf8, bytes);
    return write();
  };
  int status = ReadText(
      input_name,
      [&](std::u16string_view text) {
        bytes.clear();
        encoder.Feed(text, bytes);
        report_new_problems();
        if (report_too_many_problems()) return kExitRejected;
        return write();
      },
      direct);
  if (status == kExitOk) {
    bytes.clear();
    encoder.Finish(bytes);
    report_new_problems();
    report_too_many_problems();
    if (encoder.odd_count()) {
      PrintLine(EncodeUtf8(MessageFor(ListingErrorCode::kOddCount)));
      PrintLine(input_name + ": the hex digits do not pair up");
    }
    if (reported != 0 || encoder.odd_count()) {
      status = kExitRejected;
    } else {
      auto done = writer.Write(Bytes(bytes));
      if (done) done = writer.Commit();
      if (!done) status = ReportOutputError(done.error());
    }
  }
  if (status != kExitOk) writer.Abort();
  return status;
}

constexpr std::string_view kConvertDetails =
    "Converts Japanese text (UTF-8) into a code listing: each character becomes\n"
    "its lead code (pages 1-5) and its two hex digits, each followed by a space;\n"
    "a line break becomes \"24\" and CR LF, a full-width or plain space \"50\".\n"
    "Characters the tables don't hold stay in the listing as they are, and text\n"
    "between \"<\" and \">\" is copied unchanged. The listing is written as UTF-8.\n"
    "INPUT omitted or \"-\" reads standard input.\n";
constexpr std::string_view kWriteDetails =
    "Turns a code listing (UTF-8) into bytes: spaces and line breaks are dropped\n"
    "and each pair of hex digits becomes one byte. An odd number of digits or any\n"
    "other character rejects the whole listing; the output file is then left as\n"
    "it was. LISTING omitted or \"-\" reads standard input.\n";
constexpr std::string_view kEncodeDetails =
    "Converts Japanese text (UTF-8) straight into bytes, as convert followed by\n"
    "write would. Every character without a code, and every tag character that\n"
    "is not a hex digit, is listed with its line and column (past 1000 of them\n"
    "the reading stops, unless --report or --keep-going is given); then nothing\n"
    "is written, unless --keep-going leaves them out. --report prints to\n"
    "standard error how many characters got a code on each page and each\n"
    "character without one. INPUT omitted or \"-\" reads standard input.\n";

constexpr std::array kCommands{
    Command{"convert", "[--tables DIR] [--exact] [-o FILE] [INPUT]",
            "convert text into a code listing", kConvertDetails, kConvertOptions, 1, &RunConvert},
    Command{"write", "[-o NAME] [LISTING]", "write the bytes of a code listing to a file",
            kWriteDetails, kWriteOptions, 1, &RunWrite},
    Command{"encode", "[--tables DIR] [--exact] [--report] [--keep-going] [-o NAME] [INPUT]",
            "convert text and write its bytes in one step", kEncodeDetails, kEncodeOptions, 1,
            &RunEncode},
    kDecodeCommand,
    kCheckTablesCommand,
};

}  // namespace

std::span<const Command> Commands() { return kCommands; }

}  // namespace binconv::cli
