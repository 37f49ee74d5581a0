#include "script/space_reach.h"

#include <algorithm>
#include <string>


namespace binconv {
namespace {

// "spaces=NAME,NAME" for a script that names its spaces; empty for one that
// may use every space.
std::string SpacesWordOf(const ScriptSpec& def) {
  std::string word;
  for (const std::string& name : def.spaces) word += (word.empty() ? "spaces=" : ",") + name;
  return word;
}

// Whether some space `def` may use lies within reach of all the pointers
// of `string`, which reach `reach`.
bool AnySpaceInReach(const ScriptSpec& def, const ByteRange& reach,
                     const std::vector<SpaceSpec>& spaces) {
  for (const SpaceSpec& space : spaces) {
    if (MayUseSpace(def, space) && space.range.first <= reach.last &&
        reach.first <= space.range.last) {
      return true;
    }
  }
  return false;
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
  // Without a space line the plan lacks one, whatever the pointers reach.
  const ByteRange reach = ReachOf(def, string);
  if (!spaces.empty() && !AnySpaceInReach(def, reach, spaces)) {
    p.code = ProblemCode::kOutOfReach;
    p.at = reach.first;
    p.end = reach.last;
    return p;
  }
  bool across = false;
  for (std::size_t k = 0; k < spaces.size(); ++k) {
    if (!MayUseSpace(def, spaces[k])) continue;
    const SpaceSpec& space = spaces[k];
    const bool reached = space.range.first <= reach.last && reach.first <= space.range.last;
    p.spaces.push_back({space.name, space.range.first, space.range.last, offers[k].free,
                        offers[k].but_for_banks, !reached});
    across |= offers[k].but_for_banks;
  }
  if (across) {
    p.code = ProblemCode::kAcrossBank;
    p.number = BankSizeOf(def.format);
  }
  return p;
}

}  // namespace binconv
