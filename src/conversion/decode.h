#pragma once
// Bytes back to text, the inverse of Encoder: for every byte string b,
// encoding the decoded text gives b again. A code is written as its character
// only where encoding that character gives back exactly the same bytes;
// every other code is written as a tag holding its bytes in hex, e.g. <2117>.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "chartable/char_table.h"

namespace binconv {

inline constexpr std::uint8_t kLineBreakByte = 0x24;
inline constexpr std::uint8_t kSpaceByte = 0x50;

// The page whose lead byte `b` is, or 0 when `b` is not a lead byte.
int PageOfLeadByte(std::uint8_t b);

// Whether a page 0 cell at byte `b` would be read as something else: a lead
// byte, a line break or a space.
inline bool IsReservedByte(std::uint8_t b) {
  return PageOfLeadByte(b) != 0 || b == kLineBreakByte || b == kSpaceByte;
}

// Which cells conversion can produce, and so decoding can give back: a cell of
// one character that is the first cell of that character in page, row, column
// order and that conversion doesn't take for a tag mark, a space or a line
// break (CR and LF included, since either may be one).
class ProducibleCells {
 public:
  explicit ProducibleCells(const CharTable& table);

  // The cell's character when conversion can produce the cell.
  std::optional<char16_t> CharAt(CellCode code) const;

 private:
  static constexpr std::int32_t kNone = -1;
  std::array<std::int32_t, kCells> chars_;
};

struct DecodeOptions {
  // What byte 0x24 becomes; CR LF keeps the round trip when only CR LF counts
  // as a line break.
  std::u16string_view line_break = u"\n";
  // The text goes to a UTF-8 file, which can't hold a lone surrogate and
  // whose readers drop a leading byte order mark: such units become tags.
  bool utf8_file = true;
};

// Streaming decoder: feed the bytes in chunks of any size and get exactly the
// text of the whole string. A lead byte at the end of a chunk waits for the
// next one.
class Decoder {
 public:
  explicit Decoder(const CharTable& table, DecodeOptions options = {});

  void Feed(std::span<const std::uint8_t> bytes, std::u16string& out);
  // Writes a lead byte left at the end as a tag; ready for a new string then.
  void Finish(std::u16string& out);

 private:
  void Unit(int page, std::uint8_t byte, std::u16string& out);
  void Tag(std::span<const std::uint8_t> bytes, std::u16string& out);

  ProducibleCells cells_;
  DecodeOptions options_;
  std::optional<std::uint8_t> pending_lead_;
  bool at_start_ = true;  // nothing written yet for this string
};

std::u16string DecodeBytes(std::span<const std::uint8_t> bytes, const CharTable& table,
                           DecodeOptions options = {});

}  // namespace binconv
