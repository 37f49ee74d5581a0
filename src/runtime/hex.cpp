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

std::string HexNumber(std::uint64_t value) { return "0x" + Digits(value, 1); }

std::string CodePointName(char32_t ch) { return "U+" + Digits(ch, 4); }

}  // namespace binconv
