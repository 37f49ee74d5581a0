#pragma once
// Characters named in messages, by code point.

#include <cstdint>
#include <string>
#include <string_view>

namespace binconv {

// "1 byte", "2 bytes": a number and the word that goes with it.
std::string Counted(std::uint64_t n, std::string_view one, std::string_view many);

// "'ab' (U+0061 U+0062)", "'😀' (U+1F600)". A character a terminal can't
// show as it is (a control character, a lone surrogate) stands as U+FFFD
// inside the quotes; its number is still its own.
std::string DescribeText(std::u16string_view text);
// The same for one character.
std::string DescribeChar(char32_t ch);

// "1 problem", "2 problems": `n` and the noun, plural unless n is 1.
std::string CountOf(std::uint64_t n, std::string_view noun);

}  // namespace binconv
