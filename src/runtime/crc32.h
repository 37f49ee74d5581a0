#pragma once
// CRC-32 as zip, PNG and patch formats use it: the reflected polynomial
// 0xEDB88320, starting from and finished with all ones. The tables are worked
// out from the polynomial at compile time; the plain bitwise rule is the
// tests' oracle.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace binconv {

namespace detail {

inline constexpr std::uint32_t kCrc32Polynomial = 0xEDB88320u;

// Eight tables so that eight bytes go at once: table k holds the CRC of a
// byte followed by k zero bytes.
constexpr std::array<std::array<std::uint32_t, 256>, 8> MakeCrc32Tables() {
  std::array<std::array<std::uint32_t, 256>, 8> tables{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1u) ? kCrc32Polynomial : 0u);
    tables[0][i] = crc;
  }
  for (std::size_t k = 1; k < 8; ++k) {
    for (std::size_t i = 0; i < 256; ++i) {
      const std::uint32_t prev = tables[k - 1][i];
      tables[k][i] = (prev >> 8) ^ tables[0][prev & 0xFFu];
    }
  }
  return tables;
}

inline constexpr auto kCrc32Tables = MakeCrc32Tables();

}  // namespace detail

// The CRC-32 of what `crc` covered followed by `bytes`; 0 for nothing yet.
constexpr std::uint32_t UpdateCrc32(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  const auto& t = detail::kCrc32Tables;
  crc = ~crc;
  const std::uint8_t* p = bytes.data();
  std::size_t n = bytes.size();
  while (n >= 8) {
    const std::uint32_t lo = crc ^ (static_cast<std::uint32_t>(p[0]) |
                                    static_cast<std::uint32_t>(p[1]) << 8 |
                                    static_cast<std::uint32_t>(p[2]) << 16 |
                                    static_cast<std::uint32_t>(p[3]) << 24);
    crc = t[7][lo & 0xFFu] ^ t[6][(lo >> 8) & 0xFFu] ^ t[5][(lo >> 16) & 0xFFu] ^ t[4][lo >> 24] ^
          t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    p += 8;
    n -= 8;
  }
  for (; n > 0; --n, ++p) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFFu];
  return ~crc;
}

constexpr std::uint32_t Crc32(std::span<const std::uint8_t> bytes) { return UpdateCrc32(0, bytes); }

}  // namespace binconv
