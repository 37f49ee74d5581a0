#pragma once
// An insertion plan: many texts, each into its own room of one game file.
// The whole plan is read, every text encoded and every room checked before
// anything is written; then the game file is replaced once with all of them.
//
// A plan is UTF-8 text, one entry a line: OFFSET ROOM FILE [FILL]. OFFSET and
// ROOM are decimal or 0x hex, FILL two hex digits; FILE is found relative to
// the plan's folder and may be put in double quotes to hold spaces. A "#" at
// the start of a field begins a comment; blank lines are skipped.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "chartable/char_table.h"
#include "codec/convert.h"
#include "script/placement.h"
#include "runtime/file.h"
#include "runtime/result.h"

namespace binconv {

enum class PlanProblemCode {
  kBadPlanUtf8,  // the plan is not UTF-8 (column: of the bad sequence, on its line)
  kBadLine,      // not OFFSET ROOM FILE [FILL]; reason says what is wrong
  kUnreadable,   // the text file can't be read; reason is the system's
  kBadTextUtf8,  // the text is not UTF-8 (column: of the bad sequence, on its line)
  kNoCode,       // a character of the text without a code (ch)
  kNotHexInTag,  // a character in a tag that is not a hex digit (ch)
  kOddCount,     // the hex digits in the text's tags do not pair up
  kTooLong,      // the text's `amount` bytes exceed its room of `limit`; the
                 // place is the first character that doesn't fit (ch)
  kPastEnd,      // the room ends at `amount`, past the file's `limit` bytes
  kOverlap,      // the room shares bytes with the room of plan line `other_line`
};

struct PlanProblem {
  PlanProblemCode code;
  std::string file;        // the plan or a text, as named in messages
  std::size_t line = 0;    // 1-based; 0 for the whole file
  std::size_t column = 0;  // 1-based; 0 for the whole line
  char32_t ch = 0;
  std::uint64_t amount = 0;
  std::uint64_t limit = 0;
  std::size_t other_line = 0;  // kOverlap; for problems in a text, its plan line
  std::string reason{};
};

struct PlanEntry {
  std::size_t line = 0;             // in the plan
  Placement place;                  // room always given
  std::string file;                 // as named in messages: the plan's folder and FILE
  std::vector<std::uint8_t> bytes;  // the text's bytes; the fill is written as a run
  std::uint64_t used = 0;           // the text's own bytes
};

struct PreparedPlan {
  std::vector<PlanEntry> entries;
  std::vector<PlanProblem> problems;  // in the order of the plan's lines
};

// Reads the plan `plan_bytes` named `plan_name` ("-": standard input, whose
// texts are found from the current folder), reads and encodes each text and
// checks every room against a game file of `game_size` bytes. The entries are
// only to be applied when no problem was found.
PreparedPlan PreparePlan(std::string_view plan_bytes, const std::string& plan_name,
                         const CharTable& table, LineBreaks line_breaks, std::uint64_t game_size);

// Replaces `game` once, atomically, with every entry applied.
// `owner_kept` as PatchFileAtomically tells it.
Result<Unit, IoError> ApplyPlan(const PreparedPlan& plan, const std::filesystem::path& game,
                                FileOps& ops = SystemFileOps(), bool* owner_kept = nullptr);

namespace detail {
// Splits a plan line into its fields; a "#" at the start of a field ends the
// line. False, with `reason`, for an unclosed quote.
bool SplitPlanFields(std::string_view line, std::vector<std::string>& fields, std::string& reason);
// Whether a line's first field makes it a `format`, `space` or `script` line
// rather than an OFFSET ROOM FILE entry.
bool IsPlanKeyword(std::string_view field);
}  // namespace detail

}  // namespace binconv
