#pragma once
// Where a moving text may go: the spaces its script may use (every one, or
// those its spaces= names) and the run of offsets its pointers can lead to;
// and, when no space takes it, the problem that says why.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/problem.h"
#include "script/script_plan.h"

namespace binconv {

// Whether every pointer of `string` can point at `target`.
bool ReachesTarget(const ScriptSpec& def, const ScriptString& string, std::uint64_t target);

// The run of targets every pointer of `string` reaches, the format's window
// and map included. The targets a format reaches from one site form one
// run, and the string's own start lies in it.
ByteRange ReachOf(const ScriptSpec& def, const ScriptString& string);

// Whether `def` may move texts into `space`.
bool MayUseSpace(const ScriptSpec& def, const SpaceSpec& space);

// What one space offers a text that found no room: its free bytes, and
// whether it would take the text but for the bank boundaries.
struct SpaceOffer {
  std::uint64_t free = 0;
  bool but_for_banks = false;
};

// The problem of `string` (new bytes `size`, its entry at `line` of the
// script file) that no space `def` may use takes, `offers` per space:
// kOutOfReach when none lies within reach of its pointers, naming what they
// reach; kAcrossBank when those that would take it but for the banks are
// all that keep it out; else kNoRoom with every space's free bytes.
Problem NoRoomProblem(const ScriptSpec& def, const ScriptString& string, std::size_t line,
                      std::uint64_t size, const std::vector<SpaceSpec>& spaces,
                      const std::vector<SpaceOffer>& offers);

}  // namespace binconv
