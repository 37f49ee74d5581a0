// binconv-cli encode: text straight to bytes, with an optional coverage
// report and a lenient mode that leaves out what can't be written.

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/into.h"
#include "cli/io.h"
#include "codec/report.h"
#include "runtime/describe.h"
#include "runtime/file.h"
#include "runtime/utf8.h"

namespace binconv::cli {
namespace {

constexpr std::array kEncodeOptions{
    kTablesOption,
    kExactOption,
    kOutputNameOption,
    OptionSpec{"report", 0, "",
               "print what was converted, by page, and each character without a code"},
    OptionSpec{"keep-going", 0, "",
               "write the file anyway, leaving out each character without a code"},
    kIntoOption,
    kAtOption,
    kRoomOption,
    kFillOption,
    kHelpOption};

constexpr std::string_view kEncodeDetails =
    "Converts Japanese text (UTF-8) straight into bytes, as convert followed by\n"
    "write would. Every character without a code, and every tag character that\n"
    "is not a hex digit, is listed with its line and column (past 1000 of them\n"
    "the reading stops, unless --report or --keep-going is given); then nothing\n"
    "is written, unless --keep-going leaves them out. --report prints to\n"
    "standard error how many characters got a code on each page and each\n"
    "character without one. INPUT omitted or \"-\" reads standard input.\n"
    "\n"
    "With --into GAME --at OFFSET the bytes replace GAME's bytes from OFFSET on;\n"
    "GAME keeps its length and every other byte. With --room N a text of more\n"
    "than N bytes is refused, naming by line and column the first character\n"
    "that does not fit, and --fill XX fills the rest of the room. GAME is\n"
    "replaced atomically, or not at all.\n";

// Past this many problems a text is plainly not for these tables: listing
// every problem of a large file would cost memory and bury the first ones.
constexpr std::size_t kMaxProblemsListed = 1000;

std::string Times(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " time" : " times");
}

void PrintCoverage(const CoverageReport& report) {
  PrintLine("coverage: " + std::to_string(report.converted()) + " characters converted");
  for (int page = 0; page < kPages; ++page) {
    PrintLine("  " + Padded(PageName(page), 14) +
              std::to_string(report.by_page[static_cast<std::size_t>(page)]));
  }
  PrintLine("  " + Padded("line breaks", 14) + std::to_string(report.line_breaks));
  PrintLine("  " + Padded("spaces", 14) + std::to_string(report.spaces));
  PrintLine("  " + Padded("bytes in tags", 14) + std::to_string(report.tag_digits / 2));

  for (const EncodeProblem::Kind kind :
       {EncodeProblem::Kind::kNoCode, EncodeProblem::Kind::kNotHexInTag}) {
    std::size_t distinct = 0;
    std::size_t total = 0;
    for (const MissingChar& m : report.missing) {
      if (m.kind != kind) continue;
      ++distinct;
      total += m.count;
    }
    if (distinct == 0) continue;
    const char* what = kind == EncodeProblem::Kind::kNoCode ? " without a code, "
                                                            : " in tags that are not hex digits, ";
    PrintLine("coverage: " + std::to_string(distinct) +
              (distinct == 1 ? " character" : " characters") + what + Times(total) + " in all");
    for (const MissingChar& m : report.missing) {
      if (m.kind != kind) continue;
      PrintLine("  " + DescribeChar(m.ch) + " " + Times(m.count) + ", first at " +
                std::to_string(m.first_line) + ":" + std::to_string(m.first_column));
    }
  }
}

int RunEncode(const ParsedArgs& args) {
  std::optional<CommandTables> tables = LoadCommandTables(args);
  if (!tables) return kExitError;
  const CharTable* table = &tables->loaded.table;
  int into_status = kExitOk;
  const std::optional<IntoTarget> into = ParseInto(args, into_status);
  if (into_status != kExitOk) return into_status;
  // Into a game file the bytes are gathered, with the text, to be checked
  // against the room as a whole.
  std::vector<std::uint8_t> gathered;
  std::string text;
  const std::filesystem::path path =
      into ? into->game : OutputPathOf(args, OutputDefault::kNameBox);
  const std::string shown = PathToUtf8(path);
  std::unique_ptr<OutputSink> writer;
  if (!into) {
    auto opened = OpenOutput(path, OutputHold::kUntilCommit);
    if (!opened) return ReportOutputError(opened.error());
    writer = std::move(opened).value();
  }

  const bool report = args.Has("report");
  const bool keep_going = args.Has("keep-going");
  // With either, every problem is counted and the reading goes on to the end.
  const bool limited = !report && !keep_going;
  Encoder encoder(*table, LineBreaksOf(args));
  CoverageCounter coverage;
  if (report) encoder.set_counts(&coverage.counts());
  encoder.set_drop_problems(keep_going);
  std::vector<std::uint8_t> bytes;
  std::size_t written_bytes = 0;
  std::size_t problems = 0;
  const std::string input_name = InputName(args);

  // Problems are reported as they are found so that a long text with many of
  // them still shows progress.
  auto take_problems = [&]() -> int {
    const std::vector<EncodeProblem>& found = encoder.problems();
    for (const EncodeProblem& problem : found) {
      if (limited && problems == kMaxProblemsListed) {
        PrintError(input_name + ": more than " + std::to_string(kMaxProblemsListed) +
                   " problems; stopped reading");
        return kExitRejected;
      }
      PrintProblem(input_name, problem);
      ++problems;
    }
    coverage.AddProblems(found);
    encoder.clear_problems();
    return kExitOk;
  };
  // Bytes go on to the writer while they may still be kept.
  auto write = [&]() -> int {
    if (problems != 0 && !keep_going) bytes.clear();
    written_bytes += bytes.size();
    if (into) {
      gathered.insert(gathered.end(), bytes.begin(), bytes.end());
      bytes.clear();
      return kExitOk;
    }
    auto written = writer->Write(Bytes(bytes));
    bytes.clear();
    return written ? kExitOk : ReportOutputError(written.error());
  };
  int status = ReadBytes(input_name, [&](std::string_view chunk) {
    if (into) text.append(chunk);
    const bool good = encoder.FeedUtf8(chunk, bytes);
    if (!good) return ReportInvalidUtf8(ShownName(input_name), encoder.utf8_error().offset);
    if (int taken = take_problems(); taken != kExitOk) return taken;
    return write();
  });
  if (status == kExitOk && !encoder.FinishUtf8(bytes)) {
    status = ReportInvalidUtf8(ShownName(input_name), encoder.utf8_error().offset);
  }
  if (status == kExitOk) {
    const int taken = take_problems();
    if (encoder.odd_count()) PrintOddCount(input_name);
    if (report) {
      PrintLine("tables: " + PathToUtf8(tables->folder));
      PrintCoverage(coverage.Finish());
    }
    const bool writable = !encoder.odd_count() && (problems == 0 || keep_going);
    if (taken != kExitOk) {
      status = taken;
    } else if (!writable) {
      if (!limited) PrintLine("nothing written to " + shown);
      status = kExitRejected;
    } else if (status = write(); status == kExitOk && into) {
      status = PatchInto(*into, std::move(gathered), input_name, "character", [&] {
        auto units = DecodeUtf8Text(text);
        return FirstCharPastRoom(units.value(), *table, LineBreaksOf(args),
                                 into->place.room.value_or(0), keep_going);
      });
      if (status == kExitOk && problems != 0) {
        PrintLine("wrote " + std::to_string(written_bytes) + " bytes into " + shown +
                  " WITHOUT the " + std::to_string(problems) +
                  (problems == 1 ? " character" : " characters") + " listed above");
      }
    } else if (status == kExitOk) {
      if (auto committed = writer->Commit(); !committed) {
        status = ReportOutputError(committed.error());
      } else if (problems != 0 || report) {
        std::string line = "wrote " + std::to_string(written_bytes) + " bytes to " + shown;
        if (problems != 0) {
          line += " WITHOUT the " + std::to_string(problems) +
                  (problems == 1 ? " character" : " characters") + " listed above";
        }
        PrintLine(line);
      }
    }
  }
  if (status != kExitOk && writer) writer->Abort();
  return status;
}

}  // namespace

extern const Command kEncodeCommand{
    .name = "encode",
    .summary = "convert text and write its bytes in one step",
    .details = kEncodeDetails,
    .usage = {.options = kEncodeOptions, .form = {.positionals = {.shown = "[INPUT]", .max = 1}}},
    .run = &RunEncode};

}  // namespace binconv::cli
