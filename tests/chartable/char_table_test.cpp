#include "chartable/char_table.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "support/reference.h"

namespace binconv {
namespace {

std::string Describe(std::optional<CellCode> code) {
  if (!code) return "none";
  return "page " + std::to_string(code->page) + " row " + std::to_string(code->row) + " column " +
         std::to_string(code->column);
}

class CharTableIndexTest : public testing::TestWithParam<unsigned> {};

// Random tables drawn from a small alphabet, so duplicates, overwrites and
// multi-unit cells are common.
TEST_P(CharTableIndexTest, IndexGivesTheHitOfTheScan) {
  std::mt19937 rng(GetParam());
  const std::u16string alphabet = u"abc\u3042\u30A2\uFF21\U0001F600";  // a pair too
  CharTable table;
  std::uniform_int_distribution<int> cell(0, kCells - 1), letter(0, int(alphabet.size()) - 1),
      length(0, 3);
  for (int step = 0; step < 3000; ++step) {
    std::u16string text;
    for (int n = length(rng); n > 0; --n) text += alphabet[letter(rng)];
    const int i = cell(rng);
    table.SetCell(i / 256, i / 16 % 16, i % 16, text);
    if (step % 100 == 0 || step == 2999) {
      // The lookup as the table defines it: the reference model's scan.
      test::ReferenceModel scan(table);
      for (char16_t ch : alphabet) {
        ASSERT_EQ(Describe(table.Find(ch)), Describe(scan.Lookup(ch)))
            << "seed " << GetParam() << " step " << step << " U+" << std::hex << int(ch);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, CharTableIndexTest, testing::Values(1u, 2u, 3u, 42u, 1234u));

TEST(CharTableTest, StartsEmptyAndMatchesNothing) {
  CharTable table;
  for (char32_t u = 0; u <= 0xFFFF; ++u) ASSERT_FALSE(table.Find(char16_t(u)));
  EXPECT_TRUE(table.Cell(5, 15, 15).empty());
}

TEST(CharTableTest, OnlySingleUnitCellsMatch) {
  CharTable table;
  table.SetCell(0, 0, 0, u"ab");
  table.SetCell(0, 0, 1, u"");
  table.SetCell(1, 2, 3, u"a");
  EXPECT_EQ(table.Find(u'a'), (CellCode{1, 2, 3}));
  EXPECT_FALSE(table.Find(u'b'));
  EXPECT_EQ(table.Find(u'a')->byte(), 0x23);
}

TEST(CharTableTest, OverwritingTheFirstHitFallsBackToTheNext) {
  CharTable table;
  table.SetCell(0, 1, 0, u"x");
  table.SetCell(3, 0, 0, u"x");
  table.SetCell(0, 1, 0, u"y");
  EXPECT_EQ(table.Find(u'x'), (CellCode{3, 0, 0}));
  table.SetCell(3, 0, 0, u"");
  EXPECT_FALSE(table.Find(u'x'));
}

}  // namespace
}  // namespace binconv
