#pragma once
// The fixed facts of the encoding, each stated once: the lead byte of every
// page, the bytes of a line break and a space, the characters that conversion
// takes for tag marks, line breaks and spaces, and which cells a text can be
// encoded to. Conversion, encoding, decoding, the table check and the reports
// all read them from here; their fast tables are derived from these rules.
// The lookup itself, first cell wins, is CharTable::Find.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

#include "chartable/char_table.h"
#include "chartable/game_table.h"

namespace binconv {

// The byte written before a code of each page; page 0 has none.
inline constexpr std::array<std::uint8_t, kPages> kLeadBytes = {0x00, 0x20, 0x21,
                                                                0x22, 0x23, 0x18};
inline constexpr std::uint8_t kLineBreakByte = 0x24;
inline constexpr std::uint8_t kSpaceByte = 0x50;

// Stands for a line break while a text is walked; typed by the user it is a
// line break too.
inline constexpr char16_t kLineBreakMark = u'\u9C2F';

// The page whose lead byte `b` is, or 0 when `b` is not a lead byte.
constexpr int PageOfLeadByte(std::uint8_t b) {
  for (int page = 1; page < kPages; ++page) {
    if (kLeadBytes[page] == b) return page;
  }
  return 0;
}

// Whether a page 0 cell at byte `b` would be read as something else: a lead
// byte, a line break or a space.
constexpr bool IsReservedByte(std::uint8_t b) {
  return PageOfLeadByte(b) != 0 || b == kLineBreakByte || b == kSpaceByte;
}

namespace detail {

// The characters conversion treats specially, each found by TextCompare.
enum class Special : std::uint8_t { kNone, kTagOpen, kTagClose, kLineBreak, kSpace };

// Tag marks take precedence, in the order conversion tests them.
Special ClassifySpecial(char16_t ch);

// Every unit whose class is not kNone, in code order; found once per process.
std::span<const std::pair<char16_t, Special>> SpecialUnits();

// Moves the tag flag on for a character of class `special`: "<" opens a tag
// and ">" closes one. True for the opener, which leaves nothing behind.
inline bool StepTagFlag(Special special, bool& in_tag) {
  if (special == Special::kTagOpen) {
    in_tag = true;
    return true;
  }
  if (special == Special::kTagClose) in_tag = false;
  return false;
}

// Conversion never looks such a character up: it is special, or a CR or LF,
// either of which may be (part of) a line break.
inline bool IsIntercepted(char16_t ch) {
  return ch == u'\r' || ch == u'\n' || ClassifySpecial(ch) != Special::kNone;
}

}  // namespace detail

// Which cells a text can be encoded to, and so decoding can give back: a cell
// of one character that is the first cell of that character and that
// conversion doesn't intercept.
class ProducibleCells {
 public:
  explicit ProducibleCells(const CharTable& table);

  // The cell's character when a text can be encoded to the cell. Inline:
  // decoding asks it once a unit.
  std::optional<char16_t> CharAt(CellCode code) const {
    const std::int32_t ch = chars_[static_cast<std::size_t>(code.index())];
    if (ch == kNone) return std::nullopt;
    return static_cast<char16_t>(ch);
  }

 private:
  static constexpr std::int32_t kNone = -1;
  std::array<std::int32_t, kCells> chars_;
};

// The two table files as the one model every reader and writer of a game's
// bytes works through, compiled once at load: 24 a line break, 50 the space
// U+3000, a lead byte and the byte after it one code of its page, and every
// other byte a code of page 0. A code shows its cell's character only where
// ProducibleCells gives it; every other code has no text, so decode shows
// its bytes as a tag, as the cells' own rule says. Every character that
// conversion takes for a line break or a space is typed for 24 or 50.
GameTable GameTableOf(const CharTable& table);

}  // namespace binconv
