#include "runtime/cp932.h"

#include <array>
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

namespace detail {

bool IsCp932LeadByte(std::uint8_t b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

}  // namespace detail

using detail::IsCp932LeadByte;

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

namespace {

constexpr std::uint16_t kNoBytes = 0xFFFF;  // no sequence (0xFFFF is no trail byte)

// Character -> sequence: a single byte b as b, a pair as lead * 256 + trail.
const std::array<std::uint16_t, 0x10000>& EncodeIndex() {
  static const std::array<std::uint16_t, 0x10000> index = [] {
    std::array<std::uint16_t, 0x10000> built;
    built.fill(kNoBytes);
    for (int b = 0; b < 256; ++b) {
      const char16_t c = kCp932SingleByte[b];
      if (IsCp932LeadByte(static_cast<std::uint8_t>(b)) || (c == 0 && b != 0)) continue;
      if (built[c] == kNoBytes) built[c] = static_cast<std::uint16_t>(b);
    }
    // The NEC-selected IBM rows come last, so their FA-FC twins win.
    for (const bool nec_selected : {false, true}) {
      for (int lead = 0x81; lead <= 0xFC; ++lead) {
        const bool in_ed_ee = lead == 0xED || lead == 0xEE;
        if (in_ed_ee != nec_selected) continue;
        const int row = kCp932LeadRow[lead];
        if (!IsCp932LeadByte(static_cast<std::uint8_t>(lead)) || row < 0) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
          if (!IsTrailByte(static_cast<std::uint8_t>(trail))) continue;
          const char16_t c = kCp932DoubleByte[row][TrailIndex(static_cast<std::uint8_t>(trail))];
          if (c != 0 && built[c] == kNoBytes) {
            built[c] = static_cast<std::uint16_t>(lead * 256 + trail);
          }
        }
      }
    }
    return built;
  }();
  return index;
}

}  // namespace

bool AppendCp932(char16_t ch, std::string& out) {
  const std::uint16_t bytes = EncodeIndex()[ch];
  if (bytes == kNoBytes) return false;
  if (bytes > 0xFF) out.push_back(static_cast<char>(bytes >> 8));
  out.push_back(static_cast<char>(bytes & 0xFF));
  return true;
}

}  // namespace binconv
