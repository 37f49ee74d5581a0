#pragma once
// Surrogate pairs: the one place that knows how a character above U+FFFF is
// held in UTF-16.

#include <string>

namespace binconv {

inline constexpr bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline constexpr bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
inline constexpr bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

inline constexpr char32_t CombineSurrogates(char16_t high, char16_t low) {
  return 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) +
         (static_cast<char32_t>(low) - 0xDC00);
}

// Writes `c` (at most U+10FFFF) as one unit or a surrogate pair at `w` and
// moves `w` past it.
inline void PutCodePoint(char32_t c, char16_t*& w) {
  if (c < 0x10000) {
    *w++ = static_cast<char16_t>(c);
    return;
  }
  c -= 0x10000;
  *w++ = static_cast<char16_t>(0xD800 + (c >> 10));
  *w++ = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
}

inline std::u16string Utf16Of(char32_t c) {
  char16_t units[2];
  char16_t* w = units;
  PutCodePoint(c, w);
  return std::u16string(units, w);
}

}  // namespace binconv
