#pragma once
// Where every text of every script goes when the scripts are inserted, and
// the bytes that put it there: the texts, the fills, and the pointers of
// every text that moved. All is worked out, and every problem found, before
// anything is written.
//
// With layout=slots a text that fits its room stays where it was (its room
// filled after it only when it changed); one that doesn't moves to the first space, in plan order, with room for it at the
// script's align= and within reach of all its pointers. With layout=pack the
// text= block is laid out again in the order its strings stand, from the
// first text that changed on, and what doesn't fit goes to the spaces. Texts move once all others stand, the most constrained first
// (fewest spaces that can take them, then the longest). A moving text
// identical to one already placed, or to its tail, is not stored again. A
// string that several scripts lead to keeps one text while theirs agree.
// The result depends only on the plan, the scripts and the game, not on the
// order of the script lines.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "script/plan.h"
#include "script/script_claims.h"
#include "script/script_plan.h"

namespace binconv {

// A byte run written over the game.
struct FillRun {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  std::uint8_t byte = 0;
};

struct PointerWrite {
  std::uint64_t offset = 0;
  std::uint8_t bytes[4] = {};
  unsigned size = 0;
};

// Where one string ended up.
struct PlacedString {
  std::uint64_t offset = 0;
  bool moved = false;   // to a space
  bool shared = false;  // to a text already placed, not stored again
};

struct SpaceUse {
  std::uint64_t used = 0;
  std::uint64_t free = 0;
};

struct ScriptLayoutResult {
  std::vector<FillRun> fills;  // written first
  struct TextWrite {
    std::uint64_t offset = 0;
    std::size_t script = 0;
    std::size_t string = 0;
  };
  std::vector<TextWrite> texts;  // the bytes of ScriptTexts, after the fills
  std::vector<PointerWrite> pointers;
  std::vector<std::vector<PlacedString>> placed;  // per script, per string
  std::vector<SpaceUse> spaces;                   // per space of the plan
  std::vector<Problem> problems;
};

// Checks that no pointer table, room, text block, space or fixed entry
// shares bytes with another, then lays every script out.
ScriptLayoutResult LayOutScripts(const std::vector<ScriptTexts>& scripts,
                                 const std::vector<SpaceSpec>& spaces,
                                 const std::vector<FixedRoom>& fixed, const std::string& plan_name);

}  // namespace binconv
