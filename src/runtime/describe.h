#pragma once
// Characters named in messages, by code point.

#include <cstdint>
#include <string>
#include <string_view>

namespace binconv {

// "'ab' (U+0061 U+0062)", "'😀' (U+1F600)". A character a terminal can't
// show as it is (a control character, a lone surrogate) stands as U+FFFD
// inside the quotes; its number is still its own.
std::string DescribeText(std::u16string_view text);
// The same for one character.
std::string DescribeChar(char32_t ch);

}  // namespace binconv
