#pragma once
// The conversion rules written out the slow, literal way, as the oracle that
// every faster path is checked against: line breaks replaced up front, one
// character at a time with the tag flag, and a scan of all 1536 cells in page,
// row, column order for each lookup. The codes and lead codes are spelt out
// here rather than taken from the code under test.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chartable/char_table.h"
#include "chartable/game_table.h"
#include "codec/convert.h"
#include "codec/decode.h"
#include "codec/encode.h"
#include "support/encoded.h"

namespace binconv::test {

// Every non-overlapping occurrence of `search` (found by TextCompare, as the
// procedure does) replaced by `replacement`. An empty `search` leaves `s`
// unchanged.
std::u16string ReplaceAll(std::u16string_view s, std::u16string_view search,
                          std::u16string_view replacement);

class ReferenceModel {
 public:
  // The table must outlive the model. Without `remember`, every lookup scans
  // the cells afresh, as the procedure was first written (a speed baseline).
  explicit ReferenceModel(const CharTable& table, bool remember = true);

  // The first cell whose text is exactly `ch`.
  std::optional<CellCode> Lookup(char16_t ch);

  // The listing of `text`. With `join_pairs`, a surrogate pair of which
  // neither unit has a code stays whole, with one space after it (as the tool
  // does); without, each unit stands alone, as the procedure is written.
  std::u16string Convert(std::u16string_view text, LineBreaks line_breaks, bool join_pairs = true);

  // The bytes of a character at `code`: its page's lead byte, if any, then
  // row and column.
  static void AppendBytes(CellCode code, std::vector<std::uint8_t>& out);

 private:
  std::int16_t Scan(char16_t ch) const;

  const CharTable& table_;
  bool remember_;
  std::vector<std::int16_t> seen_;  // per unit: cell index, kNoCell or kNotScanned
};

// One-off convenience for a single text.
std::u16string ReferenceConvert(std::u16string_view text, const CharTable& table,
                                LineBreaks line_breaks, bool join_pairs = true);

// The text of `bytes` under a game's table, spelt out plainly: at each
// position, every code is tried against the bytes there and the longest that
// matches wins; its kind says how it shows (a line break: its text and
// the line break of `options`; a control: its label and the parameter bytes
// there are, up to its count, as one tag). A byte no code matches is a tag of
// its own, and so is a first unit whose text starts with a byte order mark,
// for a UTF-8 file.
std::u16string ReferenceGameDecode(std::span<const GameCode> codes,
                                   std::span<const std::uint8_t> bytes, DecodeOptions options = {});

// The bytes and problems of `text` under a game's table, spelt out plainly:
// line breaks settled up front; a tag ("<" to ">", either width) is the code
// whose label it is, else hex bytes; elsewhere, between tag marks, the codes
// whose texts cover the units with the fewest bytes, a character left out
// costing more than any bytes, and of equal ways the longer text first (of
// codes with one text, the shorter code, then the line first in the file),
// a line-break code's text being followed by a break; a break no text takes
// is the first line-break code without text. Whether the bytes read back as
// those codes is not looked at: for tables where no code begins another. Another
// text of a code (`aliases`) is tried as that code where no code has the
// text, or the label, itself; of two such, the first given.
Encoded ReferenceGameEncode(std::span<const GameCode> codes, std::u16string_view text,
                            LineBreaks line_breaks, std::span<const GameTextAlias> aliases = {});

}  // namespace binconv::test
