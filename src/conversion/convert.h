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

namespace binconv {

// Stands for a line break while the text is walked; typed by the user it is a
// line break too.
inline constexpr char16_t kLineBreakMark = u'\u9C2F';

inline constexpr std::array<char16_t, 16> HexDigits = {
    u'0', u'1', u'2', u'3', u'4', u'5', u'6', u'7', u'8', u'9', u'A', u'B', u'C', u'D', u'E', u'F'};

// Indexed by page; page 0 has no lead code.
inline constexpr std::array<std::u16string_view, kPages> LeadCodes = {u"",   u"20", u"21",
                                                                      u"22", u"23", u"18"};

inline constexpr std::u16string_view kLineBreakCode = u"24";
inline constexpr std::u16string_view kFullWidthSpaceCode = u"50";

enum class LineBreaks {
  kCrLf,  // only CR LF is a line break; a lone CR or LF is looked up like any character
  kAny,   // CR LF, a lone CR and a lone LF are each one line break
};

namespace detail {

// The characters the conversion treats specially, each found by TextCompare.
enum class Special : std::uint8_t { kNone, kTagOpen, kTagClose, kLineBreak, kSpace };

// Tag marks take precedence, in the order the conversion tests them.
Special ClassifySpecial(char16_t ch);

inline bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
inline char32_t CombineSurrogates(char16_t high, char16_t low) {
  return 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) +
         (static_cast<char32_t>(low) - 0xDC00);
}

// 0-15 for an ASCII hex digit of either case, -1 for anything else.
inline int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// Units fed before a converter builds its UnitActions: on short texts the
// table would cost more than it saves.
inline constexpr std::size_t kUnitActionsAfter = 16384;

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
  };

  explicit UnitActions(const CharTable& table);

  std::uint16_t operator[](char16_t ch) const { return actions_[ch]; }
  const std::uint16_t* data() const { return actions_.data(); }

  static constexpr Kind KindOf(std::uint16_t action) { return static_cast<Kind>(action >> 11); }
  static constexpr int PageOf(std::uint16_t action) { return (action >> 8) & 7; }
  static constexpr std::uint8_t ByteOf(std::uint16_t action) {
    return static_cast<std::uint8_t>(action & 0xFF);
  }

 private:
  std::vector<std::uint16_t> actions_;
};

}  // namespace detail

// Streaming converter: feed the text in chunks of any size and get exactly the
// listing of the whole text. The tag flag, a CR that may pair with an LF and a
// high surrogate that may pair with a low one carry over between chunks. The
// table must not change while the converter is in use.
class CodeConverter {
 public:
  explicit CodeConverter(const CharTable& table, LineBreaks line_breaks = LineBreaks::kCrLf);

  void Feed(std::u16string_view chunk, std::u16string& out);
  // Flushes what is still pending; the converter is then ready for a new text.
  void Finish(std::u16string& out);

  // A quicker way in for UTF-8 input. Converts the whole characters at the
  // start of `utf8` that need no state (any but tag openers, lone line breaks
  // where only CR LF counts, and what is cut off or not well formed) exactly
  // as Feed would, appends their listing to `listing` as UTF-8, and returns
  // how many bytes they took; the caller decodes the rest and gives it to
  // Feed. Takes nothing while a tag is open or anything is pending, or on
  // short texts.
  std::size_t FeedUtf8Run(std::string_view utf8, std::string& listing);

 private:
  // Converts the run of units that need no state from `p` on; returns where
  // it stopped.
  const char16_t* Run(const char16_t* p, const char16_t* end, std::u16string& out) const;
  void Unit(char16_t ch, std::u16string& out);
  void Step(char16_t ch, std::u16string& out);
  void Emit(char16_t ch, std::u16string& out);

  const CharTable& table_;
  std::optional<detail::UnitActions> actions_;
  std::size_t fed_ = 0;
  LineBreaks line_breaks_;
  bool in_tag_ = false;
  bool pending_cr_ = false;
  char16_t pending_high_ = 0;  // a high surrogate without a code, waiting for its partner
};

// The listing of a whole text whose line breaks are CR LF, as a Windows text
// box holds it.
std::u16string ConvertToCode(std::u16string_view text, const CharTable& table,
                             LineBreaks line_breaks = LineBreaks::kCrLf);

}  // namespace binconv
