#include "runtime/hex.h"

namespace binconv {
namespace {

std::string Digits(std::uint64_t value, int at_least) {
  std::string text;
  do {
    text.insert(text.begin(), HexDigit(static_cast<unsigned>(value & 15)));
    value >>= 4;
  } while (value != 0 || static_cast<int>(text.size()) < at_least);
  return text;
}

}  // namespace

std::optional<std::uint64_t> ParseNumber(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    const int digit = HexValue(static_cast<unsigned char>(c));
    if (digit < 0 || digit >= base) return std::nullopt;
    if (value >
        (UINT64_MAX - static_cast<std::uint64_t>(digit)) / static_cast<std::uint64_t>(base)) {
      return std::nullopt;
    }
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
  }
  return value;
}

std::optional<std::uint8_t> ParseByte(std::string_view text) {
  if (text.size() != 2) return std::nullopt;
  const int high = HexValue(static_cast<unsigned char>(text[0]));
  const int low = HexValue(static_cast<unsigned char>(text[1]));
  if (high < 0 || low < 0) return std::nullopt;
  return static_cast<std::uint8_t>(high * 16 + low);
}

std::string HexNumber(std::uint64_t value) { return "0x" + Digits(value, 1); }

std::string CodePointName(char32_t ch) { return "U+" + Digits(ch, 4); }

}  // namespace binconv
