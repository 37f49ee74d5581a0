#pragma once
// Text to bytes through a game's own table (a .tbl), the inverse of
// GameDecoder where the table has one code per text: a tag is a label or
// hex bytes, elsewhere the longest text of the table wins, and a line break
// is a line-break code (its text and the break, or a *HEX alone).

#include <cstddef>
#include <cstdint>
#include <optional>
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
  std::size_t sight_;     // units a match may need in sight to be final
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
  std::vector<EncodeProblem> problems_;
  Utf8TextInput input_;
};

}  // namespace binconv
