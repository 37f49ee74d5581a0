#pragma once
// The encoder's side of a game's table: which code each text is written as,
// and the fast tables derived from that rule. Built once with the table
// (GameTable::text_index()) and shared by every encoder of it, so that
// making an encoder costs nothing.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "chartable/encoding.h"
#include "chartable/game_table.h"
#include "chartable/read_back.h"

namespace binconv {

// Which code each text of a table is written as, found once per table. A
// text is UTF-16 units and kBreakUnit for a line break: a line-break code's
// text is its text and then the break.
class GameTextIndex {
 public:
  static constexpr char32_t kBreakUnit = 0x10000;

  explicit GameTextIndex(std::span<const GameCode> codes,
                         std::span<const GameTextAlias> aliases = {});

  // The code of exactly `text`: among equal texts the shorter code, then the
  // one first in the file; nullopt when none.
  std::optional<std::uint32_t> CodeOfText(std::u32string_view text) const;
  // The code whose label is "<" `folded` ">", the content folded as
  // TextCompare folds it; the same tie rule.
  std::optional<std::uint32_t> CodeOfLabel(std::u16string_view folded) const;
  // The code a line break alone becomes: the first line-break code without
  // text; none when there is none.
  std::optional<std::uint32_t> break_code() const { return break_code_; }
  std::size_t longest_text() const { return longest_text_; }
  // The tag mark `unit` is (kBreakUnit is none), as ClassifySpecial says.
  detail::Special MarkOf(char32_t unit) const { return marks_[unit]; }
  // The longest text that begins with `first`: 0 when none does.
  std::size_t LongestFrom(char32_t first) const { return longest_from_[first]; }
  std::size_t longest_label() const { return longest_label_; }
  // Whether any code has a label: a tag that is not hex digits is then
  // taken for a mistyped one.
  bool has_labels() const { return !labels_.empty(); }
  // The codes of the `most` labels nearest to the folded content `folded`
  // (fewest edits, then first in the table).
  std::vector<std::uint32_t> NearestLabels(std::u16string_view folded, std::size_t most) const;

  // Every text as one automaton (Aho-Corasick): stepping it a unit at a time
  // finds each text that ends at the unit, in time linear in the text
  // however long the table's texts are. State 0 is the start.
  using TextState = std::uint32_t;
  // Builds the automaton, once, on first use: only encoding needs it, and
  // a table of a million texts is loaded for decoding and checks too. Call
  // before the three below; safe from any thread.
  void PrepareTextStates() const;
  TextState NextState(TextState state, char32_t unit) const;
  // How many units back the longest text that may still match began: no
  // text found later begins before that.
  std::size_t StateDepth(TextState state) const { return states_[state].depth; }
  // Calls found(units, code, other) for every text that ends at `state`, the
  // longest first; `other` when it is another text of the code (an alias),
  // which decode doesn't show.
  template <class Found>
  void ForEachTextEnding(TextState state, Found&& found) const {
    std::uint32_t at = states_[state].code != kNoCode ? state : states_[state].dict;
    while (at != kNoState) {
      found(std::size_t{states_[at].depth}, states_[at].code, states_[at].alias);
      at = states_[at].dict;
    }
  }
  // Whether the code's bytes begin a longer code, so that what follows it
  // may change how it reads back (chartable/read_back.h).
  bool Open(std::uint32_t code) const { return open_[code]; }
  const ReadBackRule& read_back() const { return read_back_; }
  // Whether decoding may show the code as its text (a control as its label):
  // typed back, that text is written as this very code. Otherwise its bytes
  // are shown as a tag, which always is.
  bool Shows(std::uint32_t code) const { return shows_[code]; }
  // Per code, derived from Shows: the one UTF-16 unit decode writes for a
  // text code of one unit, taken alone and without parameters, that any
  // text can hold anywhere (no surrogate, no U+FEFF); 0 where decoding
  // takes the plain way. A plain pointer, as decode reads it once a unit.
  const char16_t* shown_units() const { return shown_units_.data(); }

  // What the encoder's fast path may do with a unit, worked out once from
  // the plain rule above, where no tag, CR or parameters are pending and no
  // text is waiting.
  enum class Fast : std::uint8_t {
    kSlow,  // the plain way takes it: longer texts begin with it, or codes
            // the fast path doesn't write
    kCode,  // texts of two units at most begin with it, one its own (not a
            // line-break code), all codes the fast path writes that begin no
            // longer code: its code, or a pair's, as the fewest bytes ask
    // The plain way takes these too, and a pair's look-ahead stops at them.
    kStop,  // a tag mark, or a surrogate, which may share a column
    kCr,
    kLf,
  };
  // The most bytes of a code the fast path writes: one number holds them.
  static constexpr std::size_t kFastCodeBytes = 4;
  // A code's bytes, the first lowest, and their count; a count of 0: none
  // the fast path may write (a control waiting for parameters, a code longer
  // than kFastCodeBytes, or no code).
  struct FastCode {
    std::uint32_t bytes = 0;
    std::uint8_t count = 0;
    bool ends_line = false;  // a line-break code: a listing ends its line after it
  };
  struct FastUnit {
    std::uint32_t bytes = 0;  // the FastCode of the unit alone
    std::uint8_t count = 0;
    Fast fast = Fast::kStop;
    std::uint16_t salt = 0;  // spreads the pairs it begins over pair_bits
  };
  // The two tables a fast path reads once a unit, as plain pointers, which
  // its writes can't be taken to change.
  struct FastTables {
    const FastUnit* units;
    const std::uint64_t* pair_bits;

    FastUnit Of(char16_t unit) const { return units[unit]; }
    // False when no text is `first` and then `second` (a line break for a
    // CR or an LF): one bit of a hash, so a true may be wrong.
    bool MayPair(FastUnit first, char16_t second) const {
      const std::uint32_t at = PairBit(first.salt, second);
      return (pair_bits[at >> 6] >> (at & 63) & 1) != 0;
    }
  };
  FastTables fast_tables() const { return {fast_.data(), pair_bits_.data()}; }
  FastUnit FastOf(char16_t unit) const { return fast_[unit]; }
  // The code of the two-unit text `first` `second`; nullptr when there is none.
  const FastCode* PairCode(char16_t first, char16_t second) const {
    const std::uint32_t key = std::uint32_t{first} << 16 | second;
    for (std::size_t at = (key * 0x9E3779B1u) >> pair_shift_;;
         at = (at + 1) & (pairs_.size() - 1)) {
      if (pairs_[at].key == key) return &pairs_[at].code;
      if (pairs_[at].key == kNoPair) return nullptr;
    }
  }
  // The code a fast path writes for `code`.
  FastCode FastCodeOf(std::uint32_t code) const;

 private:
  static constexpr std::uint32_t kNoCode = UINT32_MAX;

  // The texts of two units or more by open addressing. A slot holds whose
  // text it is, never the text: a code's index, or an alias's with
  // kAliasEntry set, and the text's hash. A table of a million texts then
  // costs a few bytes a text.
  struct TextSlot {
    std::uint32_t entry = kNoEntry;
    std::uint32_t hash = 0;
  };
  static constexpr std::uint32_t kNoEntry = UINT32_MAX;
  static constexpr std::uint32_t kAliasEntry = 0x80000000;
  static std::uint32_t HashOf(std::u32string_view text) {
    return static_cast<std::uint32_t>(std::hash<std::u32string_view>{}(text));
  }
  // The slot of `text`, or the empty one where it would go.
  std::size_t SlotOf(std::u32string_view text, std::uint32_t hash) const;
  bool EntryTextIs(std::uint32_t entry, std::u32string_view text) const;
  std::uint32_t CodeOfEntry(std::uint32_t entry) const {
    return (entry & kAliasEntry) != 0 ? aliases_[entry & ~kAliasEntry].code : entry;
  }
  // Calls found(text, code) for every text of the slots.
  template <class Found>
  void ForEachText(Found&& found) const;
  std::span<const GameTextAlias> aliases_;
  std::vector<TextSlot> text_slots_;
  std::vector<std::uint32_t> single_;      // per unit, the code of its text alone
  std::vector<std::size_t> longest_from_;  // per unit
  std::vector<detail::Special> marks_;     // per unit, a tag mark or kNone
  std::unordered_map<std::u16string, std::uint32_t> labels_;
  std::optional<std::uint32_t> break_code_;
  std::size_t longest_text_ = 0;
  std::size_t longest_label_ = 0;
  // Derived from the above: per unit, and the texts of two units in a table
  // of open addressing, a key per slot (kNoPair for none).
  struct PairSlot {
    std::uint32_t key;
    FastCode code;
  };
  static constexpr std::uint32_t kNoPair = UINT32_MAX;
  static std::uint32_t PairBit(std::uint16_t salt, char16_t second) { return salt ^ second; }
  void MakeTextStates() const;
  // The constructor's steps: the codes' texts and labels, then the aliases'
  // where no code has them, then which codes decode shows as their text.
  void IndexCodes();
  void IndexAliases();
  void WorkOutShown();
  void MakeFastPath();
  // Whether every pair a unit begins is a code the fast path may write.
  using PairsByFirst =
      std::unordered_map<char32_t, std::vector<std::pair<char32_t, std::uint32_t>>>;
  bool PairsFast(char16_t first, const PairsByFirst& pairs) const;
  bool TypedBack(std::uint32_t code) const;
  std::vector<bool> shows_;
  std::vector<char16_t> shown_units_;
  void MakePairTable();
  std::span<const GameCode> codes_;
  ReadBackRule read_back_;
  std::vector<bool> open_;
  // The automaton: a state per start of a text, its moves by unit (the
  // start's in a table), where it falls back to and the next text ending.
  static constexpr std::uint32_t kNoState = UINT32_MAX;
  struct TextStateInfo {
    std::uint32_t fail = 0;
    std::uint32_t dict = kNoState;  // the next shorter state that ends a text
    std::uint32_t code = kNoCode;   // the text ending here, if any
    std::uint32_t depth = 0;
    bool alias = false;
  };
  mutable std::once_flag states_made_;
  mutable std::vector<TextStateInfo> states_;
  mutable std::vector<std::uint32_t> start_moves_;
  // The other states' moves by open addressing, a key (the state and the
  // unit; never 0, as the start's moves are not here) and a state a slot:
  // a million moves then take no block each.
  mutable std::vector<std::uint64_t> move_keys_;
  mutable std::vector<std::uint32_t> move_to_;
  mutable std::size_t move_count_ = 0;
  static std::uint64_t MoveKey(std::uint32_t state, char32_t unit) {
    return std::uint64_t{state} << 17 | unit;
  }
  static std::size_t MoveSlot(std::uint64_t key) {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15u) >> 32);
  }
  void AddMove(std::uint64_t key, std::uint32_t to) const;
  std::uint32_t Move(std::uint32_t state, char32_t unit) const;
  std::vector<FastUnit> fast_;
  std::vector<PairSlot> pairs_;
  int pair_shift_ = 32;
  std::vector<std::uint64_t> pair_bits_;
};

}  // namespace binconv
