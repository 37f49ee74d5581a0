#include "script/script_layout.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "runtime/hex.h"

namespace binconv {
namespace {

struct Claim {
  ByteRange range;
  std::size_t line = 0;
  std::string what;
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
      p.what = a.what;
      p.other_what = b.what;
      problems.push_back(std::move(p));
    }
    if (farthest == nullptr || claim.range.last > farthest->range.last) farthest = &claim;
  }
}

// `at` rounded up to a multiple of `align`; false past 2^64.
bool AlignUp(std::uint64_t at, std::uint64_t align, std::uint64_t& out) {
  const std::uint64_t rest = at % align;
  if (rest == 0) {
    out = at;
    return true;
  }
  if (align - rest > UINT64_MAX - at) return false;
  out = at + (align - rest);
  return true;
}

class Layout {
 public:
  Layout(const std::vector<ScriptTexts>& scripts, const std::vector<SpaceSpec>& spaces,
         ScriptLayoutResult& result)
      : scripts_(scripts), spaces_(spaces), result_(result) {
    for (const SpaceSpec& space : spaces) cursors_.push_back({space.range.first, {}});
  }

  void Run() {
    for (std::size_t s = 0; s < scripts_.size(); ++s) {
      result_.placed.emplace_back(scripts_[s].strings.size());
      if (scripts_[s].def->layout == ScriptLayout::kPack) {
        Pack(s);
      } else {
        Slots(s);
      }
    }
    for (std::size_t k = 0; k < spaces_.size(); ++k) {
      const SpaceSpec& space = spaces_[k];
      Cursor& cursor = cursors_[k];
      const std::uint64_t size = space.range.last - space.range.first + 1;
      const std::uint64_t free = space.range.end() - cursor.at;
      result_.spaces.push_back({size - free, free});
      if (!space.fill) continue;
      for (const ByteRange& gap : cursor.gaps) Fill(gap.first, gap.end() - gap.first, *space.fill);
      Fill(cursor.at, free, *space.fill);
    }
  }

 private:
  struct Cursor {
    std::uint64_t at = 0;
    std::vector<ByteRange> gaps;  // left by alignment
  };

  void Fill(std::uint64_t offset, std::uint64_t length, std::uint8_t byte) {
    if (length != 0) result_.fills.push_back({offset, length, byte});
  }

  std::string_view Key(std::size_t s, std::size_t i) const {
    const auto& bytes = scripts_[s].bytes[i];
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
  }

  // Whether every pointer of the string can point at `target`.
  bool Reachable(std::size_t s, std::size_t i, std::uint64_t target) const {
    const ScriptSpec& def = *scripts_[s].def;
    for (const std::size_t p : scripts_[s].strings[i].pointers) {
      if (!ValueOfTarget(def.format, target, SiteOf(def, p))) return false;
    }
    return true;
  }

  void Place(std::size_t s, std::size_t i, std::uint64_t offset, bool moved) {
    result_.texts.push_back({offset, s, i});
    result_.placed[s][i] = PlacedString{offset, moved, false};
    known_.emplace(Key(s, i), offset);
  }

  // Puts a text that has to move: onto an identical one, else into a space.
  void Move(std::size_t s, std::size_t i) {
    const ScriptTexts& script = scripts_[s];
    if (auto it = known_.find(Key(s, i)); it != known_.end() && Reachable(s, i, it->second)) {
      result_.placed[s][i] = PlacedString{it->second, true, true};
      Point(s, i);
      return;
    }
    const std::uint64_t size = script.bytes[i].size();
    for (std::size_t k = 0; k < spaces_.size(); ++k) {
      Cursor& cursor = cursors_[k];
      std::uint64_t at = 0;
      if (!AlignUp(cursor.at, script.def->align, at)) continue;
      // A text that would cross a bank boundary starts the next bank instead.
      const PointerFormat& format = script.def->format;
      if (CrossesBank(format, at, size) && !AlignUp(NextBankStart(format, at), script.def->align, at)) {
        continue;
      }
      if (at > spaces_[k].range.last || size > spaces_[k].range.end() - at ||
          !Reachable(s, i, at) || CrossesBank(format, at, size)) {
        continue;
      }
      if (at != cursor.at) cursor.gaps.push_back({cursor.at, at - 1});
      cursor.at = at + size;
      Place(s, i, at, true);
      Point(s, i);
      return;
    }
    Problem p{ProblemCode::kNoRoom, script.def->shown, script.lines[i], 1};
    p.entry = script.strings[i].index;
    p.bytes = size;
    p.room = script.strings[i].room;
    for (std::size_t k = 0; k < spaces_.size(); ++k) {
      if (!p.reason.empty()) p.reason += ", ";
      p.reason += HexNumber(spaces_[k].range.first) + ".." + HexNumber(spaces_[k].range.last) +
                  ": " + std::to_string(spaces_[k].range.end() - cursors_[k].at) + " free";
    }
    result_.problems.push_back(std::move(p));
  }

  // Rewrites the pointers of a string placed away from where it was.
  void Point(std::size_t s, std::size_t i) {
    const ScriptTexts& script = scripts_[s];
    const ScriptSpec& def = *script.def;
    const ScriptString& string = script.strings[i];
    const std::uint64_t target = result_.placed[s][i].offset;
    if (target == string.at) return;
    for (const std::size_t p : string.pointers) {
      const PointerSite site = SiteOf(def, p);
      const auto value = ValueOfTarget(def.format, target, site);
      if (!value) {
        Problem problem{ProblemCode::kCantPoint, def.shown, script.lines[i], 1};
        problem.entry = p;  // as the message has always named it
        problem.pointer = p;
        problem.pointer_at = site.offset;
        problem.at = target;
        problem.reason = value.error() == PointerMapErrorCode::kDoesNotFit
                             ? "the value does not fit its type"
                         : value.error() == PointerMapErrorCode::kBelowHeader
                             ? "it lies inside the header"
                         : value.error() == PointerMapErrorCode::kOutsideWindow
                             ? "the value lies outside the format's window"
                             : "the value would not map back to the same offset";
        result_.problems.push_back(std::move(problem));
        continue;
      }
      PointerWrite write;
      write.size = WidthOf(def.format.type);
      WritePointer(def.format.type, value.value(), write.bytes);
      if (def.split) {
        // Low byte in lo=, high byte in hi=, whatever TYPE's byte order.
        const std::uint8_t lo = static_cast<std::uint8_t>(value.value() & 0xFF);
        const std::uint8_t hi = static_cast<std::uint8_t>(value.value() >> 8);
        result_.pointers.push_back({def.table + p, {lo}, 1});
        result_.pointers.push_back({def.hi + p, {hi}, 1});
      } else {
        write.offset = site.offset;
        result_.pointers.push_back(write);
      }
    }
  }

  void Slots(std::size_t s) {
    const ScriptTexts& script = scripts_[s];
    const std::optional<std::uint8_t> fill = script.def->fill;
    for (std::size_t i = 0; i < script.strings.size(); ++i) {
      const ScriptString& string = script.strings[i];
      const std::uint64_t size = script.bytes[i].size();
      if (size <= string.room) {
        Place(s, i, string.at, false);
        if (fill) Fill(string.at + size, string.room - size, *fill);
      } else {
        if (fill) Fill(string.at, string.room, *fill);
        Move(s, i);
      }
    }
  }

  void Pack(std::size_t s) {
    const ScriptTexts& script = scripts_[s];
    const ByteRange block = *script.def->text;
    const std::optional<std::uint8_t> fill = script.def->fill;
    std::uint64_t cursor = block.first;
    for (std::size_t i = 0; i < script.strings.size(); ++i) {
      const std::uint64_t size = script.bytes[i].size();
      std::uint64_t at = 0;
      if (AlignUp(cursor, script.def->align, at) && at <= block.last && size <= block.end() - at &&
          Reachable(s, i, at)) {
        if (fill) Fill(cursor, at - cursor, *fill);
        cursor = at + size;
        Place(s, i, at, false);
        Point(s, i);
      } else {
        Move(s, i);
      }
    }
    if (fill) Fill(cursor, block.end() - cursor, *fill);
  }

  const std::vector<ScriptTexts>& scripts_;
  const std::vector<SpaceSpec>& spaces_;
  ScriptLayoutResult& result_;
  std::vector<Cursor> cursors_;
  std::unordered_map<std::string_view, std::uint64_t> known_;
};

}  // namespace

ScriptLayoutResult LayOutScripts(const std::vector<ScriptTexts>& scripts,
                                 const std::vector<SpaceSpec>& spaces,
                                 const std::vector<FixedRoom>& fixed,
                                 const std::string& plan_name) {
  ScriptLayoutResult result;
  std::vector<Claim> claims;
  for (const ScriptTexts& script : scripts) {
    const ScriptSpec& def = *script.def;
    for (const ByteRange& range : PointerRangesOf(def)) {
      claims.push_back({range, def.line, "the pointer table"});
    }
    if (def.layout == ScriptLayout::kPack) {
      claims.push_back({*def.text, def.line, "the text= block"});
    } else {
      for (const ScriptString& string : script.strings) {
        claims.push_back(
            {{string.at, string.at + string.room - 1},
             def.line,
             "the room of @" + std::to_string(string.index) + " at " + HexNumber(string.at)});
      }
    }
  }
  for (const SpaceSpec& space : spaces) claims.push_back({space.range, space.line, "the space"});
  for (const FixedRoom& room : fixed) {
    if (room.room != 0 && room.offset <= UINT64_MAX - (room.room - 1)) {
      claims.push_back({{room.offset, room.offset + room.room - 1}, room.line, "the room"});
    }
  }
  CheckOverlaps(claims, plan_name, result.problems);
  if (!result.problems.empty()) return result;
  Layout(scripts, spaces, result).Run();
  return result;
}

}  // namespace binconv
