#include "runtime/crc32.h"

#include <gtest/gtest.h>

#include "support/bytes.h"

namespace binconv {
namespace {

// The plain rule, a bit at a time: the oracle of the tables.
std::uint32_t BitwiseCrc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const std::uint8_t b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

constexpr std::uint8_t kCheck[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
static_assert(Crc32(kCheck) == 0xCBF43926u, "the standard check value");

TEST(Crc32Test, TablesAgreeWithTheBitwiseRuleAtEveryLengthAndSplit) {
  const std::vector<std::uint8_t> bytes = test::RandomByteVector(1000, 7);
  const std::span<const std::uint8_t> all(bytes);
  for (std::size_t n = 0; n <= 40; ++n) {
    EXPECT_EQ(Crc32(all.first(n)), BitwiseCrc32(all.first(n))) << n;
  }
  const std::uint32_t whole = BitwiseCrc32(all);
  EXPECT_EQ(Crc32(all), whole);
  for (const std::size_t split : {0, 1, 7, 8, 9, 500, 999, 1000}) {
    EXPECT_EQ(UpdateCrc32(Crc32(all.first(split)), all.subspan(split)), whole) << split;
  }
}

}  // namespace
}  // namespace binconv
