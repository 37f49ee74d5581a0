#include "chartable/byte_reader.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "support/gtest_support.h"

namespace binconv {
namespace {

struct UnitCase {
  std::string_view name;
  std::vector<std::uint8_t> bytes;
  UnitKind kind;
  int page;  // of the cell, for kCode
  std::uint8_t cell_byte;
  std::size_t size;
};

class ReadUnitTest : public testing::TestWithParam<UnitCase> {};

TEST_P(ReadUnitTest, ReadsTheUnitAtTheStart) {
  const UnitCase& c = GetParam();
  for (const GameUnit& unit : {ReadUnit(c.bytes), detail::ReadUnitByRule(c.bytes)}) {
    EXPECT_EQ(c.kind, unit.kind);
    EXPECT_EQ(c.size, unit.size);
    if (c.kind == UnitKind::kCode) {
      EXPECT_EQ(detail::CellOfByte(c.page, c.cell_byte), unit.code);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Units, ReadUnitTest,
    testing::Values(UnitCase{"PageZero", {0x41, 0x20}, UnitKind::kCode, 0, 0x41, 1},
                    UnitCase{"LeadTakesTheNext", {0x20, 0x41, 0x42}, UnitKind::kCode, 1, 0x41, 2},
                    UnitCase{"LastLeadIsPageFive", {0x18, 0x00}, UnitKind::kCode, 5, 0x00, 2},
                    // After a lead byte, 24 and 50 are cells like any other.
                    UnitCase{"TrailIsNeverABreak", {0x23, 0x24}, UnitKind::kCode, 4, 0x24, 2},
                    UnitCase{"LineBreak", {0x24, 0x41}, UnitKind::kLineBreak, 0, 0, 1},
                    UnitCase{"Space", {0x50, 0x20}, UnitKind::kSpace, 0, 0, 1},
                    UnitCase{"LoneLeadIsCut", {0x22}, UnitKind::kCut, 0, 0, 1}),
    test::CaseName<UnitCase>);

// The table must read every pair of bytes, and every lone byte, as the rule
// does; UnitBounds, fed the pair a byte at a time, must find the same ends.
TEST(ReadUnitTableTest, AgreesWithThePlainRuleOnEveryPair) {
  int leads = 0;
  for (int first = 0; first < 256; ++first) {
    const std::uint8_t alone[] = {static_cast<std::uint8_t>(first)};
    ASSERT_EQ(detail::ReadUnitByRule(alone), ReadUnit(alone)) << first;
    if (ReadUnit(alone).kind == UnitKind::kCut) ++leads;
    for (int second = 0; second < 256; ++second) {
      const std::uint8_t pair[] = {alone[0], static_cast<std::uint8_t>(second), 0x41};
      const GameUnit unit = ReadUnit(std::span(pair, 2));
      ASSERT_EQ(detail::ReadUnitByRule(pair), ReadUnit(pair)) << first << " " << second;
      ASSERT_EQ(unit, ReadUnit(pair)) << first << " " << second;
      UnitBounds bounds;
      ASSERT_TRUE(bounds.Feed(pair[0]));
      ASSERT_EQ(unit.size == 1, bounds.Feed(pair[1])) << first << " " << second;
      ASSERT_EQ(unit.size == 1 && ReadUnit(std::span(pair + 1, 1)).kind == UnitKind::kCut,
                bounds.InsideUnit())
          << first << " " << second;
    }
  }
  EXPECT_EQ(kPages - 1, leads);
}

}  // namespace
}  // namespace binconv
