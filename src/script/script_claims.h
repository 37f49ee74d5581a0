#pragma once
// Which bytes the scripts, spaces and fixed entries of a plan claim, so that
// no two claim the same: a string's room, a pointer table's pointers, a pack
// block, a space, a fixed entry's room. A string that several scripts' tables
// lead to is one room; a tail of another string claims none.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/problem.h"
#include "script/plan.h"
#include "script/script_plan.h"

namespace binconv {

// One script ready for layout: its strings as the table gives them and the
// new bytes of each, end byte included.
struct ScriptTexts {
  const ScriptSpec* def = nullptr;
  std::vector<ScriptString> strings;             // in entry order
  std::vector<std::vector<std::uint8_t>> bytes;  // per string
  std::vector<std::size_t> lines;                // per string: its @ line in the script file
};

// A room of an OFFSET ROOM FILE entry of the same plan.
struct FixedRoom {
  std::size_t line = 0;
  std::uint64_t offset = 0;
  std::uint64_t room = 0;
};

// Ends each room where a string or a pointer table of any script starts,
// not only at those of its own script, so that tables that share or
// interleave their strings claim the bytes each string uses; and marks each
// string that starts inside another and ends where it ends as its tail.
void EndRoomsAtOtherStrings(std::vector<ScriptTexts>& scripts);

// The rooms of the plan's OFFSET ROOM FILE entries that lie inside a game
// of `game_size` bytes: those insert writes.
std::vector<FixedRoom> FixedRoomsOf(const Plan& plan, std::uint64_t game_size);

// Adds a problem for every pointer, room, text block, space or fixed entry
// that shares bytes with another. A string that several scripts' tables lead
// to is one room, not two that overlap.
void CheckScriptClaims(const std::vector<ScriptTexts>& scripts,
                       const std::vector<SpaceSpec>& spaces, const std::vector<FixedRoom>& fixed,
                       const std::string& plan_name, std::vector<Problem>& problems);

// A pack script's text= block without the bytes of its own pointer table.
std::vector<ByteRange> PackRunsOf(const ScriptSpec& def);

}  // namespace binconv
