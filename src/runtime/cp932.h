#pragma once
// Windows code page 932 (Shift_JIS with the NEC and IBM extensions), decoded as
// MultiByteToWideChar(932) does.

#include <cstdint>
#include <string>
#include <string_view>

namespace binconv {

// What Windows gives for a byte sequence that code page 932 does not define.
inline constexpr char16_t kCp932DefaultChar = u'\u30FB';

// Never fails: undefined sequences become kCp932DefaultChar. A lead byte whose
// next byte is not a trail byte (or that ends the input) becomes one
// kCp932DefaultChar and the next byte is decoded on its own, so a stray lead
// byte never swallows a line break.
std::u16string DecodeCp932(std::string_view bytes);

// The bytes that DecodeCp932 turns back into `ch`, as WideCharToMultiByte(932)
// picks them where a character has several (the IBM extensions at FA-FC over
// their NEC-selected copies at ED-EE); false when code page 932 can't hold it.
bool AppendCp932(char16_t ch, std::string& out);

namespace detail {

// The first byte of a pair: 81-9F and E0-FC. Here for the tests and the
// benchmark's text generator, which walk every pair.
bool IsCp932LeadByte(std::uint8_t b);

}  // namespace detail

}  // namespace binconv
