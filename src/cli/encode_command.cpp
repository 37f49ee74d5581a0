// binconv-cli encode: text straight to bytes, with an optional coverage
// report and a lenient mode that leaves out what can't be written.

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/into.h"
#include "cli/io.h"
#include "cli/outputs.h"
#include "cli/problems.h"
#include "codec/encode_run.h"
#include "runtime/describe.h"
#include "runtime/file.h"
#include "runtime/utf8.h"

namespace binconv::cli {
namespace {

using messages::Language;
using messages::Say;

constexpr CommandText kEncodeText{
    .name = "encode",
    .summary = Phrase("convert text and write its bytes in one step"),
    .details =
        Phrase("Converts Japanese text (UTF-8) straight into bytes, as convert followed by\n"
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
        "--report goes with the tables only.\n")};

constexpr std::array kEncodeOptions{
    kTablesOption,
    kGameTblOption,
    kExactOption,
    kOutputNameOption,
    OptionSpec{"report", 0, "",
               Phrase("print what was converted, by page, and each character without a code")},
    OptionSpec{"keep-going", 0, "",
               Phrase("write the file anyway, leaving out each character without a code")},
    kIntoOption,
    kAtOption,
    kRoomOption,
    kFillOption,
    kHelpOption};

constexpr Usage kEncodeUsage{.options = kEncodeOptions,
                             .form = {.positionals = OptionalInput("[INPUT]")}};

void PrintCoverage(Language language, const std::filesystem::path& tables,
                   const CoverageReport& report) {
  PrintLine(Say(language, "tables: {folder}", {{"folder", PathToUtf8(tables)}}));
  PrintLine(Say(language, "coverage: {n} characters converted",
                {{"n", std::to_string(report.converted())}}));
  const auto row = [](const std::string& name, std::size_t count) {
    PrintLine("  " + Padded(name, 14) + std::to_string(count));
  };
  for (int page = 0; page < kPages; ++page) {
    row(PageName(language, page), report.by_page[static_cast<std::size_t>(page)]);
  }
  row(Say(language, "line breaks"), report.line_breaks);
  row(Say(language, "spaces"), report.spaces);
  row(Say(language, "bytes in tags"), report.tag_digits / 2);
  for (const auto& [kind, what] :
       {std::pair{ProblemCode::kNoCode,
                  Phrase("coverage: {characters} without a code, {times} in all")},
        {ProblemCode::kNotHexInTag,
         Phrase("coverage: {characters} in tags that are not hex digits, {times} in all")}}) {
    const MissingCount missing = report.MissingOf(kind);
    if (missing.distinct == 0) continue;
    PrintLine(Say(language, what,
                  {{"characters", Counted(language, missing.distinct, Phrase("{n} character"),
                                          Phrase("{n} characters"))},
                   {"times", Counted(language, missing.total, Phrase("{n} time"),
                                     Phrase("{n} times"))}}));
    for (const MissingChar& m : report.missing) {
      if (m.kind != kind) continue;
      PrintLine("  " + Say(language, "{char} {times}, first at {line}:{column}",
                           {{"char", DescribeChar(m.ch)},
                            {"times", Counted(language, m.count, Phrase("{n} time"),
                                              Phrase("{n} times"))},
                            {"line", std::to_string(m.first_line)},
                            {"column", std::to_string(m.first_column)}}));
    }
  }
}

// What encode writes, and where: -o's output held until the end, or with
// --into the bytes gathered whole with the text, to be checked against the room.
struct EncodeTarget {
  const std::optional<IntoTarget>& into;
  std::filesystem::path path;
  std::unique_ptr<OutputSink> writer;  // none with --into
  std::string text;                    // with --into, the text so far
};

// "wrote 12 bytes to out.bin WITHOUT the 2 characters listed above"
void PrintWrote(Language language, const EncodeRun& run, bool into,
                const std::filesystem::path& path) {
  const std::size_t left_out = run.problem_count();
  std::string_view text;
  if (left_out == 0) {
    text = into ? Phrase("wrote {bytes} bytes into {file}") : Phrase("wrote {bytes} bytes to {file}");
  } else {
    text = into ? Phrase("wrote {bytes} bytes into {file} WITHOUT the {characters} listed above")
                : Phrase("wrote {bytes} bytes to {file} WITHOUT the {characters} listed above");
  }
  PrintLine(Say(language, text,
                {{"bytes", std::to_string(run.bytes_out())},
                 {"file", PathToUtf8(path)},
                 {"characters", Counted(language, left_out, Phrase("{n} character"),
                                        Phrase("{n} characters"))}}));
}

// The text read and encoded, its problems told as they are found (so that a
// long text with many of them still shows progress), then the report, then
// the bytes made final or refused. `report`: with --report, the tables' folder.
Reported<> Encode(const ParsedArgs& args, const GameTable& encoding, EncodeTarget& target,
                  const std::filesystem::path* report) {
  const std::string input_name = InputName(args);
  const bool keep_going = args.Has("keep-going");
  const bool limited = !report && !keep_going;
  EncodeRun run(
      encoding, input_name,
      {LineBreaksOf(args), keep_going, report != nullptr, limited ? kMaxProblemsTold : 0});
  std::vector<std::uint8_t> bytes;  // with --into, every byte so far
  std::vector<Problem> problems;
  // The problems so far told, and a stop reported.
  const auto tell = [&](const Result<Unit, EncodeRun::Stop>& taken) -> Reported<> {
    for (const Problem& problem : problems) ReportProblem(args.language, problem);
    problems.clear();
    if (taken) return Unit{};
    if (taken.error() == EncodeRun::Stop::kTooManyProblems) {
      PrintError(input_name + ": " +
                 Say(args.language, "more than {n} problems; stopped reading",
                     {{"n", std::to_string(kMaxProblemsTold)}}));
    }
    return Failure(ExitStatus::kRejected);
  };
  // The bytes so far passed on to -o's output.
  const auto pass = [&](const Result<Unit, EncodeRun::Stop>& taken) -> Reported<> {
    if (auto told = tell(taken); !told || !target.writer) return told;
    auto written = target.writer->Write(Bytes(bytes));
    bytes.clear();
    if (written) return Unit{};
    return Failure(ReportOutputError(args.language, written.error()));
  };
  const Reported<> read = ReadBytes(args.language, input_name, [&](std::string_view chunk) {
    if (target.into) target.text.append(chunk);
    return pass(run.Feed(chunk, bytes, problems));
  });
  if (!read) return read;
  const auto finished = run.Finish(bytes, problems);
  const Reported<> told = tell(finished);
  if (!finished && finished.error() == EncodeRun::Stop::kBadUtf8) return told;
  // Each odd tag was a problem at its place; the listing's own message
  // follows, as write gives it for a listing whose digits don't pair up.
  if (run.odd_count()) PrintOddCount(args.language, input_name);
  if (report) PrintCoverage(args.language, *report, run.coverage());
  if (!told) return told;
  if (run.refused()) {
    if (!limited) {
      PrintLine(Say(args.language, "nothing written to {file}", {{"file", PathToUtf8(target.path)}}));
    }
    return Failure(ExitStatus::kRejected);
  }
  if (auto passed = pass(finished); !passed) return passed;
  if (target.into) {
    const std::uint64_t room = target.into->place.room.value_or(0);
    auto patched =
        PatchInto(args.language, *target.into, std::move(bytes), input_name, ProblemDetail::kFirstCharPast,
                  [&](Problem& problem) {
                    return PlaceFirstCharPastRoom(problem, DecodeUtf8Text(target.text).value(),
                                                  encoding, LineBreaksOf(args), room);
                  });
    if (patched && run.problem_count() != 0) PrintWrote(args.language, run, true, target.path);
    return patched;
  }
  if (auto committed = target.writer->Commit(); !committed) {
    return Failure(ReportOutputError(args.language, committed.error()));
  }
  if (run.problem_count() != 0 || report) PrintWrote(args.language, run, false, target.path);
  return Unit{};
}

ExitStatus RunEncode(const ParsedArgs& args) {
  if (auto spared = RefuseOutputsOverInputs("encode", args); !spared) return spared.error();
  // The report counts the pages of the tables, which a .tbl has not.
  if (args.Has("tbl") && args.Has("report")) {
    return UsageError(args.language, Say(args.language, "{option} and {other} exclude each other",
                                         {{"option", "--tbl"}, {"other", "--report"}}));
  }
  CommandEncoding encoding;
  if (auto loaded = LoadCommandEncoding(args, encoding); !loaded) return loaded.error();
  const Reported<std::optional<IntoTarget>> into = ParseInto(args);
  if (!into) return into.error();
  EncodeTarget target{
      *into, *into ? (*into)->game : OutputPathOf(args, OutputDefault::kNameBox), {}, {}};
  if (!target.into) {
    auto opened = OpenOutput(args.language, target.path, OutputHold::kUntilCommit);
    if (!opened) return ReportOutputError(args.language, opened.error());
    target.writer = std::move(opened).value();
  }
  const Reported<> status = Encode(args, encoding.encoding(), target,
                                   args.Has("report") ? &encoding.tables->folder : nullptr);
  if (!status && target.writer) target.writer->Abort();
  return StatusOf(status);
}

}  // namespace

extern const Command kEncodeCommand{kEncodeText, kEncodeUsage, &RunEncode};

}  // namespace binconv::cli
