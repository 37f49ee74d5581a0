#include "script/space_reach.h"

#include <algorithm>
#include <string>

#include "runtime/hex.h"

namespace binconv {
namespace {

// "spaces=NAME,NAME" for a script that names its spaces; empty for one that
// may use every space.
std::string SpacesWordOf(const ScriptSpec& def) {
  std::string word;
  for (const std::string& name : def.spaces) word += (word.empty() ? "spaces=" : ",") + name;
  return word;
}

// A space as messages name it: its range, after its name if it has one.
std::string SpaceLabel(const SpaceSpec& space) {
  const std::string range = HexNumber(space.range.first) + ".." + HexNumber(space.range.last);
  return space.name.empty() ? range : space.name + " " + range;
}

// Why no space `def` may use can take `string` when none lies within reach
// of all its pointers, naming what they reach; empty when one does.
std::string OutOfReach(const ScriptSpec& def, const ScriptString& string,
                       const std::vector<SpaceSpec>& spaces) {
  const ByteRange reach = ReachOf(def, string);
  for (const SpaceSpec& space : spaces) {
    if (MayUseSpace(def, space) && space.range.first <= reach.last &&
        reach.first <= space.range.last) {
      return {};
    }
  }
  const std::string which = SpacesWordOf(def);
  return "no space" + (which.empty() ? "" : " of " + which) +
         " lies within reach of its pointers, which reach only " + HexNumber(reach.first) + ".." +
         HexNumber(reach.last);
}

}  // namespace

bool ReachesTarget(const ScriptSpec& def, const ScriptString& string, std::uint64_t target) {
  for (const std::size_t p : string.pointers) {
    if (!ValueOfTarget(def.format, target, SiteOf(def, p))) return false;
  }
  return true;
}

ByteRange ReachOf(const ScriptSpec& def, const ScriptString& string) {
  std::uint64_t low = 0;  // the first reachable target, in [0, at]
  for (std::uint64_t high = string.at; low < high;) {
    const std::uint64_t mid = low + (high - low) / 2;
    if (ReachesTarget(def, string, mid)) high = mid; else low = mid + 1;
  }
  std::uint64_t high = UINT64_MAX;  // the last, in [at, 2^64)
  for (std::uint64_t from = string.at; from < high;) {
    const std::uint64_t mid = from + (high - from) / 2 + 1;
    if (ReachesTarget(def, string, mid)) from = mid; else high = mid - 1;
  }
  return {low, high};
}

bool MayUseSpace(const ScriptSpec& def, const SpaceSpec& space) {
  return def.spaces.empty() || std::binary_search(def.spaces.begin(), def.spaces.end(), space.name);
}

Problem NoRoomProblem(const ScriptSpec& def, const ScriptString& string, std::size_t line,
                      std::uint64_t size, const std::vector<SpaceSpec>& spaces,
                      const std::vector<SpaceOffer>& offers) {
  Problem p{ProblemCode::kNoRoom, def.shown, line, 1};
  p.entry = string.index;
  p.bytes = size;
  p.room = string.room;
  p.what = SpacesWordOf(def);
  if (p.reason = OutOfReach(def, string, spaces); !p.reason.empty()) {
    p.code = ProblemCode::kOutOfReach;
    return p;
  }
  std::string across;
  std::string free;
  for (std::size_t k = 0; k < spaces.size(); ++k) {
    if (!MayUseSpace(def, spaces[k])) continue;
    const std::string offer =
        SpaceLabel(spaces[k]) + ": " + std::to_string(offers[k].free) + " free";
    if (offers[k].but_for_banks) across += (across.empty() ? "" : ", ") + offer;
    free += (free.empty() ? "" : ", ") + offer;
  }
  if (across.empty()) {
    p.reason = free;
    return p;
  }
  p.code = ProblemCode::kAcrossBank;
  p.reason = "it would cross a bank boundary (banks of " + HexNumber(BankSizeOf(def.format)) +
             " bytes) in " + across;
  return p;
}

}  // namespace binconv
