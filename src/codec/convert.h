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
#include "codec/listing.h"
#include "runtime/block_size.h"
#include "runtime/hex.h"
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

enum class LineBreaks {
  kCrLf,  // only CR LF is a line break; a lone CR or LF is looked up like any character
  kAny,   // CR LF, a lone CR and a lone LF are each one line break
};

namespace detail {

// Lets the differential tests call the UTF-8 fast paths on their own.
struct Utf8RunProbe;

// Units fed before a converter builds its UnitActions: on short texts the
// table would cost more than it saves. Small blocks start the fast paths
// early too, so that a fuzzer reaches them at once.
inline constexpr std::size_t kUnitActionsAfter = BlockSize(16384, 40);

// The unit after a CR, as a fast path's unit rule asks for it, is past the
// end of the chunk: the CR waits for it.
inline constexpr char32_t kChunkEnds = 0xFFFFFFFFu;

// What conversion does with each UTF-16 unit when no tag is open and nothing
// is pending, worked out once from the table so that the common case costs a
// single load: a code (page and byte), or the kind of unit that needs more.
class UnitActions {
 public:
  enum Kind : std::uint16_t {
    kCode = 0,
    kSpace,      // "50 "
    kLineBreak,  // LineBreakMark: "24" CR LF
    kTagClose,   // " "
    kCr,         // may pair with an LF
    kLf,
    kNoCode,
    kTagOpen,
    // A unit of a surrogate pair that has a code of its own: the plain way
    // takes it, which knows whether it begins a column.
    kSurrogateCode,
  };

  explicit UnitActions(const CharTable& table);

  std::uint16_t operator[](char16_t ch) const { return actions_[ch]; }
  const std::uint16_t* data() const { return actions_.data(); }
  // Every unit whose action may be kCode, so that a table of the codes alone
  // is made without going through all the units.
  const std::vector<char16_t>& coded() const { return coded_; }

  static constexpr Kind KindOf(std::uint16_t action) { return static_cast<Kind>(action >> 11); }
  static constexpr int PageOf(std::uint16_t action) { return (action >> 8) & 7; }
  static constexpr std::uint8_t ByteOf(std::uint16_t action) {
    return static_cast<std::uint8_t>(action & 0xFF);
  }

 private:
  std::vector<std::uint16_t> actions_;
  std::vector<char16_t> coded_;
};

}  // namespace detail

// A character that conversion left in the listing as it is, outside a tag,
// because no cell holds it: the writer can't tell it from a code when it is a
// hex digit, so the front-ends point at each one themselves.
struct UncodedChar {
  std::size_t offset;  // where it stands in the UTF-16 listing of the whole text
  std::size_t length;  // in UTF-16 units: 2 for a surrogate pair, else 1
  std::size_t line;    // 1-based line of the text; lines end at CR LF, a lone CR or a lone LF
  std::size_t column;  // 1-based, in code points
  char32_t ch;         // a whole surrogate pair as one character
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
  Utf8Error utf8_error() const { return input_.error(); }

  // Appends every uncoded character to `sink` as the listing is made (none:
  // stop). The fast paths then leave each one to the plain path, the one
  // place that notes it, and keep only the count of lines and columns.
  void set_uncoded(std::vector<UncodedChar>* sink) { uncoded_ = sink; }

 private:
  friend struct detail::Utf8RunProbe;
  struct Place {
    std::size_t line = 1;
    std::size_t column = 0;
  };
  // Converts the run of units that need no state from `p` on; returns where
  // it stopped.
  const char16_t* Run(const char16_t* p, const char16_t* end, std::u16string& out);
  // The same straight from UTF-8 bytes: converts the whole characters at the
  // start of `utf8` that need no state and returns how many bytes they took.
  std::size_t RunUtf8(std::string_view utf8, std::string& listing);
  // Moves the place on past what a fast path took: `breaks` line breaks, and
  // `columns` characters since the last of them (or since the run's start).
  void PassRun(std::size_t breaks, std::size_t columns);
  void Unit(char16_t ch, std::u16string& out);
  void Step(char16_t ch, Place place, std::u16string& out);
  void Emit(char16_t ch, Place place, std::u16string& out);
  // Notes the character that starts at out[at] when uncoded characters are kept.
  void NoteUncoded(std::size_t at, std::size_t length, Place place, char32_t ch);

  const CharTable& table_;
  std::optional<detail::UnitActions> actions_;
  std::size_t fed_ = 0;
  LineBreaks line_breaks_;
  bool in_tag_ = false;
  bool pending_cr_ = false;  // kCrLf: a CR that is a line break only if an LF follows
  // kAny: a CR's line break is out already, being settled whatever follows;
  // an LF right after it belongs to it.
  bool after_cr_ = false;
  char16_t pending_high_ = 0;  // a high surrogate without a code, waiting for its partner
  // Kept only while uncoded characters are noted.
  std::vector<UncodedChar>* uncoded_ = nullptr;
  Place place_;       // of the last unit fed
  Place cr_place_;    // of the pending CR
  Place high_place_;  // of the pending high surrogate
  char16_t last_unit_ = 0;
  std::size_t listed_ = 0;     // listing units written before the current Feed or Finish
  std::size_t out_start_ = 0;  // where the current Feed or Finish began in its `out`
  Utf8TextInput input_;
  std::u16string listing16_;  // the listing of a decoded stretch of UTF-8
};

// The listing of a whole text whose line breaks are CR LF, as a Windows text
// box holds it; with `uncoded`, every uncoded character is appended to it.
std::u16string ConvertToCode(std::u16string_view text, const CharTable& table,
                             LineBreaks line_breaks = LineBreaks::kCrLf,
                             std::vector<UncodedChar>* uncoded = nullptr);

}  // namespace binconv
