#pragma once
// Hex digits and numbers as the tool writes and reads them: upper case out,
// either case in.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace binconv {

// The upper-case digits every listing, table file and message writes.
inline constexpr std::array<char16_t, 16> HexDigits = {
    u'0', u'1', u'2', u'3', u'4', u'5', u'6', u'7', u'8', u'9', u'A', u'B', u'C', u'D', u'E', u'F'};

// The digit of the low four bits of `nibble`.
constexpr char HexDigit(unsigned nibble) { return static_cast<char>(HexDigits[nibble & 15]); }

// 0-15 for an ASCII hex digit of either case, -1 for anything else.
constexpr int HexValue(char32_t c) {
  if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
  if (c >= U'A' && c <= U'F') return static_cast<int>(c - U'A') + 10;
  if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a') + 10;
  return -1;
}

// Appends the two digits of a byte to a std::string or std::u16string.
template <class String>
void AppendHexByte(std::uint8_t b, String& out) {
  using Char = typename String::value_type;
  out.push_back(static_cast<Char>(HexDigits[b >> 4]));
  out.push_back(static_cast<Char>(HexDigits[b & 15]));
}

// Letter case of the digits written: upper case everywhere but where a
// CRC-32 is shown as checksum tools print it.
enum class HexCase { kUpper, kLower };

// Appends `value` in hex digits to a std::string or std::u16string: as many
// as it takes, and at least `width` (zeros in front). Written into place
// from the end, as the commands that scan a game write millions of offsets.
template <class String>
void AppendHex(std::uint64_t value, int width, String& out, HexCase letters = HexCase::kUpper) {
  using Char = typename String::value_type;
  int digits = 1;
  for (std::uint64_t rest = value >> 4; rest != 0; rest >>= 4) ++digits;
  if (width > digits) digits = width;
  // Setting bit 5 turns 'A'-'F' into 'a'-'f' and leaves '0'-'9' as they are.
  const char16_t lower = letters == HexCase::kLower ? 0x20 : 0;
  std::size_t at = out.size() + static_cast<std::size_t>(digits);
  out.resize(at);
  for (; digits > 0; --digits, value >>= 4) {
    out[--at] = static_cast<Char>(HexDigits[value & 15] | lower);
  }
}

// "1F4A", "001F4A" with a `width` of 6: the digits alone.
inline std::string HexText(std::uint64_t value, int width = 1, HexCase letters = HexCase::kUpper) {
  std::string text;
  AppendHex(value, width, text, letters);
  return text;
}

// "0A": a byte as two digits.
inline std::string HexByte(std::uint8_t b) {
  std::string text;
  AppendHexByte(b, text);
  return text;
}

// A decimal number or "0x" and hex digits, as plans and options give offsets;
// nullopt for anything else or a value past 2^64 - 1.
std::optional<std::uint64_t> ParseNumber(std::string_view text);
// Decimal digits only, as descriptor numbers and script entry indexes are
// written; nullopt for anything else or a value past 2^64 - 1.
std::optional<std::uint64_t> ParseDecimal(std::string_view text);
// Exactly two hex digits, as a listing writes a byte.
std::optional<std::uint8_t> ParseByte(std::string_view text);

// "0x1F": a number with "0x" and no leading zeros, as messages show offsets;
// "0x001F" with a `width` of 4.
std::string HexNumber(std::uint64_t value, int width = 1);

// "U+00E9", "U+1F600": a code point with at least four digits.
std::string CodePointName(char32_t ch);

}  // namespace binconv
