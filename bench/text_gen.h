#pragma once
// Seeded Japanese text for the benchmarks and the whole-process comparison:
// characters drawn from the tables, lines of 10 to 60 characters.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "chartable/char_table.h"
#include "chartable/game_table.h"

namespace binconv::bench {

struct TextMix {
  // Share of characters that no cell holds (ideographs missing from the tables).
  double no_code = 0;
  // Share of positions where a tag of raw codes such as <0C01> is put.
  double tags = 0;
  // Keep only characters that code page 932 can hold too, so that other
  // encoders can take the same text.
  bool cp932_only = false;
  std::u16string_view line_break = u"\r\n";
};

inline constexpr TextMix kAllEncodable{};
inline constexpr TextMix kWithGapsAndTags{0.05, 0.01};

// Characters that convert to a code from a cell: the first cell of each
// one-character text, less those conversion takes for a tag mark, a space or
// a line break.
std::vector<char16_t> EncodableChars(const CharTable& table, bool cp932_only);

// Text of about `utf8_bytes` bytes once written as UTF-8, the same for the
// same seed, table and mix.
std::u16string GenerateText(const CharTable& table, std::size_t utf8_bytes, const TextMix& mix,
                            std::uint32_t seed);

// The codes of a game's own table as big as a real game's, made from the
// tables so that the same text encodes with both: every producible cell with
// its bytes, the line break and the space, then `pairs` two-character texts
// (DTE) of pairs of those characters and `controls` control codes of 0 to 3
// parameters, on two-byte codes after some of the one-byte codes; then
// ideographs the tables lack, to make up `entries` codes. The same every time.
std::vector<GameCode> MakeGameCodes(const CharTable& table, std::size_t entries = 7000,
                                    std::size_t pairs = 500, std::size_t controls = 20);

}  // namespace binconv::bench
