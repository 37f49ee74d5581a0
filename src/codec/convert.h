#pragma once
// Text to code listing: the bytes the encoder writes, each as its two hex
// digits and a space, except that a line-break code ends its line with
// CR LF instead of the space. A tag that is no label is copied as typed (the
// writer reads its digits), and a ">" that closes no tag is a space.
//
// What the listing cannot hold as hex stays in it where it was found, for
// the user to see and the writer to stop at: a character without a code as
// itself, a line break inside a tag as kLineBreakMark, and kProblemMark for
// a problem without a character (a control code's missing parameter tag, a
// line break with no code).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chartable/encoding.h"
#include "chartable/game_table.h"
#include "codec/encode.h"
#include "codec/encoder.h"
#include "runtime/hex.h"
#include "runtime/problem.h"
#include "runtime/utf8.h"

namespace binconv {

namespace detail {

// The two hex digits of a byte as the listing writes them.
struct ByteText {
  char16_t digits[2];
  constexpr std::u16string_view view() const { return {digits, 2}; }
};
constexpr ByteText TextOfByte(std::uint8_t b) { return {{HexDigits[b >> 4], HexDigits[b & 15]}}; }

inline constexpr std::array<ByteText, kPages> kLeadText = [] {
  std::array<ByteText, kPages> text{};
  for (int page = 1; page < kPages; ++page) text[page] = TextOfByte(kLeadBytes[page]);
  return text;
}();

}  // namespace detail

// The lead code of each page of the table files as a listing writes it;
// page 0 has none.
inline constexpr std::array<std::u16string_view, kPages> LeadCodes = {
    u"",
    detail::kLeadText[1].view(),
    detail::kLeadText[2].view(),
    detail::kLeadText[3].view(),
    detail::kLeadText[4].view(),
    detail::kLeadText[5].view()};

// Stands in the listing for a problem that has no character of its own; not
// a hex digit, so the writer stops at it.
inline constexpr char16_t kProblemMark = u'\uFF1F';  // ？

// A character or mark that conversion left in the listing, which the writer
// can't tell from a code when it is a hex digit, so the front-ends point at
// each one themselves.
struct UncodedChar {
  std::size_t offset;  // where it stands in the UTF-16 listing of the whole text
  std::size_t length;  // in UTF-16 units: 2 for a surrogate pair, else 1
  std::size_t line;    // 1-based line of the text; lines end at CR LF, a lone CR or a lone LF
  std::size_t column;  // 1-based, in code points
  char32_t ch;         // a whole surrogate pair as one character; the mark shown
  ProblemCode kind = ProblemCode::kNoCode;
};

// Streaming: feed the text in chunks split anywhere and get exactly the
// listing of the whole text; Feed writes all of it that no later text can
// change. The table is shared, never copied.
class CodeConverter {
 public:
  explicit CodeConverter(const GameTable& table, LineBreaks line_breaks = LineBreaks::kCrLf);

  void Feed(std::u16string_view chunk, std::u16string& out);
  // Ends the text; ready for a new text then.
  void Finish(std::u16string& out);

  // The same for a text in UTF-8, with its listing in UTF-8; a byte order
  // mark at the start is not part of the text. False at the first sequence
  // that is not well-formed UTF-8, with utf8_error() telling its offset; the
  // listing of the text before it has been appended. A text cut off inside a
  // character fails at FinishUtf8, which then appends nothing.
  bool FeedUtf8(std::string_view bytes, std::string& listing);
  bool FinishUtf8(std::string& listing);
  Utf8Error utf8_error() const { return input_.error(); }

  // Appends what is left in the listing to `sink` as the listing is made
  // (none: stop), each where it stands.
  void set_uncoded(std::vector<UncodedChar>* sink) { uncoded_ = sink; }
  // The problems left in the listing so far, in the order found.
  const std::vector<EncodeProblem>& problems() const { return encoder_.problems(); }
  void clear_problems() { encoder_.clear_problems(); }

 private:
  // Lists what the encoder settled in the current step, in UTF-16 or in
  // UTF-8 (Text).
  template <class Text>
  void ListSettled(Text& out);
  template <class Text>
  void PutBytes(std::span<const std::uint8_t> bytes, Text& out);
  template <class Text>
  void PutUnits(std::u16string_view units, Text& out);
  template <class Text>
  void PutMark(const EncodeProblem& problem, Text& out);
  template <class Text>
  void PutTyped(const ListingMark& mark, Text& out);
  void Note(std::size_t length, const EncodeProblem& problem, char32_t shown);

  Encoder encoder_;
  std::vector<std::uint8_t> bytes_;  // of the current step
  ListingMarks marks_;               // of the current step
  std::vector<UncodedChar>* uncoded_ = nullptr;
  std::size_t units_ = 0;  // UTF-16 units of the listing of the text so far
  Utf8TextInput input_;
};

// The listing of a whole text; with `uncoded`, what is left in it is
// appended there.
std::u16string ConvertToCode(std::u16string_view text, const GameTable& table,
                             LineBreaks line_breaks = LineBreaks::kCrLf,
                             std::vector<UncodedChar>* uncoded = nullptr);

}  // namespace binconv
