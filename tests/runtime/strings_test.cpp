#include "runtime/strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/reference.h"

namespace binconv {
namespace {

std::vector<std::u16string> Pieces(std::u16string_view s, std::u16string_view d,
                                   std::size_t max_pieces) {
  std::vector<std::u16string> out;
  for (std::u16string_view p : Split(s, d, max_pieces)) out.emplace_back(p);
  return out;
}

struct SplitCase {
  std::u16string input;
  std::u16string delimiter;
  std::vector<std::u16string> pieces;
  std::size_t max_pieces = SIZE_MAX;
};

class SplitTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, GivesEveryPieceInOrder) {
  EXPECT_EQ(Pieces(GetParam().input, GetParam().delimiter, GetParam().max_pieces),
            GetParam().pieces);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitTest,
    testing::Values(
        SplitCase{u"a,b,c", u",", {u"a", u"b", u"c"}}, SplitCase{u"", u",", {u""}},
        SplitCase{u",", u",", {u"", u""}}, SplitCase{u"a,,b,", u",", {u"a", u"", u"b", u""}},
        SplitCase{u"a\uFF0Cb", u",", {u"a", u"b"}},  // the wide comma splits too
        SplitCase{u"abc", u"", {u"abc"}},
        SplitCase{u"xABy", u"ab", {u"x", u"y"}},  // letters fold case
        SplitCase{u"a\u3001b", u",", {u"a\u3001b"}},
        // A limit stops the search; the last piece ends at its comma.
        SplitCase{u"a,b,c,d", u",", {u"a", u"b"}, 2}, SplitCase{u"a,b", u",", {u"a", u"b"}, 2},
        SplitCase{u"a,b,", u",", {u"a", u"b"}, 2}, SplitCase{u"a\uFF0Cb", u",", {u"a", u"b"}, 3}));

struct ReplaceCase {
  std::u16string input, search, replacement, expected;
};

class ReplaceAllTest : public testing::TestWithParam<ReplaceCase> {};

// The reference model's replacement (tests/support), on FindText's search.
TEST_P(ReplaceAllTest, ReplacesLeftToRightWithoutOverlap) {
  const ReplaceCase& c = GetParam();
  EXPECT_EQ(test::ReplaceAll(c.input, c.search, c.replacement), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceAllTest,
    testing::Values(ReplaceCase{u"a\r\nb\r\n", u"\r\n", u"\u9C2F", u"a\u9C2Fb\u9C2F"},
                    ReplaceCase{u"\r\r\n\n", u"\r\n", u"|", u"\r|\n"},
                    ReplaceCase{u"aaa", u"aa", u"b", u"ba"},
                    ReplaceCase{u"a \u3000b", u" ", u"", u"ab"},
                    ReplaceCase{u"abc", u"", u"x", u"abc"}, ReplaceCase{u"", u"x", u"y", u""}));

struct TrimCase {
  std::u16string input, expected;
};

class TrimTest : public testing::TestWithParam<TrimCase> {};

TEST_P(TrimTest, RemovesOnlyOuterAsciiSpaces) {
  EXPECT_EQ(std::u16string(Trim(GetParam().input)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, TrimTest,
                         testing::Values(TrimCase{u"  a b  ", u"a b"}, TrimCase{u"   ", u""},
                                         TrimCase{u"", u""},
                                         TrimCase{u"\u3000a\u3000", u"\u3000a\u3000"},
                                         TrimCase{u"\ta\t", u"\ta\t"}, TrimCase{u" x", u"x"}));

}  // namespace
}  // namespace binconv
