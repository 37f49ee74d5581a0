#pragma once
// Text to bytes through a game's own table (a .tbl), the inverse of
// GameDecoder where the table has one code per text: a tag is a label or
// hex bytes, elsewhere the longest text of the table wins, and a line break
// is a line-break code (its text and the break, or a *HEX alone).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "chartable/encoding.h"
#include "chartable/game_table.h"
#include "codec/detail/encoding_core.h"
#include "codec/encode.h"
#include "runtime/utf8.h"

namespace binconv {

// Which code each text of a table is written as, found once per table. A
// text is UTF-16 units and kBreakUnit for a line break: a line-break code's
// text is its text and then the break.
class GameTextIndex {
 public:
  static constexpr char32_t kBreakUnit = 0x10000;

  explicit GameTextIndex(const GameTable& table);

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

  // What the encoder's fast path may do with a unit, worked out once from
  // the plain rule above, where no tag, CR or parameters are pending and no
  // text is waiting.
  enum class Fast : std::uint8_t {
    // The kinds a look-ahead may read past: they stay units of the run.
    kSlow,  // the plain way takes it
    kCode,  // texts of two units at most begin with it, one its own: its code
            // unless a pair's text takes the unit after it
    kLook,  // look ahead: longer texts begin with it, or it has no code alone
    // The plain way takes these and a look-ahead stops at them.
    kStop,  // a tag mark, or a surrogate, which may share a column
    kCr,
    kLf,
  };
  // A code's bytes, the first lowest, and their count; a count of 0: none
  // the fast path may write (a control waiting for parameters, or no code).
  struct FastCode {
    std::uint32_t bytes = 0;
    std::uint8_t count = 0;
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
  // Looked up by a view of the text, so that a lookup makes no string.
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::u32string_view text) const {
      return std::hash<std::u32string_view>{}(text);
    }
  };
  static constexpr std::uint32_t kNoCode = UINT32_MAX;

  std::unordered_map<std::u32string, std::uint32_t, Hash, std::equal_to<>> texts_;
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
  void MakeFastPath();
  void MakePairTable();
  std::span<const GameCode> codes_;
  std::vector<FastUnit> fast_;
  std::vector<PairSlot> pairs_;
  int pair_shift_ = 32;
  std::vector<std::uint64_t> pair_bits_;
};

// Streaming: feed the text in chunks split anywhere and get the bytes of the
// whole text. A character no text covers writes nothing and is a problem
// (kNoCode), so the bytes are always those of the text without it.
class GameEncoder {
 public:
  // The table must outlive the encoder.
  explicit GameEncoder(const GameTable& table, LineBreaks line_breaks = LineBreaks::kCrLf);

  void Feed(std::u16string_view chunk, std::vector<std::uint8_t>& out);
  // Ends the text (a tag left open is closed); ready for a new text then.
  void Finish(std::vector<std::uint8_t>& out);
  // The same for UTF-8; false at the first sequence that is not well-formed.
  bool FeedUtf8(std::string_view bytes, std::vector<std::uint8_t>& out);
  bool FinishUtf8(std::vector<std::uint8_t>& out);
  Utf8Error utf8_error() const { return input_.error(); }

  // Problems of the text so far, in the order found; lines end at CR LF, a
  // lone CR or a lone LF.
  const std::vector<EncodeProblem>& problems() const { return problems_; }
  void clear_problems() { problems_.clear(); }

 private:
  struct Token {
    char32_t unit;  // a UTF-16 unit, or kBreakUnit
    detail::TextPlace place;
  };

  // Nothing open, pending or waiting: the fast path may take the next unit.
  bool Settled() const {
    return !in_tag_ && !pending_cr_ && !after_cr_ && !params_place_ && !break_is_code_s_ &&
           run_start_ == run_.size();
  }
  // Takes units from `p` while each is settled by the unit tables alone,
  // and returns where it stopped.
  const char16_t* RunFast(const char16_t* p, const char16_t* end, std::vector<std::uint8_t>& out);
  // What the fast path does at `p` past its common case: the units it takes
  // (none: the plain way's) and the code it writes for them.
  struct Step {
    std::size_t units = 0;
    GameTextIndex::FastCode code;
  };
  Step SlowStep(GameTextIndex::FastUnit unit, const char16_t* p, const char16_t* end);
  // A unit that texts of two units begin with, or of more, and a line break.
  Step PairStep(const char16_t* p, const char16_t* end) const;
  Step LongerStep(const char16_t* p, const char16_t* end);
  Step BreakStep(const char16_t* p, const char16_t* end) const;
  // Whether the front of the run is settled whatever comes after it.
  bool FrontFinal() const;
  void Unit(char16_t ch, std::vector<std::uint8_t>& out);
  void Take(Token token, std::vector<std::uint8_t>& out);
  void TakeInTag(Token token, std::vector<std::uint8_t>& out);
  void CloseTag(std::vector<std::uint8_t>& out);
  void WriteHexTag(std::vector<std::uint8_t>& out);
  // Writes units off the front of the run while the longest match there can
  // no longer change; at the end, all of them.
  void WriteRun(bool at_end, std::vector<std::uint8_t>& out);
  void WriteFront(std::vector<std::uint8_t>& out);
  void WriteCode(std::uint32_t code, detail::TextPlace place, std::vector<std::uint8_t>& out);
  // A control code's parameters were due and something else came.
  void MissParams();
  void Report(ProblemCode kind, detail::TextPlace place, char32_t ch);

  const GameTable& table_;
  GameTextIndex index_;
  GameTextIndex::FastCode break_;  // of a line break alone; a count of 0: none
  LineBreaks line_breaks_;
  // The place of the next unit: its line, and the column of the unit before.
  detail::TextPlace place_;
  char16_t last_unit_ = 0;
  bool pending_cr_ = false;  // kCrLf: a CR that is a line break only if an LF follows
  bool after_cr_ = false;    // kAny: an LF right after a CR belongs to its break
  detail::TextPlace cr_place_;
  // Text outside tags not yet written, the units a longer match may still take.
  std::vector<Token> run_;
  std::size_t run_start_ = 0;
  std::u32string match_;  // the units of a match tried, kept for its storage
  // The tag open: its place, its folded content while a label may fit, its
  // bytes so far and the characters that are not hex digits.
  bool in_tag_ = false;
  detail::TextPlace tag_place_;
  std::u16string tag_text_;
  std::vector<std::uint8_t> tag_bytes_;
  int tag_nibble_ = -1;
  std::vector<EncodeProblem> tag_bad_;
  // A control code waiting for its parameter tag: where it stands and how many.
  std::optional<detail::TextPlace> params_place_;
  std::size_t params_due_ = 0;
  // A line-break code written from its label: a line break right after it
  // is its own, as decode writes its text and then the break.
  bool break_is_code_s_ = false;
  std::vector<EncodeProblem> problems_;
  Utf8TextInput input_;
};

}  // namespace binconv
