#pragma once
// Text to code listing: each character becomes its lead code (pages 1-5) and
// its two hex digits, each followed by a space; a line break becomes "24" CR LF.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chartable/char_table.h"
#include "chartable/encoding.h"
#include "codec/detail/encoding_core.h"
#include "codec/detail/utf8_listing.h"
#include "codec/listing.h"
#include "runtime/block_size.h"
#include "runtime/hex.h"
#include "runtime/problem.h"
#include "runtime/utf16.h"
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
inline constexpr ByteText kLineBreakText = TextOfByte(kLineBreakByte);
inline constexpr ByteText kSpaceText = TextOfByte(kSpaceByte);

}  // namespace detail

// The lead code of each page as the listing writes it; page 0 has none.
inline constexpr std::array<std::u16string_view, kPages> LeadCodes = {
    u"",
    detail::kLeadText[1].view(),
    detail::kLeadText[2].view(),
    detail::kLeadText[3].view(),
    detail::kLeadText[4].view(),
    detail::kLeadText[5].view()};

inline constexpr std::u16string_view kLineBreakCode = detail::kLineBreakText.view();
inline constexpr std::u16string_view kFullWidthSpaceCode = detail::kSpaceText.view();

// A character that conversion left in the listing as it is, outside a tag,
// because no cell holds it: the writer can't tell it from a code when it is a
// hex digit, so the front-ends point at each one themselves.
struct UncodedChar {
  std::size_t offset;  // where it stands in the UTF-16 listing of the whole text
  std::size_t length;  // in UTF-16 units: 2 for a surrogate pair, else 1
  std::size_t line;    // 1-based line of the text; lines end at CR LF, a lone CR or a lone LF
  std::size_t column;  // 1-based, in code points
  char32_t ch;         // a whole surrogate pair as one character
  // kNoCode, or kLineBreakInTag for a line break inside a tag (ch is its mark)
  ProblemCode kind = ProblemCode::kNoCode;
};

// Streaming converter: feed the text in chunks of any size and get exactly the
// listing of the whole text. Feed writes all of the listing that no later
// text can change. The tag flag, a CR that may pair with an LF and a high
// surrogate that may pair with a low one carry over between chunks. The
// table must not change while the converter is in use.
class CodeConverter {
 public:
  explicit CodeConverter(const CharTable& table, LineBreaks line_breaks = LineBreaks::kCrLf);

  void Feed(std::u16string_view chunk, std::u16string& out);
  // Flushes what is still pending; the converter is then ready for a new text.
  void Finish(std::u16string& out);

  // The same for a text in UTF-8, with its listing in UTF-8; a byte order
  // mark at the start is not part of the text. False at the first sequence
  // that is not well-formed UTF-8, with utf8_error() telling its offset; the
  // listing of the text before it has been appended. A text cut off inside a
  // character fails at FinishUtf8, which then appends nothing.
  bool FeedUtf8(std::string_view bytes, std::string& listing);
  bool FinishUtf8(std::string& listing);
  Utf8Error utf8_error() const { return utf8_.error(); }

  // Appends every uncoded character to `sink` as the listing is made (none:
  // stop). The fast paths then leave each one to the plain path, the one
  // place that notes it, and keep only the count of lines and columns.
  void set_uncoded(std::vector<UncodedChar>* sink) { uncoded_ = sink; }

 private:
  friend struct detail::Utf8RunProbe;
  template <class Text>
  struct Sink;
  // The fast path straight from UTF-8 bytes: converts the whole characters
  // at the start of `utf8` that need no state and returns how many bytes
  // they took.
  std::size_t RunUtf8(std::string_view utf8, std::string& listing);

  detail::EncodingCore core_;
  // Kept only while uncoded characters are noted.
  std::vector<UncodedChar>* uncoded_ = nullptr;
  std::size_t listed_ = 0;     // listing units written before the current Feed or Finish
  std::size_t out_start_ = 0;  // where the current Feed or Finish began in its `out`
  detail::Utf8Listing utf8_;
};

// The listing of a whole text whose line breaks are CR LF, as a Windows text
// box holds it; with `uncoded`, every uncoded character is appended to it.
std::u16string ConvertToCode(std::u16string_view text, const CharTable& table,
                             LineBreaks line_breaks = LineBreaks::kCrLf,
                             std::vector<UncodedChar>* uncoded = nullptr);

}  // namespace binconv
