#include "runtime/hex.h"

namespace binconv {

namespace {

std::optional<std::uint64_t> ParseDigits(std::string_view text, int base) {
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

}  // namespace

std::optional<std::uint64_t> ParseNumber(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    return ParseDigits(text.substr(2), 16);
  }
  return ParseDigits(text, 10);
}

std::optional<std::uint64_t> ParseDecimal(std::string_view text) { return ParseDigits(text, 10); }

std::optional<std::uint8_t> ParseByte(std::string_view text) {
  if (text.size() != 2) return std::nullopt;
  const int high = HexValue(static_cast<unsigned char>(text[0]));
  const int low = HexValue(static_cast<unsigned char>(text[1]));
  if (high < 0 || low < 0) return std::nullopt;
  return static_cast<std::uint8_t>(high * 16 + low);
}

std::string HexNumber(std::uint64_t value, int width) {
  std::string text = "0x";
  AppendHex(value, width, text);
  return text;
}

std::string CodePointName(char32_t ch) {
  std::string text = "U+";
  AppendHex(ch, 4, text);
  return text;
}

}  // namespace binconv
