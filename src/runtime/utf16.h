#pragma once
// Surrogate pairs: the one place that knows how a character above U+FFFF is
// held in UTF-16.

#include <cstddef>
#include <string>
#include <string_view>

namespace binconv {

inline constexpr bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline constexpr bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
inline constexpr bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

inline constexpr char32_t CombineSurrogates(char16_t high, char16_t low) {
  return 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) +
         (static_cast<char32_t>(low) - 0xDC00);
}

// Every line:column the program shows counts characters, as editors do: each
// unit begins a column but the low unit of a pair. `previous` is the unit
// before `unit` on its line, 0 at the line's start.
inline constexpr bool BeginsColumn(char16_t previous, char16_t unit) {
  return !(IsHighSurrogate(previous) && IsLowSurrogate(unit));
}

// The 1-based column of the unit at `at` of `line`, counted as above.
// Past the end, the column after the last character.
inline std::size_t ColumnOf(std::u16string_view line, std::size_t at) {
  auto begins = [&](std::size_t i) {
    return BeginsColumn(i > 0 ? line[i - 1] : char16_t{0}, line[i]);
  };
  std::size_t column = 0;
  for (std::size_t i = 0; i < at && i < line.size(); ++i) column += begins(i);
  return at >= line.size() || begins(at) ? column + 1 : column;
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

// Whether a UTF-8 file keeps `text` as it is, wherever it stands: UTF-8 can
// hold no half of a surrogate pair, and readers drop a byte order mark at a
// file's start (`at_start`: the text may begin one).
inline constexpr bool Utf8FileKeeps(std::u16string_view text, bool at_start) {
  if (at_start && !text.empty() && text[0] == u'\uFEFF') return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsSurrogate(text[i])) continue;
    if (!IsHighSurrogate(text[i]) || i + 1 == text.size() || !IsLowSurrogate(text[i + 1])) {
      return false;
    }
    ++i;
  }
  return true;
}

inline std::u16string Utf16Of(char32_t c) {
  char16_t units[2];
  char16_t* w = units;
  PutCodePoint(c, w);
  return std::u16string(units, w);
}

}  // namespace binconv
