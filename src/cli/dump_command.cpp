// binconv-cli dump: every script of a plan out of a game, through its pointer
// table, into the script files that insert reads back.

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/io.h"
#include "cli/scripts.h"
#include "cli/tables.h"
#include "script/script_file.h"
#include "script/script_plan.h"
#include "runtime/file.h"

namespace binconv::cli {
namespace {

constexpr std::array kDumpOptions{
    OptionSpec{.name = "from",
               .value_name = "GAME",
               .help = "the game to read the scripts from (required)",
               .required = true},
    kTablesOption,
    OptionSpec{"force", 0, "", "replace script files that already exist"}, kHelpOption};

constexpr std::string_view kDumpDetails =
    "Writes the FILE of each script line of PLAN (see insert) from GAME: every\n"
    "pointer of the table is read and mapped to a file offset, and the string\n"
    "there is read as the game reads it (a lead byte takes the byte after it)\n"
    "up to the first end byte, then decoded as decode does. Pointers to one\n"
    "string make one entry. Each entry is written as\n"
    "  @N ptr=OFFSET,... at=OFFSET room=BYTES\n"
    "  ;each line of the original text, for the translator\n"
    "  the text, whose lines insert joins with line breaks (24)\n"
    "after a header \"#binconv script 1\", \"#game NAME size=N crc32=XXXXXXXX\"\n"
    "and \"#plan PLAN FILE\". A text ending in a line break ends in <24>; a\n"
    "line whose first character would be ; @ or # starts with its tag. A\n"
    "pointer outside GAME or text=, or a string without an end byte, is an\n"
    "error naming the pointer; nothing is written then. An existing FILE is\n"
    "only replaced with --force.\n";

int RunDump(const ParsedArgs& args) {
  const std::optional<std::string> game_name = args.Value("from");
  const std::string plan_name = InputName(args);
  const std::string shown_plan = ShownName(plan_name);
  const Reported<std::string> plan_text = ReadPlanText(plan_name);
  if (!plan_text) return ToInt(plan_text.error());
  ScriptPlan plan = ParseScriptPlan(*plan_text, shown_plan);
  if (PrintScriptProblems(plan.problems) != 0) {
    PrintLine(std::to_string(plan.problems.size()) +
              (plan.problems.size() == 1 ? " problem" : " problems") + "; nothing written");
    return kExitRejected;
  }
  if (plan.scripts.empty()) {
    PrintError(shown_plan + ": the plan has no script lines; nothing to dump");
    return kExitRejected;
  }
  if (!args.Has("force")) {
    bool existing = false;
    for (const ScriptSpec& def : plan.scripts) {
      if (FileExists(def.path)) {
        PrintError(def.shown + ": already exists; use --force to replace it");
        existing = true;
      }
    }
    if (existing) return kExitError;
  }
  const Reported<CommandTables> tables = LoadCommandTables(args);
  if (!tables) return ToInt(tables.error());
  const CharTable& table = tables->loaded.table;

  FileReader reader;
  if (auto opened = reader.Open(PathFromUtf8(*game_name)); !opened) {
    PrintError(DescribeIoError(opened.error()));
    return kExitError;
  }
  CheckScriptPlanInGame(plan, shown_plan, reader.size());
  GameBytes game(reader);
  std::vector<ScriptProblem> problems = plan.problems;
  std::vector<std::string> texts;
  std::vector<std::string> summaries;
  ScriptGame header;
  header.name = PathToUtf8(PathFromUtf8(*game_name).filename());
  header.size = reader.size();
  if (!plan.scripts.empty()) {
    const Reported<std::uint32_t> crc = GameCrc32(reader);
    if (!crc) return ToInt(crc.error());
    header.crc32 = *crc;
  }
  const std::string plan_file = PathToUtf8(PathFromUtf8(shown_plan).filename());
  for (const ScriptSpec& def : plan.scripts) {
    auto read = ReadScriptTable(def, game, true, shown_plan, problems);
    if (!read) {
      PrintError(DescribeIoError(read.error()));
      return kExitError;
    }
    if (!read.value().ok) continue;
    std::string text = ScriptHeaderText(header, plan_file, def.file);
    std::size_t pointers = 0;
    Decoder decoder(table);
    for (const ScriptString& string : read.value().strings) {
      AppendScriptEntry(def, string, decoder, text);
      pointers += string.pointers.size();
    }
    texts.push_back(std::move(text));
    summaries.push_back(def.shown + ": " + std::to_string(read.value().strings.size()) +
                        " strings, " + std::to_string(pointers) + " pointers, " +
                        std::to_string(def.count - pointers) + " skipped");
  }
  if (PrintScriptProblems(problems) != 0) {
    PrintLine(std::to_string(problems.size()) + (problems.size() == 1 ? " problem" : " problems") +
              "; nothing written");
    return kExitRejected;
  }
  for (std::size_t i = 0; i < plan.scripts.size(); ++i) {
    if (auto written = ReplaceFileAtomically(plan.scripts[i].path, Bytes(texts[i])); !written) {
      return ReportOutputError(written.error());
    }
    PrintLine(summaries[i]);
  }
  return kExitOk;
}

}  // namespace

extern const Command kDumpCommand{
    .name = "dump",
    .summary = "write the scripts of a plan out of a game, through its pointers",
    .details = kDumpDetails,
    .usage = {.options = kDumpOptions,
              .form = {.positionals = {
                           .shown = "PLAN", .min = 1, .max = 1, .needs = "dump needs a PLAN"}}},
    .run = &RunDump};

}  // namespace binconv::cli
