// binconv-cli dump: every script of a plan out of a game, through its pointer
// table, into the script files that insert reads back.

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/io.h"
#include "cli/outputs.h"
#include "cli/problems.h"
#include "cli/progress.h"
#include "cli/tables.h"
#include "runtime/describe.h"
#include "runtime/file.h"
#include "script/dump.h"
#include "script/plan.h"

namespace binconv::cli {
namespace {

using messages::Language;
using messages::Say;

constexpr CommandText kDumpText{
    .name = "dump",
    .summary = Phrase("write the scripts of a plan out of a game, through its pointers"),
    .details =
        Phrase("Writes the FILE of each script line of PLAN (see insert) from GAME: every\n"
        "pointer of the table is read and mapped to a file offset, and the string\n"
        "there is read as the game reads it (a lead byte takes the byte after it)\n"
        "up to the first end byte, then decoded as decode does. Pointers to one\n"
        "string make one entry; a pointer into another string that ends where it\n"
        "ends (its tail) makes an entry of its own, whose in= names where that\n"
        "string starts. Each entry is written as\n"
        "  @N ptr=OFFSET,... at=OFFSET room=BYTES [in=OFFSET]\n"
        "  ;each line of the original text, for the translator\n"
        "  the text, whose lines insert joins with line breaks (24)\n"
        "after a header \"#binconv script 1\", \"#game NAME size=N crc32=XXXXXXXX\"\n"
        "and \"#plan PLAN FILE\". A text ending in a line break ends in <24>; a\n"
        "line whose first character would be ; @ or # starts with its tag. A\n"
        "pointer outside GAME or text=, or a string without an end byte, is an\n"
        "error naming the pointer; nothing is written then. An existing FILE is\n"
        "only replaced with --force. A progress bar is shown on a terminal for a\n"
        "GAME over 64 MiB.\n"
        "\n"
        "With --tbl FILE the strings are read and decoded through a game's own\n"
        "table (see decode): a string ends at an end token, or at end=XX when\n"
        "given; end= may be left out when the table has an end token. A control\n"
        "code's parameter bytes never end a string. A string ending in another\n"
        "end token than that of end= (or the table's first) keeps it in its text.\n")};

constexpr std::array kDumpOptions{
    Required(OptionSpec{"from", 0, "GAME", Phrase("the game to read the scripts from (required)")}),
    kTablesOption, kGameTblOption,
    OptionSpec{"force", 0, "", Phrase("replace script files that already exist")},
    kHelpOption};

constexpr Usage kDumpUsage{.options = kDumpOptions,
                           .form = {.positionals = Exactly(1, "PLAN", Phrase("dump needs a PLAN"))}};

// Every problem, then their count; nothing is written.
Reported<> RejectProblems(Language language, const std::vector<Problem>& problems) {
  for (const Problem& problem : problems) ReportProblem(language, problem);
  PrintLine(Counted(language, problems.size(), Phrase("{n} problem; nothing written"),
                    Phrase("{n} problems; nothing written")));
  return Failure(ExitStatus::kRejected);
}

// The plan, its keyword lines read and checked; it must name a script.
Reported<Plan> ReadDumpPlan(Language language, const std::string& plan_name,
                            const GameTable& encoding) {
  const Reported<std::string> bytes = ReadWholeInput(language, plan_name);
  if (!bytes) return Unexpected(bytes.error());
  const std::string shown_plan = ShownName(plan_name);
  auto plan = ParsePlan(*bytes, shown_plan, EndBytesOf(encoding, std::nullopt).has_value());
  if (!plan) {
    ReportProblem(language, plan.error());
    return Unexpected(ExitStatus::kRejected);
  }
  if (!plan.value().script_problems.empty()) {
    return Unexpected(RejectProblems(language, plan.value().script_problems).error());
  }
  if (plan.value().scripts.empty()) {
    PrintError(shown_plan + ": " +
               Say(language, "the plan has no script lines; nothing to dump"));
    return Unexpected(ExitStatus::kRejected);
  }
  return std::move(plan).value();
}

// Fails if a script file would be replaced without --force; each is named.
Reported<> RefuseExisting(Language language, const Plan& plan) {
  bool existing = false;
  for (const ScriptSpec& def : plan.scripts) {
    if (FileExists(def.path)) {
      PrintError(def.shown + ": " + Say(language, "already exists; use --force to replace it"));
      existing = true;
    }
  }
  if (existing) return Failure(ExitStatus::kError);
  return Unit{};
}

ExitStatus RunDump(const ParsedArgs& args) {
  const Language language = args.language;
  const std::optional<std::string> game_name = args.Value("from");
  const std::string shown_plan = ShownName(InputName(args));
  CommandEncoding encoding;
  if (auto loaded = LoadCommandEncoding(args, encoding); !loaded) return loaded.error();
  const Reported<Plan> plan = ReadDumpPlan(language, InputName(args), encoding.encoding());
  if (!plan) return plan.error();
  std::vector<NamedFile> named = FilesOfCommand("dump", args);
  AddScriptFiles(plan.value(), FileUse::kWritten, named);
  // Inputs first: a missing game matters more than scripts in the way.
  JobProgress progress(language);
  ProgressReader reader(progress.Step(0));
  if (auto opened = reader.Open(PathFromUtf8(*game_name)); !opened) {
    PrintError(Describe(language, opened.error()));
    return ExitStatus::kError;
  }
  if (auto spared = RefuseOutputsOverInputs(language, named); !spared) return spared.error();
  if (!args.Has("force")) {
    if (auto refused = RefuseExisting(language, plan.value()); !refused) return refused.error();
  }
  // The time goes into the game's CRC-32, read from end to end.
  progress.Plan(reader.size(), {{reader.size(), Phrase("reading the game").data()}});
  const std::string game_file = PathToUtf8(PathFromUtf8(*game_name).filename());
  const GameTable in_use = encoding.encoding();
  auto dumped = DumpPlan({plan.value(), shown_plan, in_use, reader, game_file});
  progress.Finish();
  if (!dumped) {
    return ReportJobError(language, dumped.error(), [language](const std::vector<Problem>& found) {
             return RejectProblems(language, found);
           }).error();
  }
  // Every script or none: each is staged before the first is replaced.
  std::vector<FileContents> files;
  for (const DumpedScript& script : dumped.value()) {
    files.push_back({script.path, Bytes(script.text)});
  }
  if (auto written = ReplaceFilesAtomically(files); !written) {
    return ReportOutputError(language, written.error());
  }
  for (const DumpedScript& script : dumped.value()) {
    PrintLine(script.shown + ": " +
              Say(language, "{strings} strings, {pointers} pointers, {skipped} skipped",
                  {{"strings", std::to_string(script.strings)},
                   {"pointers", std::to_string(script.pointers)},
                   {"skipped", std::to_string(script.skipped)}}));
  }
  return ExitStatus::kOk;
}

}  // namespace

extern const Command kDumpCommand{kDumpText, kDumpUsage, &RunDump};

}  // namespace binconv::cli
