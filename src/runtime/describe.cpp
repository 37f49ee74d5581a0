#include "runtime/describe.h"

#include "runtime/hex.h"
#include "runtime/utf16.h"
#include "runtime/utf8.h"

namespace binconv {
namespace {

bool Printable(char32_t ch) {
  if (ch < 0x20 || (ch >= 0x7F && ch < 0xA0)) return false;
  if (IsSurrogate(ch)) return false;
  return ch <= 0x10FFFF;
}

}  // namespace

std::string DescribeText(std::u16string_view text) {
  std::u16string shown;
  std::string numbers;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t ch = text[i];
    if (IsHighSurrogate(ch) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      ch = CombineSurrogates(text[i], text[i + 1]);
      ++i;
    }
    shown += Printable(ch) ? Utf16Of(ch) : u"\uFFFD";
    if (!numbers.empty()) numbers += ' ';
    numbers += CodePointName(ch);
  }
  return "'" + EncodeUtf8(shown) + "' (" + numbers + ")";
}

std::string DescribeChar(char32_t ch) {
  if (!Printable(ch)) return "'\xEF\xBF\xBD' (" + CodePointName(ch) + ")";
  return DescribeText(Utf16Of(ch));
}

}  // namespace binconv
