#pragma once
// The scripts a plan's keyword lines describe (script/plan.h reads them): a
// `format` names how pointers are stored, a `space` gives free room that
// moved texts may take, and a `script` names a pointer table, the strings it
// leads to and the script file they are dumped to and inserted from.
// Reading the table (ReadScriptTable) finds each string the game holds, as
// the game reads it, and the room it may take in place.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/string_end.h"
#include "runtime/file.h"
#include "runtime/problem.h"
#include "script/pointer_format.h"

namespace binconv {

struct ByteRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;  // inclusive
  std::uint64_t end() const { return last + 1; }
};

enum class ScriptLayout { kSlots, kPack };

// How long one string of a script may be unless its plan line says otherwise.
inline constexpr std::uint64_t kMaxStringBytes = 64 * 1024;

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
  std::optional<std::uint8_t> end;  // none: the encoding's own end token
  std::optional<ByteRange> text;
  ScriptLayout layout = ScriptLayout::kSlots;
  std::uint64_t align = 1;
  std::optional<std::uint8_t> fill{};
  std::vector<std::uint64_t> skip;  // sorted
  // max=: the most bytes one string may take, end byte included; a string
  // read from the game is refused past it rather than held whole.
  std::uint64_t max_string = kMaxStringBytes;
  // width= and lines=: the game's text box, checked on insert (0: no limit).
  std::uint64_t width = 0;
  std::uint64_t lines = 0;
  // spaces=: the names of the only spaces its texts may move to, sorted and
  // each once; empty: any.
  std::vector<std::string> spaces;
};

struct SpaceSpec {
  std::size_t line = 0;
  ByteRange range{};
  std::optional<std::uint8_t> fill{};
  std::string name{};  // empty: unnamed, for any script
};

// Adds a problem for every table and text block that reaches past the end
// of a game of `game_size` bytes, and every space past `grown_size` (the
// game grown; at least `game_size`), and leaves out the scripts that do.
// `problems` stay in line order.
void CheckScriptsInGame(std::vector<ScriptSpec>& scripts, const std::vector<SpaceSpec>& spaces,
                        const std::string& plan_name, std::uint64_t game_size,
                        std::vector<Problem>& problems, std::uint64_t grown_size = 0);

// Where pointer `i` of a script stands: its offset (its low byte's for a
// split table) and its table's start.
PointerSite SiteOf(const ScriptSpec& def, std::uint64_t i);

// One string of a script's table, with every pointer leading to it.
struct ScriptString {
  std::size_t index = 0;              // its first pointer's index: the entry's @N
  std::vector<std::size_t> pointers;  // every pointer's index, ascending
  std::uint64_t at = 0;               // where it starts
  std::uint64_t length = 0;           // its bytes with the end
  std::uint64_t room = 0;             // what it may take in place, end byte included
  // Where the string starts whose tail this one is (a pointer into the
  // middle of another string that ends with the same bytes): it takes no
  // room of its own.
  std::optional<std::uint64_t> inside;
  std::vector<std::uint8_t> bytes;    // its bytes without the end, when kept
  std::vector<std::uint8_t> end;      // the end's bytes, when kept
};

// Whether `bytes` (a text with its end) are the string's own bytes as the
// game holds them; false when they weren't kept.
bool IsAsInGame(const ScriptString& string, std::span<const std::uint8_t> bytes);

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
Result<ScriptTableResult, IoError> ReadScriptTable(const ScriptSpec& def,
                                                   const GameTable& encoding, GameBytes& game,
                                                   bool keep_bytes, const std::string& plan_name,
                                                   std::vector<Problem>& problems);

// The byte ranges a script's pointers take: one for a table, two when split.
std::vector<ByteRange> PointerRangesOf(const ScriptSpec& def);

}  // namespace binconv
