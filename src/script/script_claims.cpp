#include "script/script_claims.h"

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>

#include "runtime/hex.h"
#include "script/placement.h"

namespace binconv {
namespace {

struct Claim {
  ByteRange range;
  std::size_t line = 0;
  PlanPart part;
};

// Every claim against the one reaching farthest among those that start
// before it, so each overlap is reported at least once.
void CheckOverlaps(std::vector<Claim>& claims, const std::string& plan_name,
                   std::vector<Problem>& problems) {
  std::stable_sort(claims.begin(), claims.end(),
                   [](const Claim& a, const Claim& b) { return a.range.first < b.range.first; });
  const Claim* farthest = nullptr;
  for (const Claim& claim : claims) {
    if (farthest != nullptr && claim.range.first <= farthest->range.last) {
      const bool later = claim.line >= farthest->line;
      const Claim& a = later ? claim : *farthest;
      const Claim& b = later ? *farthest : claim;
      Problem p{ProblemCode::kOverlap, plan_name, a.line};
      p.other_line = b.line;
      p.part = a.part;
      p.other_part = b.part;
      problems.push_back(std::move(p));
    }
    if (farthest == nullptr || claim.range.last > farthest->range.last) farthest = &claim;
  }
}

}  // namespace

std::vector<ByteRange> PackRunsOf(const ScriptSpec& def) {
  std::vector<ByteRange> runs = {*def.text};
  for (const ByteRange& table : PointerRangesOf(def)) {
    std::vector<ByteRange> rest;
    for (const ByteRange& run : runs) {
      if (table.last < run.first || table.first > run.last) {
        rest.push_back(run);
        continue;
      }
      if (table.first > run.first) rest.push_back({run.first, table.first - 1});
      if (table.last < run.last) rest.push_back({table.last + 1, run.last});
    }
    runs = std::move(rest);
  }
  std::sort(runs.begin(), runs.end(),
            [](const ByteRange& a, const ByteRange& b) { return a.first < b.first; });
  return runs;
}

namespace {

// The bytes a script's pointers take: one range per run of pointers that
// touch, so tables interleaved with another's (stride wider than TYPE) share
// no byte with it.
void ClaimPointers(const ScriptSpec& def, std::vector<Claim>& claims) {
  const unsigned width = WidthOf(def.format.type);
  if (def.split || def.stride <= width) {
    for (const ByteRange& range : PointerRangesOf(def)) {
      claims.push_back({range, def.line, {PlanPartKind::kPointerTable}});
    }
    return;
  }
  for (std::uint64_t i = 0; i < def.count; ++i) {
    const std::uint64_t at = SiteOf(def, i).offset;
    claims.push_back({{at, at + width - 1}, def.line, {PlanPartKind::kPointerTable}});
  }
}

// The rooms of slot scripts, one claim per start: a string that tables of
// several scripts lead to is one string, and claims the longest room any of
// them gives it.
void ClaimRooms(const std::vector<ScriptTexts>& scripts, std::vector<Claim>& claims) {
  std::vector<Claim> rooms;
  for (const ScriptTexts& script : scripts) {
    if (script.def->layout == ScriptLayout::kPack) continue;
    for (const ScriptString& string : script.strings) {
      if (string.inside) continue;  // its bytes are the other's
      rooms.push_back({{string.at, string.at + string.room - 1},
                       script.def->line,
                       {PlanPartKind::kStringRoom, string.index, string.at}});
    }
  }
  std::stable_sort(rooms.begin(), rooms.end(), [](const Claim& a, const Claim& b) {
    return a.range.first != b.range.first ? a.range.first < b.range.first
                                          : a.range.last > b.range.last;
  });
  for (std::size_t k = 0; k < rooms.size(); ++k) {
    if (k == 0 || rooms[k].range.first != rooms[k - 1].range.first) claims.push_back(rooms[k]);
  }
}

}  // namespace

void EndRoomsAtOtherStrings(std::vector<ScriptTexts>& scripts) {
  struct Start {
    std::uint64_t at = 0;
    std::optional<std::uint64_t> end;  // a string's; none for a table
    bool operator<(const Start& other) const { return at < other.at; }
  };
  std::vector<Start> starts;
  // The first start of each end: a string that ends there too and starts
  // later is its tail, in whichever script.
  std::unordered_map<std::uint64_t, std::uint64_t> outermost;
  for (const ScriptTexts& script : scripts) {
    for (const ScriptString& string : script.strings) {
      const std::uint64_t end = string.at + string.length;
      starts.push_back({string.at, end});
      auto [it, added] = outermost.emplace(end, string.at);
      if (!added) it->second = std::min(it->second, string.at);
    }
    for (const ByteRange& table : PointerRangesOf(*script.def)) starts.push_back({table.first, {}});
  }
  std::sort(starts.begin(), starts.end());
  for (ScriptTexts& script : scripts) {
    for (ScriptString& string : script.strings) {
      const std::uint64_t end = string.at + string.length;
      if (const std::uint64_t outer = outermost.at(end); outer < string.at) {
        string.inside = outer;
        string.room = string.length;
        continue;
      }
      auto next = std::upper_bound(starts.begin(), starts.end(), Start{string.at, {}});
      while (next != starts.end() && next->end == end) ++next;  // its tails
      // A string another (or a table) starts inside keeps its bytes: the overlap check
      // then names the two.
      if (next != starts.end() && next->at - string.at < string.room) {
        string.room = std::max(next->at - string.at, string.length);
      }
    }
  }
}

std::vector<FixedRoom> FixedRoomsOf(const Plan& plan, std::uint64_t game_size) {
  std::vector<FixedRoom> fixed;
  for (const PlanEntry& entry : plan.entries) {
    if (CheckPlacement(entry.place, 0, game_size)) continue;
    fixed.push_back({entry.line, entry.place.offset, entry.place.room.value_or(0)});
  }
  return fixed;
}

void CheckScriptClaims(const std::vector<ScriptTexts>& scripts,
                       const std::vector<SpaceSpec>& spaces, const std::vector<FixedRoom>& fixed,
                       const std::string& plan_name, std::vector<Problem>& problems) {
  std::vector<Claim> claims;
  for (const ScriptTexts& script : scripts) {
    const ScriptSpec& def = *script.def;
    ClaimPointers(def, claims);
    if (def.layout == ScriptLayout::kPack) {
      for (const ByteRange& run : PackRunsOf(def)) {
        claims.push_back({run, def.line, {PlanPartKind::kTextBlock}});
      }
    }
  }
  ClaimRooms(scripts, claims);
  for (const SpaceSpec& space : spaces)
    claims.push_back({space.range, space.line, {PlanPartKind::kSpace}});
  for (const FixedRoom& room : fixed) {
    if (room.room != 0 && room.offset <= UINT64_MAX - (room.room - 1)) {
      claims.push_back(
          {{room.offset, room.offset + room.room - 1}, room.line, {PlanPartKind::kRoom}});
    }
  }
  CheckOverlaps(claims, plan_name, problems);
}

}  // namespace binconv
