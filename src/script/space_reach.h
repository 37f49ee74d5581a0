#pragma once
// Where a moving text may go: the spaces its script may use (every one, or
// those its spaces= names) and the run of offsets its pointers can lead to,
// and how messages name them.

#include <cstdint>
#include <string>
#include <vector>

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

// "spaces=NAME,NAME" for a script that names its spaces; empty for one that
// may use every space.
std::string SpacesWordOf(const ScriptSpec& def);

// A space as messages name it: its range, after its name if it has one.
std::string SpaceLabel(const SpaceSpec& space);

// Why no space `def` may use can take `string` when none lies within reach
// of all its pointers, naming what they reach; empty when one does.
std::string OutOfReach(const ScriptSpec& def, const ScriptString& string,
                       const std::vector<SpaceSpec>& spaces);

}  // namespace binconv
