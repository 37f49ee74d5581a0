// binconv-cli encode: text straight to bytes, with an optional coverage
// report and a lenient mode that leaves out what can't be written.

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/into.h"
#include "cli/io.h"
#include "cli/outputs.h"
#include "codec/text_codec.h"
#include "codec/report.h"
#include "runtime/describe.h"
#include "runtime/file.h"
#include "runtime/utf8.h"

namespace binconv::cli {
namespace {

constexpr CommandText kEncodeText{
    .name = "encode",
    .summary = "convert text and write its bytes in one step",
    .details =
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
        "replaced atomically, or not at all.\n"
        "\n"
        "--tbl FILE encodes through a game's own table (see decode --tbl): a tag is\n"
        "a label of the table (<wait>) or bytes in hex, and a control code's label\n"
        "is followed by a tag of exactly its parameter bytes (<wait><1E>); elsewhere\n"
        "the longest text of the table wins (then the shorter code, then the entry\n"
        "first in the file), and a line break alone is the first *HEX without text.\n"
        "--report goes with the tables only.\n"};

constexpr std::array kEncodeOptions{
    kTablesOption,
    kGameTblOption,
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

constexpr Usage kEncodeUsage{.options = kEncodeOptions,
                             .form = {.positionals = OptionalInput("[INPUT]")}};

// Past this many problems a text is plainly not for these tables: listing
// every problem of a large file would cost memory and bury the first ones.
constexpr std::size_t kMaxProblemsListed = 1000;

std::string Times(std::size_t count) { return Counted(count, "time"); }

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
    PrintLine("coverage: " + Counted(distinct, "character") + what + Times(total) + " in all");
    for (const MissingChar& m : report.missing) {
      if (m.kind != kind) continue;
      PrintLine("  " + DescribeChar(m.ch) + " " + Times(m.count) + ", first at " +
                std::to_string(m.first_line) + ":" + std::to_string(m.first_column));
    }
  }
}

// One run of encode: the text read in chunks, its problems told as they are
// found (so that a long text with many of them still shows progress), and
// the bytes passed on to -o's output while they may still be kept, or
// gathered with the text for --into, to be checked against the room whole.
class EncodeRun {
 public:
  // The encoding is that of `tables`, or with --tbl that of `game`.
  EncodeRun(const ParsedArgs& args, const CommandTables* tables, const TextCodec& encoding,
            const std::optional<IntoTarget>& into)
      : args_(args),
        tables_(tables),
        encoding_(encoding),
        into_(into),
        input_name_(InputName(args)),
        report_(args.Has("report")),
        keep_going_(args.Has("keep-going")),
        encoder_(encoding, LineBreaksOf(args)) {
    if (report_) encoder_.set_counts(&coverage_.counts());
    encoder_.set_drop_problems(keep_going_);
    path_ = into ? into->game : OutputPathOf(args, OutputDefault::kNameBox);
    shown_ = PathToUtf8(path_);
  }

  Reported<> Open() {
    if (into_) return Unit{};
    auto opened = OpenOutput(path_, OutputHold::kUntilCommit);
    if (!opened) return Failure(ReportOutputError(opened.error()));
    writer_ = std::move(opened).value();
    return Unit{};
  }

  Reported<> Feed(std::string_view chunk) {
    if (into_) text_.append(chunk);
    if (!encoder_.FeedUtf8(chunk, bytes_)) return BadUtf8();
    if (auto taken = TakeProblems(); !taken) return taken;
    return Pass();
  }

  // After the whole input: the report, then the bytes made final or refused.
  Reported<> Finish() {
    if (!encoder_.FinishUtf8(bytes_)) return BadUtf8();
    const Reported<> taken = TakeProblems();
    // A .tbl's tags pair up one by one, each odd one a problem of its own.
    const bool odd_count = encoder_.odd_count();
    if (odd_count) PrintOddCount(input_name_);
    if (report_) {
      PrintLine("tables: " + PathToUtf8(tables_->folder));
      PrintCoverage(coverage_.Finish());
    }
    if (!taken) return taken;
    if (odd_count || (problems_ != 0 && !keep_going_)) {
      if (!Limited()) PrintLine("nothing written to " + shown_);
      return Failure(ExitStatus::kRejected);
    }
    if (auto passed = Pass(); !passed) return passed;
    return into_ ? PutInto() : Commit();
  }

  void Abort() {
    if (writer_) writer_->Abort();
  }

 private:
  // Without --report or --keep-going the reading stops at so many problems.
  bool Limited() const { return !report_ && !keep_going_; }

  Reported<> BadUtf8() {
    const Utf8Error error = encoder_.utf8_error();
    return Failure(ReportInvalidUtf8(ShownName(input_name_), error.offset));
  }

  Reported<> TakeProblems() {
    const std::vector<EncodeProblem>& found = encoder_.problems();
    for (const EncodeProblem& problem : found) {
      if (Limited() && problems_ == kMaxProblemsListed) {
        PrintError(input_name_ + ": more than " + std::to_string(kMaxProblemsListed) +
                   " problems; stopped reading");
        return Failure(ExitStatus::kRejected);
      }
      PrintProblem(input_name_, problem);
      ++problems_;
    }
    coverage_.AddProblems(found);
    encoder_.clear_problems();
    return Unit{};
  }

  // The bytes so far, on to the output or the gathered bytes.
  Reported<> Pass() {
    if (problems_ != 0 && !keep_going_) bytes_.clear();
    written_bytes_ += bytes_.size();
    if (into_) {
      gathered_.insert(gathered_.end(), bytes_.begin(), bytes_.end());
      bytes_.clear();
      return Unit{};
    }
    auto written = writer_->Write(Bytes(bytes_));
    bytes_.clear();
    if (written) return Unit{};
    return Failure(ReportOutputError(written.error()));
  }

  Reported<> PutInto() {
    auto patched = PatchInto(
        *into_, std::move(gathered_), input_name_, "character", [&]() -> std::optional<TextPlace> {
          auto units = DecodeUtf8Text(text_);
          return FirstCharPastRoom(units.value(), encoding_, LineBreaksOf(args_),
                                   into_->place.room.value_or(0), keep_going_);
        });
    if (patched && problems_ != 0) {
      PrintLine("wrote " + std::to_string(written_bytes_) + " bytes into " + shown_ + Without());
    }
    return patched;
  }

  Reported<> Commit() {
    if (auto committed = writer_->Commit(); !committed) {
      return Failure(ReportOutputError(committed.error()));
    }
    if (problems_ != 0 || report_) {
      PrintLine("wrote " + std::to_string(written_bytes_) + " bytes to " + shown_ + Without());
    }
    return Unit{};
  }

  // " WITHOUT the 2 characters listed above", or nothing.
  std::string Without() const {
    if (problems_ == 0) return {};
    return " WITHOUT the " + Counted(problems_, "character") + " listed above";
  }

  const ParsedArgs& args_;
  const CommandTables* tables_;  // none with --tbl
  const TextCodec& encoding_;
  const std::optional<IntoTarget>& into_;
  const std::string input_name_;
  const bool report_;
  const bool keep_going_;
  TextEncoder encoder_;
  CoverageCounter coverage_;
  std::filesystem::path path_;
  std::string shown_;
  std::unique_ptr<OutputSink> writer_;
  std::vector<std::uint8_t> bytes_;     // made from the latest chunk
  std::vector<std::uint8_t> gathered_;  // with --into, every byte so far
  std::string text_;                    // with --into, the text so far
  std::size_t written_bytes_ = 0;
  std::size_t problems_ = 0;
};

ExitStatus RunEncode(const ParsedArgs& args) {
  if (auto spared = RefuseOutputsOverInputs("encode", args); !spared) {
    return spared.error();
  }
  std::optional<CommandTables> tables;
  std::optional<GameTable> game;
  if (const std::optional<std::string> tbl = args.Value("tbl")) {
    // The report counts the pages of the tables, which a .tbl has not.
    if (args.Has("report")) return UsageError("--tbl and --report exclude each other");
    Reported<GameTable> loaded = LoadCommandGameTable(*tbl);
    if (!loaded) return loaded.error();
    game.emplace(std::move(loaded).value());
  } else {
    Reported<CommandTables> loaded = LoadCommandTables(args);
    if (!loaded) return loaded.error();
    tables.emplace(std::move(loaded).value());
  }
  const Reported<std::optional<IntoTarget>> into = ParseInto(args);
  if (!into) return into.error();
  const TextCodec encoding = game ? TextCodec(*game) : TextCodec(tables->loaded.table);
  EncodeRun run(args, tables ? &*tables : nullptr, encoding, *into);
  Reported<> status = run.Open();
  if (status) {
    status = ReadBytes(InputName(args), [&](std::string_view chunk) { return run.Feed(chunk); });
  }
  if (status) status = run.Finish();
  if (!status) run.Abort();
  return StatusOf(status);
}

}  // namespace

extern const Command kEncodeCommand{kEncodeText, kEncodeUsage, &RunEncode};

}  // namespace binconv::cli
