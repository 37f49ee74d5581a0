// binconv-cli insert: many texts into their rooms of one game file, all or
// nothing.

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/into.h"
#include "cli/io.h"
#include "cli/tables.h"
#include "conversion/plan.h"
#include "runtime/describe.h"
#include "runtime/file.h"
#include "runtime/hex.h"

namespace binconv::cli {
namespace {

constexpr std::array kInsertOptions{
    OptionSpec{"into", 0, "GAME", "the existing file to put the texts into (required)"},
    kTablesOption, kExactOption, kHelpOption};

constexpr std::string_view kInsertDetails =
    "Puts many texts into one game file. PLAN (UTF-8) holds one entry a line:\n"
    "  OFFSET ROOM FILE [FILL]\n"
    "OFFSET and ROOM are decimal or 0x hex; FILE is a UTF-8 text, found from\n"
    "PLAN's folder (in double quotes if its name has spaces); FILL, two hex\n"
    "digits, fills the rest of the room, which otherwise keeps its bytes. \"#\"\n"
    "starts a comment; blank lines are skipped. Every entry is checked first:\n"
    "the texts exist and every character has a code, every text fits its room,\n"
    "every room lies inside GAME and no two rooms overlap. Every problem is\n"
    "listed and then nothing is written. Otherwise GAME is replaced once,\n"
    "atomically, with every text in place, and each entry's bytes used and\n"
    "room left are shown. PLAN \"-\" reads standard input.\n";

std::string Where(const PlanProblem& p) {
  if (p.line == 0) return p.file + ": ";
  if (p.column == 0) return p.file + ":" + std::to_string(p.line) + ": ";
  return Position(p.file, p.line, p.column);
}

std::string Describe(const PlanProblem& p) {
  const std::string entry = " (plan line " + std::to_string(p.other_line) + ")";
  switch (p.code) {
    case PlanProblemCode::kBadPlanUtf8:
      return "not valid UTF-8";
    case PlanProblemCode::kBadLine:
      return p.reason;
    case PlanProblemCode::kUnreadable:
      return p.reason + entry;
    case PlanProblemCode::kBadTextUtf8:
      return "not valid UTF-8" + entry;
    case PlanProblemCode::kNoCode:
      return "no code for " + DescribeChar(p.ch) + entry;
    case PlanProblemCode::kNotHexInTag:
      return "not a hex digit in a tag " + DescribeChar(p.ch) + entry;
    case PlanProblemCode::kOddCount:
      return "the hex digits in tags do not pair up" + entry;
    case PlanProblemCode::kTooLong:
      return DescribeTooLong(p.amount, p.limit) + "; " + DescribeChar(p.ch) +
             " is the first character that does not fit" + entry;
    case PlanProblemCode::kPastEnd:
      return "the room ends at " + HexNumber(p.amount) + ", past the end of the game file (" +
             ByteCount(p.limit) + ")";
    case PlanProblemCode::kOverlap:
      return "the room overlaps the room of line " + std::to_string(p.other_line);
  }
  return "?";
}

int RunInsert(const ParsedArgs& args) {
  const std::optional<std::string> game = args.Value("into");
  if (!game) {
    PrintError("insert needs --into GAME (see binconv-cli --help)");
    return kExitError;
  }
  if (args.positionals.empty()) {
    PrintError("insert needs a PLAN (see binconv-cli --help)");
    return kExitError;
  }
  std::optional<CommandTables> tables = LoadCommandTables(args);
  if (!tables) return kExitError;
  const CharTable* table = &tables->loaded.table;
  auto size = RegularFileSize(*game);
  if (!size) {
    PrintError(DescribeIoError(size.error()));
    return kExitError;
  }
  const std::string plan_name = InputName(args);
  std::string plan_bytes;
  if (int read = ReadBytes(plan_name,
                           [&](std::string_view chunk) {
                             plan_bytes.append(chunk);
                             return kExitOk;
                           });
      read != kExitOk) {
    return read;
  }

  const PreparedPlan plan =
      PreparePlan(plan_bytes, ShownName(plan_name), *table, LineBreaksOf(args), size.value());
  if (!plan.problems.empty()) {
    for (const PlanProblem& problem : plan.problems) PrintError(Where(problem) + Describe(problem));
    PrintLine(std::to_string(plan.problems.size()) +
              (plan.problems.size() == 1 ? " problem" : " problems") + "; nothing written to " +
              *game);
    return kExitRejected;
  }
  if (plan.entries.empty()) {
    // Nothing to change: the game file is not even copied.
    PrintLine("the plan has no entries; " + *game + " is unchanged");
    return kExitOk;
  }
  if (auto applied = ApplyPlan(plan, *game); !applied) return ReportOutputError(applied.error());
  for (const PlanEntry& entry : plan.entries) {
    PrintLine(ShownName(plan_name) + ":" + std::to_string(entry.line) + ": " + entry.file + " at " +
              HexNumber(entry.place.offset) + ": " + ByteCount(entry.used) + " used, " +
              ByteCount(*entry.place.room - entry.used) + " of " + ByteCount(*entry.place.room) +
              " left" + (entry.place.fill ? " (filled)" : ""));
  }
  PrintLine(std::to_string(plan.entries.size()) + (plan.entries.size() == 1 ? " text" : " texts") +
            " put into " + *game);
  return kExitOk;
}

}  // namespace

extern const Command kInsertCommand{"insert",
                                    "--into GAME [--tables DIR] [--exact] PLAN",
                                    "put many texts into their rooms of a game file",
                                    kInsertDetails,
                                    kInsertOptions,
                                    1,
                                    &RunInsert};

}  // namespace binconv::cli
