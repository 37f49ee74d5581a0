#include "script/space_reach.h"

#include <algorithm>

#include "runtime/hex.h"

namespace binconv {

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
  return def.spaces.empty() ||
         std::binary_search(def.spaces.begin(), def.spaces.end(), space.name);
}

std::string SpacesWordOf(const ScriptSpec& def) {
  std::string word;
  for (const std::string& name : def.spaces) word += (word.empty() ? "spaces=" : ",") + name;
  return word;
}

std::string SpaceLabel(const SpaceSpec& space) {
  const std::string range = HexNumber(space.range.first) + ".." + HexNumber(space.range.last);
  return space.name.empty() ? range : space.name + " " + range;
}

std::string OutOfReach(const ScriptSpec& def, const ScriptString& string,
                       const std::vector<SpaceSpec>& spaces) {
  for (const SpaceSpec& space : spaces) {
    if (MayUseSpace(def, space) && (ReachesTarget(def, string, space.range.first) ||
                                    ReachesTarget(def, string, space.range.last))) {
      return {};
    }
  }
  const ByteRange reach = ReachOf(def, string);
  const std::string which = SpacesWordOf(def);
  return "no space" + (which.empty() ? "" : " of " + which) +
         " lies within reach of its pointers, which reach only " + HexNumber(reach.first) + ".." +
         HexNumber(reach.last);
}

}  // namespace binconv
