#pragma once
// Small random games with a pointer table and the plan that describes it,
// for the round trip of dump and insert: texts with every kind of byte
// (lead bytes with any trail, line breaks, spaces, the codes of ; @ #),
// shared pointers, skipped values, split tables, and every pointer TYPE and
// map. The pointer values are worked out here from the plain rules.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace binconv::test {

struct ScriptGameSpec {
  const char* format = "u16le base=0x8000";  // the format line's words after NAME
  bool split = false;                        // lo/hi tables (16-bit TYPE)
  bool pack = false;       // layout=pack
  bool text_block = true;  // give text=
  std::size_t strings = 8;
  std::size_t pointers = 12;    // some shared, some skipped
  std::uint64_t header = 0;     // matches header= in `format`
  bool table_in_block = false;  // the table stands inside text=, after the strings
  // The game's own encoding, a random .tbl: codes of 1 to 4 bytes, DTE/MTE,
  // texts with two codes, controls whose parameters take any byte, several
  // end tokens and line breaks; the plan then leaves end= out at times.
  bool game_table = false;
  // A second script, "second.txt", whose table interleaves with the first
  // (stride twice TYPE's width) and leads to the same strings in another
  // order; the two script lines stand in random order. Not with split.
  bool second = false;
  // Pointers into the middle of strings, at a code's start: tails that
  // share the bytes of the string they end (the table files' encoding only).
  std::size_t tails = 0;
  // Bytes the plan's grow line adds (fill EE), as its first space.
  std::uint64_t grow = 0;
};

struct ScriptGameFiles {
  std::string game;  // 4096 bytes
  std::string plan;  // names the script "script.txt"
  std::string tbl;   // with game_table: the .tbl, to be saved as "game.tbl"
};

// A random .tbl as above, and strings made of its whole units, each ended by
// one of its end tokens: what MakeScriptGame puts into a game_table game.
struct GameTableStrings {
  std::string tbl;
  std::vector<std::string> strings;  // with their ends
  bool end_given = false;            // the plan says end=FF
};
GameTableStrings MakeGameTableStrings(std::size_t count, unsigned seed);

// An odd seed names the space at 0xC00 and keeps the scripts to it with
// spaces=, off the grown part's.
ScriptGameFiles MakeScriptGame(const ScriptGameSpec& def, unsigned seed);

// Where the pointer named `item` (OFFSET, or LO/HI for a split table) of a
// table at `table` in `game` leads, read by the plain rules of `format` (the
// format line's words after NAME), apart from binconv's own reader.
std::uint64_t TargetOfPointer(const std::string& game, const std::string& format,
                              const std::string& item, std::uint64_t table);

// The manual's example game of 256 bytes (examples/game.bin): pointers at 0x10 (u16le, base
// 0x8000) to "あい" at 0x40 (twice) and "う" at 0x48, and a skipped `last`;
// with `split`, low bytes at 0x10 and high bytes at 0x18.
std::string ExampleScriptGame(bool split = false, unsigned last = 0xFFFF);

}  // namespace binconv::test
