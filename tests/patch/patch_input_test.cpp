// A patch's input read through for a progress bar: the bytes pass unchanged
// and the bar hears of the furthest byte read, never of a step back.

#include "patch/patch_input.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace binconv {
namespace {

TEST(ProgressInputTest, TellsTheFurthestByteRead) {
  std::vector<std::uint8_t> bytes(32);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  MemoryInput memory(bytes);
  std::vector<std::uint64_t> told;
  ProgressInput input(memory, [&](std::uint64_t done) { told.push_back(done); });
  std::vector<std::uint8_t> out(4);
  for (const std::uint64_t offset : {0, 2, 1, 20, 8}) {
    ASSERT_TRUE(input.ReadAt(offset, out).has_value());
    EXPECT_EQ(offset, out[0]);
  }
  EXPECT_FALSE(input.ReadAt(30, out).has_value());
  EXPECT_EQ((std::vector<std::uint64_t>{4, 6, 24}), told);
  EXPECT_EQ(32u, input.size());
}

}  // namespace
}  // namespace binconv
