#pragma once
// An insertion plan: many texts, each into its own room of one game file,
// and the scripts that move, read by one parser.
//
// A plan is UTF-8 text, one entry a line: OFFSET ROOM FILE [FILL]. OFFSET and
// ROOM are decimal or 0x hex, FILL two hex digits; FILE is found relative to
// the plan's folder and may be put in double quotes to hold spaces. A "#" at
// the start of a field begins a comment; blank lines are skipped. The keyword
// lines, whose first field is `format`, `space` or `script`, describe whole
// scripts (script/script_plan.h):
//
//   format NAME TYPE [header=N] [base=N] [map=linear|lorom|hirom] [relative=self|table]
//          [window=LO..HI] [bank=N]
//   space [NAME] START..END [fill=XX]
//   grow SIZE [fill=XX]
//   script FILE (table=OFFSET [stride=S] | lo=OFFSET hi=OFFSET) count=N format=NAME
//          end=XX [text=START..END] [layout=slots|pack] [align=N] [fill=XX] [skip=V,V...]
//          [max=N] [width=N] [lines=M] [spaces=NAME,NAME...]
//
// A script with spaces= moves its texts only into the spaces of those names;
// one without may use every space.
//
// Numbers are decimal or 0x hex; ranges are inclusive. Whether what the plan
// names lies inside the game is checked by the jobs, which know the game.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/problem.h"
#include "runtime/result.h"
#include "script/placement.h"
#include "script/script_plan.h"

namespace binconv {

// A grow line: insert writes the game lengthened to `size` bytes, the new
// part `fill`, so that spaces may lie in it.
struct GrowSpec {
  std::size_t line = 0;
  std::uint64_t size = 0;
  std::uint8_t fill = 0xFF;
};

// An OFFSET ROOM FILE [FILL] line.
struct PlanEntry {
  std::size_t line = 0;  // in the plan
  Placement place;       // room always given
  std::string file;      // as named in messages: the plan's folder and FILE
};

struct Plan {
  std::vector<PlanEntry> entries;
  std::vector<ScriptSpec> scripts;
  std::vector<SpaceSpec> spaces;
  std::optional<GrowSpec> grow;
  // Each in line order: the problems of the entries and of the lines that
  // can't be split into fields, which insert alone reads; and those of the
  // keyword lines, which dump reads too.
  std::vector<Problem> entry_problems;
  std::vector<Problem> script_problems;
};

// Reads the plan `plan_bytes` named `plan_name` ("-": standard input, whose
// files are found from the current folder); a byte order mark is skipped. A
// plan that is not UTF-8 is not read at all: its one problem is the error.
// A script may leave out end= when `has_end_token`: the encoding in use (a
// .tbl) ends its strings with an end token of its own.
Result<Plan, Problem> ParsePlan(std::string_view plan_bytes, const std::string& plan_name,
                                bool has_end_token = false);

// The size of the game insert writes: `game_size`, or the plan's grow SIZE.
// A grow that would cut the game named `game_name` is a problem.
std::uint64_t GrownSizeOf(const Plan& plan, const std::string& plan_name,
                          const std::string& game_name, std::uint64_t game_size,
                          std::vector<Problem>& problems);

namespace detail {
// Splits a plan line into its fields; a "#" at the start of a field ends the
// line. False, with why, for an unclosed quote.
bool SplitPlanFields(std::string_view line, std::vector<std::string>& fields,
                     ProblemDetail& why);
}  // namespace detail

}  // namespace binconv
