#include "chartable/game_table.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "chartable/tbl.h"
#include "support/bytes.h"

namespace binconv {
namespace {

// The reader's tables answer as ReadUnit does, for every string of up to
// three bytes over few values, so that codes begin alike, cut or whole; and
// now and then a code longer than those, which leaves its start cut.
TEST(GameUnitReaderTest, AnswersAsReadUnit) {
  std::mt19937 rng(515);
  constexpr int kValues = 5;
  for (int round = 0; round < 200; ++round) {
    std::vector<GameCode> codes;
    std::set<std::vector<std::uint8_t>> taken;
    for (int i = 0, n = 1 + static_cast<int>(rng() % 12); i < n; ++i) {
      GameCode code;
      code.kind = static_cast<GameCodeKind>(rng() % 4);
      const std::size_t length = rng() % 8 == 0 ? 1 + rng() % kMaxGameCodeBytes : 1 + rng() % 4;
      for (std::size_t left = length; left > 0; --left) {
        code.bytes.push_back(static_cast<std::uint8_t>(rng() % kValues));
      }
      if (code.kind == GameCodeKind::kControl) code.params = static_cast<std::uint8_t>(rng() % 4);
      if (taken.insert(code.bytes).second) codes.push_back(std::move(code));
    }
    const GameTable table(std::move(codes));
    const GameUnitReader& reader = table.reader();
    std::vector<std::vector<std::uint8_t>> strings{{}};
    for (std::size_t at = 0; at < strings.size() && strings.size() < 200; ++at) {
      for (std::uint8_t b = 0; b <= kValues; ++b) {
        strings.push_back(strings[at]);
        strings.back().push_back(b);
      }
    }
    for (const std::vector<std::uint8_t>& bytes : strings) {
      for (const bool at_end : {false, true}) {
        if (bytes.empty()) continue;
        ASSERT_EQ(table.ReadUnit(bytes, at_end), reader.ReadUnit(bytes, at_end))
            << test::Hex(bytes) << " at_end " << at_end << "\n" << WriteTbl(table.codes()).bytes;
      }
    }
  }
}

// Bytes of every length about where they leave their place for a block of
// the heap: copied, moved and assigned over bytes of the other kind, and
// grown past it a byte at a time, they stay the same bytes (and, under the
// sanitizers, no block is lost or freed twice).
class CodeBytesTest : public testing::TestWithParam<std::size_t> {};

TEST_P(CodeBytesTest, KeepTheirBytesHeldEitherWay) {
  std::vector<std::uint8_t> want;
  for (std::size_t i = 0; i < GetParam(); ++i) want.push_back(static_cast<std::uint8_t>(0xA0 + i));
  const CodeBytes bytes(want);
  EXPECT_EQ(want, std::vector<std::uint8_t>(bytes));
  CodeBytes grown;
  for (const std::uint8_t b : want) grown.push_back(b);
  EXPECT_EQ(bytes, grown);
  for (const std::size_t other : {std::size_t{1}, std::size_t{20}}) {
    CodeBytes copy(std::vector<std::uint8_t>(other, 7));
    copy = bytes;
    EXPECT_EQ(want, std::vector<std::uint8_t>(copy));
    CodeBytes moved(std::vector<std::uint8_t>(other, 7));
    moved = std::move(copy);
    EXPECT_EQ(want, std::vector<std::uint8_t>(moved));
    EXPECT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move): moved from is empty
    const CodeBytes taken(std::move(moved));
    EXPECT_EQ(bytes, taken);
    EXPECT_FALSE(taken == CodeBytes(std::vector<std::uint8_t>(other, 7)));
  }
}

INSTANTIATE_TEST_SUITE_P(Lengths, CodeBytesTest,
                         testing::Values(1, 13, 14, 15, 16, kMaxGameCodeBytes));

}  // namespace
}  // namespace binconv
