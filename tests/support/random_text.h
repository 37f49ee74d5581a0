#pragma once
// Random texts for the differential tests of conversion and encoding.

#include <random>
#include <span>
#include <string>
#include <string_view>

namespace binconv::test {

// Up to 40 pieces drawn from `pieces`; a long text has 15000 to 25000, nearly
// all of them characters that leave no state behind (codes, spaces, line
// breaks, ">"), in long runs, so that the long-run paths are taken.
std::u16string RandomText(std::mt19937& rng, std::span<const std::u16string_view> pieces,
                          bool long_text);

// A random .tbl over few bytes and a few characters, so that codes and texts
// begin alike and the tie rules are reached, and some codes of 5 to 32 bytes;
// with `one_code_per_text`, none the start of another and no two alike in text;
// with `prefix_free`, none the start of another.
std::string RandomGameTbl(std::mt19937& rng, bool one_code_per_text, bool prefix_free = false);

// Up to 29 pieces that reach every rule of the encoder through such a table:
// its characters, tag marks of both widths, hex digits, each line break, a
// space, a surrogate pair and both lone halves, and a character it never holds.
std::u16string RandomGameText(std::mt19937& rng);

}  // namespace binconv::test
