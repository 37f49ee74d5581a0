#include "chartable/text_index.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "runtime/compare.h"
#include "runtime/hex.h"
#include "runtime/strings.h"
#include "runtime/utf16.h"

namespace binconv {
namespace {

using detail::ClassifySpecial;
using detail::Special;

constexpr char32_t kBreak = GameTextIndex::kBreakUnit;

// Whether code `a` wins over code `b` of the same text.
bool Wins(const GameCode& a, std::uint32_t a_index, const GameCode& b, std::uint32_t b_index) {
  if (a.bytes.size() != b.bytes.size()) return a.bytes.size() < b.bytes.size();
  return a.line != b.line ? a.line < b.line : a_index < b_index;
}

// A code's text as the index holds it: each line break as kBreak.
std::u32string IndexText(std::u16string_view text) {
  std::u32string units(text.begin(), text.end());
  std::replace(units.begin(), units.end(), char32_t{u'\n'}, kBreak);
  return units;
}

template <class Map, class Key>
void Keep(Map& map, Key key, std::uint32_t index, std::span<const GameCode> codes) {
  auto [at, added] = map.try_emplace(std::move(key), index);
  if (!added && Wins(codes[index], index, codes[at->second], at->second)) at->second = index;
}


// The content of a label "<...>", tag marks of either width, folded; none
// when the text is not one. Breaks after it go with it.
std::optional<std::u16string> FoldedLabel(std::u16string_view text) {
  text = WithoutBreaks(text);
  if (text.size() < 2 || ClassifySpecial(text.front()) != Special::kTagOpen ||
      ClassifySpecial(text.back()) != Special::kTagClose) {
    return std::nullopt;
  }
  std::u16string folded;
  for (const char16_t ch : text.substr(1, text.size() - 2)) {
    // A tag can't hold a tag mark: no tag is this label.
    const Special special = ClassifySpecial(ch);
    if (special == Special::kTagOpen || special == Special::kTagClose) return std::nullopt;
    folded += FoldForTextCompare(ch);
  }
  return folded;
}

// Whether a label's folded content is hex digit pairs: such a tag is read as
// those bytes, never as the label.
bool LooksLikeHex(std::u16string_view folded) {
  return !folded.empty() && folded.size() % 2 == 0 &&
         std::all_of(folded.begin(), folded.end(), [](char16_t ch) { return HexValue(ch) >= 0; });
}

}  // namespace

template <class Found>
void GameTextIndex::ForEachText(Found&& found) const {
  std::u32string text;
  for (const TextSlot& slot : text_slots_) {
    if (slot.entry == kNoEntry) continue;
    if ((slot.entry & kAliasEntry) != 0) {
      const std::u16string& typed = aliases_[slot.entry & ~kAliasEntry].text;
      text.assign(typed.begin(), typed.end());
    } else {
      const GameCode& code = codes_[slot.entry];
      text = IndexText(code.text);
      if (code.kind == GameCodeKind::kLineBreak) text += kBreak;
    }
    found(std::u32string_view(text), CodeOfEntry(slot.entry));
  }
}

GameTextIndex::GameTextIndex(std::span<const GameCode> codes,
                             std::span<const GameTextAlias> aliases)
    : aliases_(aliases),
      single_(kBreak + 1, kNoCode),
      longest_from_(kBreak + 1, 0),
      marks_(kBreak + 1),
      codes_(codes),
      read_back_(codes) {
  for (const auto& [unit, special] : detail::SpecialUnits()) {
    if (special == Special::kTagOpen || special == Special::kTagClose) marks_[unit] = special;
  }
  IndexCodes();
  IndexAliases();
  open_.resize(codes.size());
  for (std::uint32_t i = 0; i < codes.size(); ++i) {
    open_[i] = read_back_.BeginsLonger(codes[i].bytes);
  }
  MakeFastPath();
  WorkOutShown();
}

void GameTextIndex::IndexCodes() {
  const std::span<const GameCode> codes = codes_;
  const std::span<const GameTextAlias> aliases = aliases_;
  // Room for every text of two units or more, three slots of four at most
  // taken, which keeps the runs short.
  std::size_t most = 0;
  for (const GameCode& code : codes) {
    most += code.text.size() + (code.kind == GameCodeKind::kLineBreak ? 1 : 0) >= 2 ? 1 : 0;
  }
  for (const GameTextAlias& alias : aliases) most += alias.text.size() >= 2 ? 1 : 0;
  std::size_t slots = 2;
  while (slots * 3 < most * 4 + 3) slots *= 2;
  text_slots_.resize(slots);
  for (std::uint32_t i = 0; i < codes.size(); ++i) {
    const GameCode& code = codes[i];
    std::u32string text = IndexText(code.text);
    // An end that shows only line breaks is never typed for one: a break
    // in a text must not end its string.
    if (code.kind == GameCodeKind::kEnd && WithoutBreaks(code.text).empty()) text.clear();
    if (code.kind == GameCodeKind::kLineBreak) {
      // A break alone is the first *HEX without text: one with text would
      // add its text.
      if (code.text.empty()) {
        if (!break_code_) break_code_ = i;
        continue;
      }
      text += kBreak;
    }
    if (text.empty()) continue;  // an end token without text: a tag writes it
    longest_text_ = std::max(longest_text_, text.size());
    longest_from_[text[0]] = std::max(longest_from_[text[0]], text.size());
    if (text.size() == 1) {
      // Most texts: a table per unit, which no map need repeat.
      const std::uint32_t kept = single_[text[0]];
      if (kept == kNoCode || Wins(code, i, codes[kept], kept)) single_[text[0]] = i;
    } else {
      const std::uint32_t hash = HashOf(text);
      TextSlot& slot = text_slots_[SlotOf(text, hash)];
      if (slot.entry == kNoEntry) {
        slot = {i, hash};
      } else if (Wins(code, i, codes[slot.entry], slot.entry)) {
        slot.entry = i;
      }
    }
    if (std::optional<std::u16string> label = FoldedLabel(code.text); label && !LooksLikeHex(*label)) {
      longest_label_ = std::max(longest_label_, label->size());
      Keep(labels_, std::move(*label), i, codes);
    }
  }
}

void GameTextIndex::IndexAliases() {
  const std::span<const GameTextAlias> aliases = aliases_;
  for (std::size_t a = 0; a < aliases.size(); ++a) {
    const GameTextAlias& alias = aliases[a];
    if (alias.text.empty()) continue;
    if (std::optional<std::u16string> label = FoldedLabel(alias.text);
        label && !LooksLikeHex(*label) && !CodeOfLabel(*label)) {
      longest_label_ = std::max(longest_label_, label->size());
      labels_.emplace(std::move(*label), alias.code);
    }
    // As typed: a CR or LF here is the unit itself, which a line break
    // never is (the two table files' cells for them).
    std::u32string text(alias.text.begin(), alias.text.end());
    if (CodeOfText(text)) continue;  // a code's own text wins
    longest_text_ = std::max(longest_text_, text.size());
    longest_from_[text[0]] = std::max(longest_from_[text[0]], text.size());
    if (text.size() == 1) {
      single_[text[0]] = alias.code;
    } else {
      const std::uint32_t hash = HashOf(text);
      TextSlot& slot = text_slots_[SlotOf(text, hash)];
      if (slot.entry == kNoEntry) slot = {static_cast<std::uint32_t>(a) | kAliasEntry, hash};
    }
  }
}

void GameTextIndex::WorkOutShown() {
  const std::span<const GameCode> codes = codes_;
  shows_.resize(codes.size());
  shown_units_.assign(codes.size(), 0);
  for (std::uint32_t i = 0; i < codes.size(); ++i) {
    shows_[i] = TypedBack(i);
    const GameCode& code = codes[i];
    const bool one = code.kind == GameCodeKind::kText && code.text.size() == 1;
    if (shows_[i] && one && code.text[0] != u'\n' && Utf8FileKeeps(code.text, true)) {
      shown_units_[i] = code.text[0];
    }
  }
}

bool GameTextIndex::TypedBack(std::uint32_t index) const {
  const GameCode& code = codes_[index];
  if (const std::optional<std::u16string> label = FoldedLabel(code.text)) {
    if (!LooksLikeHex(*label)) return CodeOfLabel(*label) == index;
    // Typed back, it is those bytes.
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < label->size(); i += 2) {
      bytes.push_back(static_cast<std::uint8_t>(HexValue((*label)[i]) * 16 + HexValue((*label)[i + 1])));
    }
    return code.text.size() == label->size() + 2 && code.params == 0 && bytes == code.bytes;
  }
  for (const char16_t ch : code.text) {
    if (marks_[ch] != Special::kNone) return false;
  }
  if (code.kind == GameCodeKind::kEnd && WithoutBreaks(code.text).empty()) return false;
  std::u32string text = IndexText(code.text);
  if (code.kind == GameCodeKind::kLineBreak) {
    if (text.empty()) return break_code_ == index;
    text += kBreak;
  }
  return !text.empty() && CodeOfText(text) == index;
}

void GameTextIndex::PrepareTextStates() const {
  std::call_once(states_made_, [this] { MakeTextStates(); });
}

void GameTextIndex::MakeTextStates() const {
  start_moves_.assign(kBreak + 1, 0);
  move_keys_.assign(1024, 0);
  move_to_.assign(1024, 0);
  // A state a unit of the texts at most, room made once: growing, the
  // states would be copied while both copies are held.
  std::size_t most = 1 + static_cast<std::size_t>(
                             std::count_if(single_.begin(), single_.end(),
                                           [](std::uint32_t code) { return code != kNoCode; }));
  ForEachText([&](std::u32string_view text, std::uint32_t) { most += text.size(); });
  states_.reserve(most);
  states_.assign(1, {});
  std::vector<std::uint32_t> parent(1, 0);
  std::vector<char32_t> via(1, 0);
  parent.reserve(most);
  via.reserve(most);
  auto add = [&](std::u32string_view text, std::uint32_t code) {
    std::uint32_t at = 0;
    for (const char32_t unit : text) {
      std::uint32_t next = Move(at, unit);
      if (next == kNoState) {
        next = static_cast<std::uint32_t>(states_.size());
        states_.push_back({0, kNoState, kNoCode, states_[at].depth + 1});
        parent.push_back(at);
        via.push_back(unit);
        if (at == 0) {
          start_moves_[unit] = next;
        } else {
          AddMove(MoveKey(at, unit), next);
        }
      }
      at = next;
    }
    states_[at].code = code;
    std::u32string own = IndexText(codes_[code].text);
    if (codes_[code].kind == GameCodeKind::kLineBreak) own += kBreak;
    states_[at].alias = own != text;
  };
  for (char32_t unit = 0; unit <= kBreak; ++unit) {
    if (single_[unit] != kNoCode) add({&unit, 1}, single_[unit]);
  }
  ForEachText(add);
  // Fallbacks by depth, shallower first, each from its parent's.
  std::vector<std::uint32_t> order(states_.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return states_[a].depth < states_[b].depth;
  });
  for (const std::uint32_t state : order) {
    if (states_[state].depth <= 1) continue;  // the start's moves fall back to it
    std::uint32_t fail = states_[parent[state]].fail;
    std::uint32_t next = Move(fail, via[state]);
    while (next == kNoState && fail != 0) {
      fail = states_[fail].fail;
      next = Move(fail, via[state]);
    }
    TextStateInfo& info = states_[state];
    info.fail = next == kNoState ? 0 : next;
    const TextStateInfo& back = states_[info.fail];
    info.dict = back.code != kNoCode ? info.fail : back.dict;
  }
}

std::uint32_t GameTextIndex::Move(std::uint32_t state, char32_t unit) const {
  if (state == 0) return start_moves_[unit] == 0 ? kNoState : start_moves_[unit];
  const std::uint64_t key = MoveKey(state, unit);
  const std::size_t mask = move_keys_.size() - 1;
  for (std::size_t at = MoveSlot(key) & mask;; at = (at + 1) & mask) {
    if (move_keys_[at] == key) return move_to_[at];
    if (move_keys_[at] == 0) return kNoState;
  }
}

void GameTextIndex::AddMove(std::uint64_t key, std::uint32_t to) const {
  // Three slots of four taken at most, which keeps the runs short.
  if ((move_count_ + 1) * 4 > move_keys_.size() * 3) {
    std::vector<std::uint64_t> keys(move_keys_.size() * 2, 0);
    std::vector<std::uint32_t> tos(keys.size(), 0);
    keys.swap(move_keys_);
    tos.swap(move_to_);
    move_count_ = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (keys[i] != 0) AddMove(keys[i], tos[i]);
    }
  }
  const std::size_t mask = move_keys_.size() - 1;
  std::size_t at = MoveSlot(key) & mask;
  while (move_keys_[at] != 0) at = (at + 1) & mask;
  move_keys_[at] = key;
  move_to_[at] = to;
  ++move_count_;
}

GameTextIndex::TextState GameTextIndex::NextState(TextState state, char32_t unit) const {
  for (;;) {
    if (const std::uint32_t next = Move(state, unit); next != kNoState) return next;
    if (state == 0) return 0;
    state = states_[state].fail;
  }
}

bool GameTextIndex::PairsFast(char16_t first, const PairsByFirst& pairs) const {
  const auto mine = pairs.find(first);
  if (mine == pairs.end()) return true;
  return std::all_of(mine->second.begin(), mine->second.end(), [&](const auto& pair) {
    const FastCode code = FastCodeOf(pair.second);
    return code.count > 0 && !code.ends_line && !open_[pair.second];
  });
}

void GameTextIndex::MakeFastPath() {
  PairsByFirst pairs;
  ForEachText([&](std::u32string_view text, std::uint32_t code) {
    if (text.size() == 2) pairs[text[0]].emplace_back(text[1], code);
  });
  fast_.resize(0x10000);
  for (std::uint32_t unit = 0; unit < 0x10000; ++unit) {
    const auto ch = static_cast<char16_t>(unit);
    FastUnit& fast = fast_[unit];
    bool code_ends_line = false;
    if (single_[unit] != kNoCode) {
      const FastCode code = FastCodeOf(single_[unit]);
      fast.bytes = code.bytes;
      fast.count = code.count;
      code_ends_line = code.ends_line;
    }
    fast.salt = static_cast<std::uint16_t>((unit * 0x9E3779B1u) >> 16);
    if (ch == u'\r' || ch == u'\n') {
      fast.fast = ch == u'\r' ? Fast::kCr : Fast::kLf;
    } else if (marks_[unit] != Special::kNone || IsSurrogate(ch)) {
      // Tag marks are read by the plain way; a surrogate may share a column.
      fast.fast = Fast::kStop;
    } else if (fast.count > 0 && !code_ends_line && !open_[single_[unit]] &&
               (longest_from_[unit] <= 1 ||
                (longest_from_[unit] == 2 && PairsFast(ch, pairs)))) {
      fast.fast = Fast::kCode;
    } else {
      fast.fast = Fast::kSlow;
    }
  }
  MakePairTable();
}

void GameTextIndex::MakePairTable() {
  // The texts of two units, a line-break code's of one among them, each
  // with the code that wins it.
  std::vector<std::u32string> pairs;
  ForEachText([&](std::u32string_view text, std::uint32_t) {
    if (text.size() == 2) pairs.emplace_back(text);
  });
  // In one order whatever the map's, so that the table is the same each time.
  std::sort(pairs.begin(), pairs.end());
  std::size_t slots = 2;
  while (slots < 2 * pairs.size()) slots *= 2;
  pair_shift_ = 32 - std::countr_zero(slots);
  pairs_.assign(slots, {kNoPair, {}});
  pair_bits_.assign(std::size_t{1} << 10, 0);
  auto may_pair = [&](char16_t first, char16_t second) {
    const std::uint32_t at = PairBit(fast_[first].salt, second);
    pair_bits_[at >> 6] |= std::uint64_t{1} << (at & 63);
  };
  for (const std::u32string& text : pairs) {
    if (text[0] == kBreak) continue;  // a break goes the plain way
    const auto first = static_cast<char16_t>(text[0]);
    if (text[1] == kBreak) {
      may_pair(first, u'\r');
      may_pair(first, u'\n');
      continue;
    }
    may_pair(first, static_cast<char16_t>(text[1]));
    // No pair's key is kNoPair: U+FFFF is left to the plain way then.
    if (text[0] == 0xFFFF && text[1] == 0xFFFF) {
      fast_[0xFFFF].fast = Fast::kStop;
      continue;
    }
    const std::uint32_t key = text[0] << 16 | text[1];
    std::size_t at = (key * 0x9E3779B1u) >> pair_shift_;
    while (pairs_[at].key != kNoPair && pairs_[at].key != key) at = (at + 1) & (slots - 1);
    pairs_[at] = {key, FastCodeOf(*CodeOfText(text))};
  }
}

GameTextIndex::FastCode GameTextIndex::FastCodeOf(std::uint32_t index) const {
  const GameCode& code = codes_[index];
  // A control's parameters are the plain way's to wait for, and so is a
  // code too long for the number.
  if (code.kind == GameCodeKind::kControl && code.params > 0) return {};
  if (code.bytes.size() > kFastCodeBytes) return {};
  FastCode fast;
  for (std::size_t i = 0; i < code.bytes.size(); ++i) {
    fast.bytes |= std::uint32_t{code.bytes[i]} << (8 * i);
  }
  fast.count = static_cast<std::uint8_t>(code.bytes.size());
  fast.ends_line = code.kind == GameCodeKind::kLineBreak;
  return fast;
}

std::optional<std::uint32_t> GameTextIndex::CodeOfText(std::u32string_view text) const {
  if (text.size() == 1) {
    if (single_[text[0]] == kNoCode) return std::nullopt;
    return single_[text[0]];
  }
  const TextSlot& slot = text_slots_[SlotOf(text, HashOf(text))];
  if (slot.entry == kNoEntry) return std::nullopt;
  return CodeOfEntry(slot.entry);
}

std::size_t GameTextIndex::SlotOf(std::u32string_view text, std::uint32_t hash) const {
  const std::size_t mask = text_slots_.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    const TextSlot& slot = text_slots_[at];
    if (slot.entry == kNoEntry || (slot.hash == hash && EntryTextIs(slot.entry, text))) return at;
  }
}

// The text as the index holds it: a code's with its breaks as kBreak and a
// line-break code's break after it, an alias's as typed.
bool GameTextIndex::EntryTextIs(std::uint32_t entry, std::u32string_view text) const {
  if ((entry & kAliasEntry) != 0) {
    const std::u16string& typed = aliases_[entry & ~kAliasEntry].text;
    return std::ranges::equal(typed, text, [](char16_t a, char32_t b) { return a == b; });
  }
  const GameCode& code = codes_[entry];
  const bool broken = code.kind == GameCodeKind::kLineBreak;
  if (text.size() != code.text.size() + (broken ? 1 : 0)) return false;
  for (std::size_t i = 0; i < code.text.size(); ++i) {
    const char32_t unit = code.text[i] == u'\n' ? kBreak : code.text[i];
    if (unit != text[i]) return false;
  }
  return !broken || text.back() == kBreak;
}

std::vector<std::uint32_t> GameTextIndex::NearestLabels(std::u16string_view folded,
                                                        std::size_t most) const {
  std::vector<std::pair<std::size_t, std::uint32_t>> near;
  for (const auto& [label, code] : labels_) {
    near.emplace_back(EditDistance(folded, std::u16string_view(label)), code);
  }
  std::sort(near.begin(), near.end());
  std::vector<std::uint32_t> codes;
  for (std::size_t i = 0; i < near.size() && codes.size() < most; ++i) {
    if (std::find(codes.begin(), codes.end(), near[i].second) == codes.end()) {
      codes.push_back(near[i].second);
    }
  }
  return codes;
}

std::optional<std::uint32_t> GameTextIndex::CodeOfLabel(std::u16string_view folded) const {
  const auto found = labels_.find(std::u16string(folded));
  if (found == labels_.end()) return std::nullopt;
  return found->second;
}

}  // namespace binconv
