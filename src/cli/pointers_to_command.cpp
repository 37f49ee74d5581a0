// binconv-cli pointers-to: the pointers in a game file to given offsets, or
// with --tables-of the game's likely pointer tables, each as a plan line.

#include <algorithm>
#include <memory>
#include <variant>

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/game_scan.h"
#include "cli/io.h"
#include "cli/outputs.h"
#include "cli/problems.h"
#include "cli/progress.h"
#include "cli/strings_options.h"
#include "runtime/file.h"
#include "runtime/hex.h"
#include "scan/table_plan.h"

namespace binconv::cli {
namespace {

using messages::Language;
using messages::Say;

constexpr CommandText kPointersToText{
    .name = "pointers-to",
    .summary = Phrase("find pointers to offsets in a game file, or its pointer tables"),
    .details =
        Phrase("Lists every byte offset of GAME whose value, read as the format's TYPE,\n"
        "points at one of the OFFSETs (decimal or 0x hex), in file order:\n"
        "  POINTER_OFFSET<TAB>VALUE<TAB>TARGET\n"
        "all in 0x hex. The format is written with the same words as a plan's\n"
        "format line, after --format:\n"
        "  TYPE [header=N] [base=N] [map=linear|lorom|hirom] [relative=self]\n"
        "An address maps from a file offset o as o - header mapped (linear: as it\n"
        "is; lorom, hirom: the SNES maps) plus base; relative=self counts the\n"
        "value, signed, from the pointer's own offset. The first argument after\n"
        "the words that is not KEY=VALUE of those keys is GAME; \"--\" ends the\n"
        "words. Exit status: 0 something was found, 1 nothing, 2 an error.\n"
        "\n"
        "With --tables-of (and no OFFSET) it lists likely pointer tables: runs of\n"
        "at least 8 values at stride 2, 3, 4 or 8 that all point inside GAME at the\n"
        "start of a string that strings finds (with the same --tables or --tbl,\n"
        "--min and --end). Most entries first, ties in file order. The output is a\n"
        "piece of plan: a format line, then per table a comment with its first targets and\n"
        "its first string, and a script line ready to paste; its end= byte is\n"
        "--end, or else the byte the first strings stop at (with --tbl, none: the\n"
        "table's end tokens end the strings). A table goes on over\n"
        "a gap of entries of one value (a null pointer, a filler) no longer than\n"
        "the entries since the previous gap, and skip= names that value. Entries\n"
        "that all lead to one string are no table, and nor is every second or\n"
        "fourth entry of a table. An entry leading right past the table's last\n"
        "entry is one of it (the first string follows the table). relative=table\n"
        "counts from each table's start here. Only the best 10,000 are listed,\n"
        "then a count of the rest. GAME is read twice, so it must be a file. A\n"
        "GAME of 4 million runs or more (mostly not text) is refused: give --end\n"
        "or a larger --min.\n"
        "\n"
        "GAME is read in pieces, so it may be of any size; a progress bar is shown\n"
        "on a terminal for a GAME over 64 MiB.\n")};

constexpr std::array kPointersToOptions{
    Required(OptionSpec{"format", 0, "TYPE",
                        Phrase("the pointers' type: u16le u16be u24le u24be u32le u32be; the format's "
                        "other words follow it")}),
    OptionSpec{"tables-of", 0, "", Phrase("list likely pointer tables instead, each as a plan line")},
    Related(kTablesOption, "", "tables-of", Phrase("--tables goes with --tables-of")),
    Related(kGameTblOption, "tables", "tables-of"),
    Related(kMinCharsOption, "", "tables-of", Phrase("--min goes with --tables-of")),
    Related(kEndByteOption, "", "tables-of", Phrase("--end goes with --tables-of")),
    kHelpOption};

// The format's words and OFFSETs stand among the positionals; ParseRequest
// tells them apart and counts them.
constexpr Form kTablesOfForm{.when = "tables-of",
                             .positionals = {.shown = "GAME", .max = kAnyNumber},
                             .order = "tables-of format=… tables|tbl min end @"};

constexpr Usage kPointersToUsage{
    .options = kPointersToOptions,
    .form = {.positionals = {.shown = "[header=N] [base=N] [map=…] [relative=self] GAME "
                                      "OFFSET...",
                             .max = kAnyNumber}},
    .other = &kTablesOfForm,
    .points = HelpPointer::kCommand};

struct Request {
  PointerFormat format;
  std::string words;  // as given, for the plan's format line
  std::string game;
  std::vector<std::uint64_t> offsets;
};

// The format's words (FormatWordsOf, up to "--"), then GAME and the OFFSETs.
Reported<Request> ParseRequest(const ParsedArgs& args) {
  const std::span<const std::string> words(
      args.positionals.data(), std::min(args.positionals.size(), args.before_end_of_options));
  const GivenFormatWords given = FormatWordsOf(*args.Value("format"), words);
  const std::vector<std::string_view> views(given.words.begin(), given.words.end());
  const auto format = ParsePointerFormat(views);
  if (!format) {
    PrintError("--format: " + FormatWordsMessage(args.language, format.error()));
    return Failure(ExitStatus::kError);
  }
  if (given.taken == args.positionals.size()) {
    PrintError(Say(args.language, "pointers-to needs GAME (see binconv-cli pointers-to --help)"));
    return Failure(ExitStatus::kError);
  }
  Request request{format.value(), given.text(), args.positionals[given.taken], {}};
  for (std::size_t i = given.taken + 1; i < args.positionals.size(); ++i) {
    const auto offset = ParseNumber(args.positionals[i]);
    if (!offset) {
      PrintError(Say(args.language, "OFFSET '{value}' is not a decimal or 0x hex number",
                     {{"value", args.positionals[i]}}));
      return Failure(ExitStatus::kError);
    }
    request.offsets.push_back(*offset);
  }
  return request;
}

ExitStatus RunFindPointers(Language language, const Request& request) {
  if (request.offsets.empty()) {
    PrintError(Say(language, "pointers-to needs at least one OFFSET, or --tables-of"));
    return ExitStatus::kError;
  }
  if (!CanSearchPointers(request.format)) {
    PrintError(Say(language,
                   "relative=table counts from a table's start, which only --tables-of can find"));
    return ExitStatus::kError;
  }
  GameInput game;
  if (auto opened = game.Open(language, request.game); !opened) return opened.error();
  for (const UnreachableTarget& t : UnreachableTargets(request.format, request.offsets, game.size())) {
    PrintError(DescribeUnreachable(language, t, game.name()));
  }
  LineOutput out(language, game.ProgressEraser());
  std::uint64_t hits = 0;
  const auto scanned = SearchPointers(
      game.Reader(), request.format, request.offsets, kScanChunkSize,
      [&](const PointerHit& hit) {
        ++hits;
        return out.Add(PointerHitLine(hit, request.format));
      },
      game.Progress());
  if (!scanned) return ReportScanError(language, scanned.error());
  if (auto finished = out.Finish(); !finished) return finished.error();
  return hits != 0 ? ExitStatus::kOk : ExitStatus::kRejected;
}

ExitStatus RunTablesOf(const ParsedArgs& args, const Request& request) {
  const Language language = args.language;
  if (!request.offsets.empty()) {
    PrintError(Say(language, "--tables-of takes GAME only, no OFFSET"));
    return ExitStatus::kError;
  }
  const auto size = RegularFileSize(PathFromUtf8(request.game));
  if (request.game == kStdioName || !size) {
    const bool told = !size && (size.error().code == IoErrorCode::kNotFound ||
                                size.error().code == IoErrorCode::kPermissionDenied);
    PrintError(told && request.game != kStdioName
                   ? Describe(language, size.error())
                   : Say(language,
                         "--tables-of reads GAME twice, so GAME must be a file, not a pipe, a "
                         "folder or standard input: {game}",
                         {{"game", request.game}}));
    return ExitStatus::kError;
  }
  const Reported<StringRunOptions> options = StringRunOptionsOf(args);
  if (!options) return options.error();
  CommandEncoding encoding;
  if (auto loaded = LoadCommandEncoding(args, encoding); !loaded) return loaded.error();
  std::unique_ptr<ProgressBar> bar;  // one a pass
  const auto plan = PlanPointerTables(
      {request.format, request.words, encoding.encoding(), *options}, PathFromUtf8(request.game),
      [&]() -> ScanProgress {
        bar = std::make_unique<ProgressBar>(language, size.value());
        return [&bar](std::uint64_t done) { bar->Update(done); };
      });
  if (!plan) {
    if (const auto* error = std::get_if<IoError>(&plan.error())) {
      return ReportScanError(language, *error);
    }
    Problem problem = std::get<Problem>(plan.error());
    problem.file = ShownName(request.game);
    PrintError(MessageOf(language, problem));
    return ExitStatus::kError;
  }
  LineOutput out(language);
  for (const std::string& line : plan.value()) out.Add(line);
  if (auto finished = out.Finish(); !finished) return finished.error();
  return plan->empty() ? ExitStatus::kRejected : ExitStatus::kOk;
}

ExitStatus RunPointersTo(const ParsedArgs& args) {
  const Reported<Request> request = ParseRequest(args);
  if (!request) return request.error();
  std::vector<NamedFile> files = FilesOfCommand("pointers-to", args);
  files.push_back({request->game, "GAME", FileUse::kRead});
  if (auto spared = RefuseOutputsOverInputs(args.language, files); !spared) return spared.error();
  if (args.Has("tables-of")) return RunTablesOf(args, *request);
  return RunFindPointers(args.language, *request);
}

}  // namespace

extern const Command kPointersToCommand{kPointersToText, kPointersToUsage, &RunPointersTo};

}  // namespace binconv::cli
