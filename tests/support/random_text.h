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

}  // namespace binconv::test
