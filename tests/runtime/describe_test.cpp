#include "runtime/describe.h"

#include <gtest/gtest.h>

namespace binconv {
namespace {

struct DescribeCase {
  std::u16string_view text;
  const char* described;
};

class DescribeTextTest : public testing::TestWithParam<DescribeCase> {};

// Characters by code point; what a terminal can't show stands as U+FFFD.
TEST_P(DescribeTextTest, ByCodePoint) {
  EXPECT_EQ(DescribeText(GetParam().text), GetParam().described);
  if (GetParam().text.size() == 1) {
    EXPECT_EQ(DescribeChar(GetParam().text[0]), GetParam().described);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DescribeTextTest,
    testing::Values(DescribeCase{u"ab", "'ab' (U+0061 U+0062)"},
                    DescribeCase{u"\U0001F600", "'\xF0\x9F\x98\x80' (U+1F600)"},
                    DescribeCase{u"\t", "'\xEF\xBF\xBD' (U+0009)"},
                    DescribeCase{u"\u0085", "'\xEF\xBF\xBD' (U+0085)"},
                    DescribeCase{u"\u00A0", "'\xC2\xA0' (U+00A0)"},
                    DescribeCase{u"a\x7F", "'a\xEF\xBF\xBD' (U+0061 U+007F)"},
                    DescribeCase{u"\xDE00\xD83D", "'\xEF\xBF\xBD\xEF\xBF\xBD' (U+DE00 U+D83D)"}));

TEST(DescribeCharTest, PastUnicodeIsNotShown) {
  EXPECT_EQ(DescribeChar(0x110000), "'\xEF\xBF\xBD' (U+110000)");
}

}  // namespace
}  // namespace binconv
