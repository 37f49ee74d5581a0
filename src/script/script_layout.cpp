#include "script/script_layout.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "runtime/hex.h"
#include "script/placement.h"
#include "script/space_reach.h"

namespace binconv {
namespace {

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
    ChooseRoomOwners();
    for (std::size_t s = 0; s < scripts_.size(); ++s) {
      result_.placed.emplace_back(scripts_[s].strings.size());
      if (scripts_[s].def->layout == ScriptLayout::kPack) {
        Pack(s);
      } else {
        Slots(s);
      }
    }
    KeepOrMoveTails();
    FillPacks();
    MoveMostConstrainedFirst();
    for (std::size_t k = 0; k < spaces_.size(); ++k) {
      const SpaceSpec& space = spaces_[k];
      Cursor& cursor = cursors_[k];
      const std::uint64_t size = space.range.last - space.range.first + 1;
      const std::uint64_t free = space.range.end() - cursor.at;
      result_.spaces.push_back({size - free, free});
      // A space no text took keeps its bytes, as an untouched room does.
      if (!space.fill || free == size) continue;
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
    return ReachesTarget(*scripts_[s].def, scripts_[s].strings[i], target);
  }

  void Place(std::size_t s, std::size_t i, std::uint64_t offset, bool moved) {
    result_.texts.push_back({offset, s, i});
    result_.placed[s][i] = PlacedString{offset, moved, false};
    // The lowest of identical texts, so that the order of the scripts
    // doesn't choose.
    auto [it, added] = known_.emplace(Key(s, i), offset);
    if (!added && offset < it->second) it->second = offset;
    placed_texts_.emplace_back(Key(s, i), offset);
    placed_at_.emplace(offset, Key(s, i));
  }

  // The lowest offset inside a placed text whose last bytes are all of the
  // string's, at its align= and within reach of its pointers: a tail the
  // string can share rather than be stored again.
  std::optional<std::uint64_t> TailOfPlaced(std::size_t s, std::size_t i) const {
    const std::string_view key = Key(s, i);
    std::optional<std::uint64_t> best;
    for (const auto& [text, offset] : placed_texts_) {
      if (text.size() <= key.size() || !text.ends_with(key)) continue;
      const std::uint64_t at = offset + (text.size() - key.size());
      if (at % scripts_[s].def->align == 0 && (!best || at < *best) && Reachable(s, i, at)) {
        best = at;
      }
    }
    return best;
  }

  // Points the string at an identical placed text or the tail of a longer
  // one; false when there is none within reach.
  bool Share(std::size_t s, std::size_t i, bool moved) {
    std::optional<std::uint64_t> onto;
    if (auto it = known_.find(Key(s, i)); it != known_.end() && Reachable(s, i, it->second)) {
      onto = it->second;
    } else {
      onto = TailOfPlaced(s, i);
    }
    if (!onto) return false;
    result_.placed[s][i] = PlacedString{*onto, moved, true};
    Point(s, i);
    return true;
  }

  // Puts a text that has to move: onto an identical one or the tail of a
  // longer one, else into a space.
  void Move(std::size_t s, std::size_t i) {
    const ScriptTexts& script = scripts_[s];
    if (Share(s, i, true)) return;
    const std::uint64_t size = script.bytes[i].size();
    for (std::size_t k = 0; k < spaces_.size(); ++k) {
      const auto at = MayUseSpace(*script.def, spaces_[k]) ? StartIn(s, i, k, true) : std::nullopt;
      if (!at) continue;
      Cursor& cursor = cursors_[k];
      if (*at != cursor.at) cursor.gaps.push_back({cursor.at, *at - 1});
      cursor.at = *at + size;
      Place(s, i, *at, true);
      Point(s, i);
      return;
    }
    result_.problems.push_back(NoRoomFor(s, i));
  }

  // Where the string would start in space `k`, at its align= and within
  // reach. With `banks` a text that would cross a bank boundary starts the
  // next bank; without, banks are left out to tell if they alone keep it out.
  std::optional<std::uint64_t> StartIn(std::size_t s, std::size_t i, std::size_t k,
                                       bool banks) const {
    const ScriptSpec& def = *scripts_[s].def;
    const std::uint64_t size = scripts_[s].bytes[i].size();
    // Past the space's free start when the pointers reach only further on:
    // the bytes skipped are a gap, as alignment leaves.
    std::uint64_t at = 0;
    if (!AlignUp(std::max(cursors_[k].at, reaches_.at({s, i}).first), def.align, at)) {
      return std::nullopt;
    }
    const bool crosses = banks && CrossesBank(def.format, at, size);
    if (crosses && !AlignUp(NextBankStart(def.format, at), def.align, at)) return std::nullopt;
    if (at > spaces_[k].range.last || size > spaces_[k].range.end() - at ||
        !Reachable(s, i, at) || (banks && CrossesBank(def.format, at, size))) {
      return std::nullopt;
    }
    return at;
  }

  // Why no space the script may use takes the string: what each space
  // offers it, worded by NoRoomProblem.
  Problem NoRoomFor(std::size_t s, std::size_t i) const {
    std::vector<SpaceOffer> offers;
    for (std::size_t k = 0; k < spaces_.size(); ++k) {
      const std::uint64_t free = spaces_[k].range.end() - cursors_[k].at;
      offers.push_back({free, StartIn(s, i, k, false).has_value()});
    }
    const ScriptTexts& script = scripts_[s];
    return NoRoomProblem(*script.def, script.strings[i], script.lines[i], script.bytes[i].size(),
                         spaces_, offers);
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
        problem.map_error = value.error();
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

  using StringId = std::pair<std::size_t, std::size_t>;  // script, string

  // Where the string's first pointer stands: one place in the game per
  // string, whatever the order of the script lines.
  std::uint64_t FirstSite(StringId id) const {
    const ScriptTexts& script = scripts_[id.first];
    return SiteOf(*script.def, script.strings[id.second].pointers.front()).offset;
  }

  // A room that several scripts' tables lead to keeps the text of the one
  // whose first pointer comes first among those that fit it.
  void ChooseRoomOwners() {
    for (std::size_t s = 0; s < scripts_.size(); ++s) {
      if (scripts_[s].def->layout == ScriptLayout::kPack) continue;
      for (std::size_t i = 0; i < scripts_[s].strings.size(); ++i) {
        const ScriptString& string = scripts_[s].strings[i];
        if (string.inside || scripts_[s].bytes[i].size() > string.room) continue;
        auto [it, added] = owners_.emplace(string.at, StringId{s, i});
        if (!added && FirstSite({s, i}) < FirstSite(it->second)) it->second = {s, i};
      }
    }
  }

  void Slots(std::size_t s) {
    const ScriptTexts& script = scripts_[s];
    const std::optional<std::uint8_t> fill = script.def->fill;
    for (std::size_t i = 0; i < script.strings.size(); ++i) {
      const ScriptString& string = script.strings[i];
      const std::uint64_t size = script.bytes[i].size();
      const auto owner = owners_.find(string.at);
      if (string.inside) {
        tails_.push_back({s, i});
      } else if (owner == owners_.end()) {
        if (fill) Fill(string.at, string.room, *fill);
        moving_.push_back({s, i});
      } else if (owner->second == StringId{s, i}) {
        Place(s, i, string.at, false);
        // An untouched text keeps its room as it was, the bytes after it too.
        if (fill && !Unchanged(s, i)) Fill(string.at + size, string.room - size, *fill);
      } else if (Key(owner->second.first, owner->second.second) == Key(s, i)) {
        // Another script's table leads here with the same text: still one.
        result_.placed[s][i] = PlacedString{string.at, false, false};
      } else {
        moving_.push_back({s, i});
      }
    }
  }

  // A tail stays where it is while the text that now stands where its
  // string starts still ends with the tail's text at the same place; else
  // it shares another text's tail, takes its pack block's next place, or
  // moves.
  void KeepOrMoveTails() {
    // By first pointer: a tail packed anew may take a place another wanted.
    std::sort(tails_.begin(), tails_.end(),
              [&](const StringId& a, const StringId& b) { return FirstSite(a) < FirstSite(b); });
    for (const auto& [s, i] : tails_) {
      const ScriptString& string = scripts_[s].strings[i];
      const std::string_view key = Key(s, i);
      const auto outer = placed_at_.find(*string.inside);
      const std::uint64_t into = string.at - *string.inside;
      if (outer != placed_at_.end() && into <= outer->second.size() &&
          outer->second.substr(into) == key) {
        result_.placed[s][i] = PlacedString{string.at, false, false};
      } else if (scripts_[s].def->layout == ScriptLayout::kSlots ||
                 (!Share(s, i, false) && !PackOne(s, i))) {
        moving_.push_back({s, i});
      }
    }
  }

  // How many spaces could take the string at all: where the run its
  // pointers reach meets the starts the space has room for.
  std::size_t SpacesWithinReach(StringId id) const {
    const std::uint64_t size = scripts_[id.first].bytes[id.second].size();
    const ByteRange reach = reaches_.at(id);
    std::size_t count = 0;
    for (std::size_t k = 0; k < spaces_.size(); ++k) {
      const SpaceSpec& space = spaces_[k];
      const std::uint64_t length = space.range.end() - space.range.first;
      if (!MayUseSpace(*scripts_[id.first].def, space) || size > length) continue;
      const std::uint64_t first = std::max(space.range.first, reach.first);
      const std::uint64_t last = std::min(space.range.end() - size, reach.last);
      if (first <= last && Reachable(id.first, id.second, first) &&
          Reachable(id.first, id.second, last)) {
        ++count;
      }
    }
    return count;
  }

  // The texts that move go to the spaces with the most constrained first:
  // those that fewest spaces can take, then the longest; the place of the
  // first pointer breaks ties, so the order of the script lines never does.
  void MoveMostConstrainedFirst() {
    struct Order {
      std::size_t reach;
      std::uint64_t size;
      std::uint64_t site;
      StringId id;
    };
    std::vector<Order> order;
    for (const StringId& id : moving_) {
      reaches_.emplace(id, ReachOf(*scripts_[id.first].def, scripts_[id.first].strings[id.second]));
    }
    for (const StringId& id : moving_) {
      order.push_back({SpacesWithinReach(id), scripts_[id.first].bytes[id.second].size(),
                       FirstSite(id), id});
    }
    std::sort(order.begin(), order.end(), [](const Order& a, const Order& b) {
      if (a.reach != b.reach) return a.reach < b.reach;
      if (a.size != b.size) return a.size > b.size;
      return a.site < b.site;
    });
    for (const Order& o : order) Move(o.id.first, o.id.second);
  }

  // A pack script's text= block, less its own pointer table where that
  // stands inside, as it is laid out again.
  struct PackState {
    std::vector<ByteRange> runs;
    std::size_t run = 0;
    std::uint64_t cursor = 0;
    std::vector<ByteRange> used;  // in order
    bool relaid = false;          // some text took a new place: the rest is free
  };

  bool Unchanged(std::size_t s, std::size_t i) const {
    return IsAsInGame(scripts_[s].strings[i], scripts_[s].bytes[i]);
  }

  // The texts in the order they stand in the game. Those before the first
  // that changed keep their places and the bytes between them, so an
  // untouched script gives the block back as it was; from there on each
  // text takes the next place.
  void Pack(std::size_t s) {
    const ScriptTexts& script = scripts_[s];
    PackState& pack = packs_[s];
    pack.runs = PackRunsOf(*script.def);
    if (!pack.runs.empty()) pack.cursor = pack.runs.front().first;
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < script.strings.size(); ++i) {
      // A tail has no bytes of its own in the game: it comes after the
      // texts it may lie in.
      if (script.strings[i].inside) {
        tails_.push_back({s, i});
      } else {
        order.push_back(i);
      }
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return script.strings[a].at < script.strings[b].at;
    });
    bool keeping = true;
    for (const std::size_t i : order) {
      keeping = keeping && Unchanged(s, i) && KeepPacked(s, i);
      pack.relaid |= !keeping;
      if (!keeping && !PackOne(s, i)) moving_.push_back({s, i});
    }
  }

  // Leaves a text where it stands when that lies in the block from the
  // cursor on; false when it doesn't.
  bool KeepPacked(std::size_t s, std::size_t i) {
    PackState& pack = packs_[s];
    const std::uint64_t at = scripts_[s].strings[i].at;
    const std::uint64_t size = scripts_[s].bytes[i].size();
    for (std::size_t r = pack.run; r < pack.runs.size(); ++r) {
      const ByteRange run = pack.runs[r];
      const std::uint64_t from = r == pack.run ? pack.cursor : run.first;
      if (at < from || at > run.last || size > run.end() - at) continue;
      if (size != 0) pack.used.push_back({from, at + size - 1});  // and the bytes before it
      pack.run = r;
      pack.cursor = at + size;
      Place(s, i, at, false);
      return true;
    }
    return false;
  }

  // Puts a text at the first place of its block from the cursor on, at its
  // align= and within reach; false when there is none.
  bool PackOne(std::size_t s, std::size_t i) {
    PackState& pack = packs_[s];
    const std::uint64_t size = scripts_[s].bytes[i].size();
    for (std::size_t r = pack.run; r < pack.runs.size(); ++r) {
      const ByteRange run = pack.runs[r];
      std::uint64_t at = 0;
      if (!AlignUp(r == pack.run ? pack.cursor : run.first, scripts_[s].def->align, at) ||
          at > run.last || size > run.end() - at || !Reachable(s, i, at)) {
        continue;
      }
      pack.run = r;
      pack.cursor = at + size;
      pack.relaid = true;
      if (size != 0) pack.used.push_back({at, at + size - 1});
      Place(s, i, at, false);
      Point(s, i);
      return true;
    }
    return false;
  }

  // The bytes of each pack block that no text took, filled.
  void FillPacks() {
    for (const auto& [s, pack] : packs_) {
      const std::optional<std::uint8_t> fill = scripts_[s].def->fill;
      if (!fill || !pack.relaid) continue;
      std::size_t u = 0;
      for (const ByteRange& run : pack.runs) {
        std::uint64_t from = run.first;
        for (; u < pack.used.size() && pack.used[u].first <= run.last; ++u) {
          Fill(from, pack.used[u].first - from, *fill);
          from = pack.used[u].end();
        }
        Fill(from, run.end() - from, *fill);
      }
    }
  }

  const std::vector<ScriptTexts>& scripts_;
  const std::vector<SpaceSpec>& spaces_;
  ScriptLayoutResult& result_;
  std::vector<Cursor> cursors_;
  std::unordered_map<std::string_view, std::uint64_t> known_;
  std::vector<std::pair<std::string_view, std::uint64_t>> placed_texts_;  // in placing order
  std::unordered_map<std::uint64_t, StringId> owners_;  // by offset: whose text stays there
  std::vector<StringId> moving_;                        // to place once all others stand
  std::vector<StringId> tails_;                         // of other strings
  std::map<StringId, ByteRange> reaches_;               // of the moving strings
  std::map<std::size_t, PackState> packs_;              // by script
  std::unordered_map<std::uint64_t, std::string_view> placed_at_;  // the text at each offset
};

}  // namespace

ScriptLayoutResult LayOutScripts(const std::vector<ScriptTexts>& scripts,
                                 const std::vector<SpaceSpec>& spaces,
                                 const std::vector<FixedRoom>& fixed,
                                 const std::string& plan_name) {
  ScriptLayoutResult result;
  CheckScriptClaims(scripts, spaces, fixed, plan_name, result.problems);
  if (!result.problems.empty()) return result;
  Layout(scripts, spaces, result).Run();
  return result;
}

}  // namespace binconv
