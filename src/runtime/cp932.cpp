#include "runtime/cp932.h"

#include <cstddef>
#include <cstdint>

namespace binconv {
namespace {

#include "runtime/cp932_table.inc"

constexpr bool IsTrailByte(std::uint8_t b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

constexpr std::size_t TrailIndex(std::uint8_t b) {
  return b < 0x80 ? std::size_t{b} - 0x40u : std::size_t{b} - 0x41u;
}

}  // namespace

bool IsCp932LeadByte(std::uint8_t b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

std::u16string DecodeCp932(std::string_view bytes) {
  std::u16string out;
  out.resize(bytes.size());
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t written = 0;
  std::size_t i = 0;
  while (i < n) {
    const std::uint8_t b = p[i];
    if (!IsCp932LeadByte(b)) {
      out[written++] = kCp932SingleByte[b];
      ++i;
      continue;
    }
    if (i + 1 >= n || !IsTrailByte(p[i + 1])) {
      // The following byte stays a character of its own, so a line end survives.
      out[written++] = kCp932DefaultChar;
      ++i;
      continue;
    }
    const int row = kCp932LeadRow[b];
    const char16_t c = row < 0 ? char16_t{0} : kCp932DoubleByte[row][TrailIndex(p[i + 1])];
    out[written++] = c == 0 ? kCp932DefaultChar : c;
    i += 2;
  }
  out.resize(written);
  return out;
}

}  // namespace binconv
