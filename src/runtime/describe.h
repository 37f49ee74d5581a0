#pragma once
// Characters named in messages, by code point.

#include <cstdint>
#include <string>
#include <string_view>

namespace binconv {

// "1 byte", "2 bytes", "2 entries": a number and the word that goes with
// it; without `many` the plural is `one` and an s.
std::string Counted(std::uint64_t n, std::string_view one, std::string_view many = {});

// "'ab' (U+0061 U+0062)", "'😀' (U+1F600)". A character a terminal can't
// show as it is (a control character, a lone surrogate) stands as U+FFFD
// inside the quotes; its number is still its own.
std::string DescribeText(std::u16string_view text);
// The same for one character.
std::string DescribeChar(char32_t ch);

}  // namespace binconv
