#pragma once
// The keyword lines of an insertion plan, which make whole scripts move: a
// `format` names how pointers are stored, a `space` gives free room that
// moved texts may take, and a `script` names a pointer table, the strings it
// leads to and the script file they are dumped to and inserted from:
//
//   format NAME TYPE [header=N] [base=N] [map=linear|lorom|hirom] [relative=self|table]
//   space START..END [fill=XX]
//   script FILE (table=OFFSET [stride=S] | lo=OFFSET hi=OFFSET) count=N format=NAME
//          end=XX [text=START..END] [layout=slots|pack] [align=N] [fill=XX] [skip=V,V...]
//
// Numbers are decimal or 0x hex; ranges are inclusive. The OFFSET ROOM FILE
// entries of the same plan are read by PreparePlan (script/plan.h).
// Reading the table (ReadScriptTable) finds each string the game holds, as
// the game reads it, and the room it may take in place.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "script/pointer_format.h"
#include "runtime/file.h"

namespace binconv {

enum class ScriptProblemCode {
  kBadLine,          // a keyword line that can't be read; reason says what is wrong
  kSameFile,         // the script's FILE is the plan itself (other_line 0) or that of
                     // the script on plan line `other_line`
  kPastEnd,          // what the line names (reason) ends at `amount`, past the game's
                     // `limit` bytes
  kPointerUnmapped,  // pointer `index` at `offset` holds `amount`, which maps to no
                     // file offset; reason says why
  kPointerOutside,   // pointer `index` at `offset` leads to `amount`, outside the game
                     // or outside text= (reason says which)
  kNoTerminator,     // the string of pointer `index` at `offset`, starting at `amount`,
                     // has no end byte before `limit`
  kStringsOverlap,   // the string of pointer `index` at `offset`, starting at `amount`,
                     // runs into the string at `limit`
  kIntoTable,        // pointer `index` at `offset` leads to a string at `amount` that
                     // lies over a pointer table
  kOverlap,          // a room, space, pointer table or fixed entry shares bytes with
                     // another; reason names both
  kUnreadable,       // the script file can't be read; reason is the system's
  kBadUtf8,          // the script file is not UTF-8 (line, column: the byte's)
  kNotScript,        // the first line is not "#binconv script 1"
  kBadHeader,        // a header line that can't be read; reason says what is wrong
  kGameChanged,      // the script was dumped from another game: reason says what differs
  kBadEntryLine,     // an @ line that can't be read, or text before the first @
  kUnknownEntry,     // @`index` is not the first pointer of a string of the table
  kRepeatedEntry,    // @`index` appears again (other_line: its first line)
  kMissingEntry,     // no @`index` for the string at `amount`
  kNoCode,           // a character without a code (ch)
  kNotHexInTag,      // a character in a tag that is not a hex digit (ch)
  kOddCount,         // the hex digits in the tags of a line do not pair up
  kEndInText,        // the end byte stands at a character boundary inside the text (ch:
                     // the character it comes from)
  kEndsInLead,       // the text ends in a lead byte, which would take the end byte
  kNoRoom,           // @`index` needs `amount` bytes; its room holds `limit`, and no
                     // space has room (reason lists the spaces' free bytes)
  kCantPoint,        // pointer `index` at `offset` can't point at `amount`; reason says why
};

struct ScriptProblem {
  ScriptProblemCode code;
  std::string file;        // the plan or a script file, as named in messages
  std::size_t line = 0;    // 1-based; 0 for the whole file
  std::size_t column = 0;  // 1-based; 0 for the whole line
  std::size_t index = 0;   // a pointer's index in its table
  std::uint64_t offset = 0;
  std::uint64_t amount = 0;
  std::uint64_t limit = 0;
  std::size_t other_line = 0;
  char32_t ch = 0;
  std::string reason{};
};

struct ByteRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;  // inclusive
  std::uint64_t end() const { return last + 1; }
};

enum class ScriptLayout { kSlots, kPack };

struct ScriptSpec {
  std::size_t line = 0;        // in the plan
  std::string file;            // as named in the plan
  std::string shown;           // the plan's folder and FILE, for messages
  std::filesystem::path path;  // the same, to open
  bool split = false;          // lo/hi tables of low and high bytes
  std::uint64_t table = 0;     // table=, or lo=
  std::uint64_t hi = 0;        // hi=
  std::uint64_t stride = 0;    // without split
  std::uint64_t count = 0;
  std::string format_name;
  PointerFormat format;
  std::uint8_t end = 0;
  std::optional<ByteRange> text;
  ScriptLayout layout = ScriptLayout::kSlots;
  std::uint64_t align = 1;
  std::optional<std::uint8_t> fill{};
  std::vector<std::uint64_t> skip;  // sorted
};

struct SpaceSpec {
  std::size_t line = 0;
  ByteRange range{};
  std::optional<std::uint8_t> fill{};
};

struct ScriptPlan {
  std::vector<ScriptSpec> scripts;
  std::vector<SpaceSpec> spaces;
  std::vector<ScriptProblem> problems;  // in the order of the plan's lines
};

// Reads the keyword lines of a plan (already known to be UTF-8, without its
// byte order mark) named `plan_name` ("-": standard input). Whether the
// tables, spaces and texts lie inside the game is checked by
// CheckScriptPlanInGame once the game's size is known.
ScriptPlan ParseScriptPlan(std::string_view plan_bytes, const std::string& plan_name);

// Adds a problem for every table, text block and space that reaches past the
// end of a game of `game_size` bytes.
void CheckScriptPlanInGame(ScriptPlan& plan, const std::string& plan_name, std::uint64_t game_size);

// Where pointer `i` of a script stands: its offset (its low byte's for a
// split table) and its table's start.
PointerSite SiteOf(const ScriptSpec& def, std::uint64_t i);

// One string of a script's table, with every pointer leading to it.
struct ScriptString {
  std::size_t index = 0;              // its first pointer's index: the entry's @N
  std::vector<std::size_t> pointers;  // every pointer's index, ascending
  std::uint64_t at = 0;               // where it starts
  std::uint64_t length = 0;           // its bytes with the end byte
  std::uint64_t room = 0;             // what it may take in place, end byte included
  std::vector<std::uint8_t> bytes;    // its bytes without the end byte, when kept
};

// A game read at the offsets needed, through a small cache.
class GameBytes {
 public:
  explicit GameBytes(FileReader& reader) : reader_(reader) {}
  std::uint64_t size() const { return reader_.size(); }
  // The byte at `offset` < size(); false with `error` set on a read failure.
  bool ByteAt(std::uint64_t offset, std::uint8_t& byte);
  const IoError& error() const { return *error_; }

 private:
  FileReader& reader_;
  std::vector<std::uint8_t> window_;
  std::uint64_t window_start_ = 0;
  std::optional<IoError> error_;
};

// Every string of `def`'s table in entry order (by its first pointer), or
// nothing with its problems added to `problems`. The string's own bytes are
// kept when `keep_bytes`. Nothing is sized by the plan's numbers alone: the
// table must lie inside the game before a pointer is read.
struct ScriptTableResult {
  std::vector<ScriptString> strings;
  bool ok = false;
};
Result<ScriptTableResult, IoError> ReadScriptTable(const ScriptSpec& def, GameBytes& game,
                                                   bool keep_bytes, const std::string& plan_name,
                                                   std::vector<ScriptProblem>& problems);

// The byte ranges a script's pointers take: one for a table, two when split.
std::vector<ByteRange> PointerRangesOf(const ScriptSpec& def);

}  // namespace binconv
