// One parser for a plan's entries and keyword lines: which line is which,
// which list a problem goes to, and where a plan that is not UTF-8 goes wrong.

#include "script/plan.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "support/gtest_support.h"

namespace binconv {
namespace {

using Lines = std::vector<std::pair<std::size_t, ProblemCode>>;

Lines LinesOf(const std::vector<Problem>& problems) {
  Lines lines;
  for (const Problem& p : problems) lines.emplace_back(p.line, p.code);
  return lines;
}

struct PlanCase {
  const char* name;
  std::string plan;
  std::size_t entries = 0;
  std::size_t scripts = 0;
  std::size_t spaces = 0;
  Lines entry_problems{};
  Lines script_problems{};
};

void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.name; }

class PlanParseTest : public testing::TestWithParam<PlanCase> {};

TEST_P(PlanParseTest, EachLineGoesToItsList) {
  const PlanCase& c = GetParam();
  auto plan = ParsePlan(c.plan, "plan.txt");
  ASSERT_TRUE(plan.has_value());
  EXPECT_EQ(plan.value().entries.size(), c.entries);
  EXPECT_EQ(plan.value().scripts.size(), c.scripts);
  EXPECT_EQ(plan.value().spaces.size(), c.spaces);
  EXPECT_EQ(LinesOf(plan.value().entry_problems), c.entry_problems);
  EXPECT_EQ(LinesOf(plan.value().script_problems), c.script_problems);
}

constexpr char kFormat[] = "format p u16le\n";
constexpr char kScript[] = "script s.txt table=0 count=2 format=p end=FF\n";

INSTANTIATE_TEST_SUITE_P(
    Plans, PlanParseTest,
    testing::Values(PlanCase{"EntriesAndKeywordLinesTogether",
                             std::string("0x10 4 a.txt\n") + kFormat +
                                 "space 0x100..0x1FF fill=00\n" + kScript + "20 4 \"b c.txt\" 00\n",
                             2, 1, 1},
                    // Formats are read before the scripts that name them.
                    PlanCase{"FormatAfterItsScript", std::string(kScript) + kFormat, 0, 1, 0},
                    PlanCase{"ByteOrderMarkAndCrLf",
                             "\xEF\xBB\xBF"
                             "0 1 a.txt\r\n\r\n# note\r\nformat p u16le\r\n",
                             1},
                    // A line that can't be split is the entries' problem, whatever it
                    // starts with: dump, which reads keyword lines only, never sees it.
                    PlanCase{"BadQuoteOnAKeywordLine",
                             std::string(kFormat) + "script \"s.txt table=0\n",
                             0,
                             0,
                             0,
                             {{2, ProblemCode::kBadLine}}},
                    PlanCase{"OnlyTheWholeWordIsAKeyword",
                             "formats p u16le\nScript s.txt\n",
                             0,
                             0,
                             0,
                             {{1, ProblemCode::kBadLine}, {2, ProblemCode::kBadLine}}},
                    PlanCase{"EachProblemInItsList",
                             std::string("0 0 a.txt\nspace 5..4\n") + kFormat +
                                 "script s.txt table=0 count=1 format=none end=FF\n1 2\n",
                             0,
                             0,
                             0,
                             {{1, ProblemCode::kBadLine}, {5, ProblemCode::kBadLine}},
                             {{2, ProblemCode::kBadLine}, {4, ProblemCode::kBadLine}}},
                    PlanCase{"ScriptFilesMustDiffer",
                             std::string(kFormat) + kScript +
                                 "script ./s.txt table=8 count=1 format=p end=FF\n" +
                                 "script plan.txt table=16 count=1 format=p end=FF\n",
                             0,
                             3,
                             0,
                             {},
                             {{3, ProblemCode::kSameFile}, {4, ProblemCode::kSameFile}}},
                    // One grow line, with a size and at most a fill; no box of 0.
                    PlanCase{"GrowAndTextBoxLines",
                             std::string(kFormat) +
                                 "grow 0x100 fill=00\ngrow 0x200\ngrow x\ngrow 1 fill=0\n"
                                 "script s.txt table=0 count=2 format=p end=FF width=0\n"
                                 "script t.txt table=0 count=2 format=p end=FF lines=3 width=20\n",
                             0,
                             1,
                             0,
                             {},
                             {{3, ProblemCode::kBadLine},
                              {4, ProblemCode::kBadLine},
                              {5, ProblemCode::kBadLine},
                              {6, ProblemCode::kBadLine}}},
                    // A space is named when its line goes past the range with more
                    // than fill=; a script may name one whose line comes later.
                    PlanCase{"SpaceNames",
                             "space low 0x100..0x1FF fill=00\nspace 0x200..0x2FF junk\n"
                             "space a.b 0x300..0x3FF\nspace 0x400..0x4FF fill=00 x\n" +
                                 std::string(kFormat) +
                                 "script s.txt table=0 count=2 format=p end=FF spaces=low,high\n"
                                 "script t.txt table=8 count=2 format=p end=FF spaces=low,\n"
                                 "space high 0x500..0x5FF\nspace low 0x600..0x6FF\n",
                             0,
                             1,
                             2,
                             {},
                             {{2, ProblemCode::kBadLine},
                              {3, ProblemCode::kBadLine},
                              {4, ProblemCode::kBadLine},
                              {7, ProblemCode::kBadLine},
                              {9, ProblemCode::kBadLine}}},
                    // Cut at the NUL, both scripts would be the file "s".
                    PlanCase{"NulInAName",
                             std::string(kFormat) + "script s" + '\0' +
                                 "a.txt table=0 count=1 format=p end=FF\nscript s" + '\0' +
                                 "b.txt table=8 count=1 format=p end=FF\n0 1 a" + '\0' + "\n",
                             0,
                             0,
                             0,
                             {{4, ProblemCode::kBadLine}},
                             {{2, ProblemCode::kBadLine}, {3, ProblemCode::kBadLine}}}),
    test::CaseName<PlanCase>);

TEST(PlanParseTest, ScriptWordsAreRead) {
  auto plan = ParsePlan(std::string(kFormat) +
                            "script s.txt lo=0x10 hi=0x20 count=3 format=p end=00 text=0x40..0x7F "
                            "layout=pack align=2 fill=FF skip=9,0x3 width=16 lines=3\n"
                            "grow 0x400 fill=00\n",
                        "dir/plan.txt");
  ASSERT_TRUE(plan.has_value());
  ASSERT_EQ(plan.value().scripts.size(), 1u);
  const ScriptSpec& def = plan.value().scripts[0];
  EXPECT_TRUE(def.split);
  EXPECT_EQ(def.table, 0x10u);
  EXPECT_EQ(def.hi, 0x20u);
  EXPECT_EQ(def.text->last, 0x7Fu);
  EXPECT_EQ(def.layout, ScriptLayout::kPack);
  EXPECT_EQ(def.fill, std::uint8_t{0xFF});
  EXPECT_EQ(def.skip, (std::vector<std::uint64_t>{3, 9}));
  EXPECT_EQ(std::pair(def.width, def.lines), std::pair(std::uint64_t{16}, std::uint64_t{3}));
  ASSERT_TRUE(plan.value().grow);
  EXPECT_EQ(std::pair(plan.value().grow->size, plan.value().grow->fill),
            std::pair(std::uint64_t{0x400}, std::uint8_t{0}));
  // Joined to the plan's folder as the system joins paths.
#ifdef _WIN32
  EXPECT_EQ(def.shown, "dir\\s.txt");
#else
  EXPECT_EQ(def.shown, "dir/s.txt");
#endif
}

// Nothing of a plan that is not UTF-8 is read; the place is counted in
// characters after the byte order mark, lines ending at CR too.
// Many scripts are checked against each other in one pass; the last names
// the first one's file again, through "./".
TEST(PlanParseTest, TenThousandScriptFilesAreComparedByName) {
  std::string plan = kFormat;
  for (int i = 0; i < 10000; ++i) {
    plan += "script s" + std::to_string(i) + ".txt table=" + std::to_string(2 * i) +
            " count=1 format=p end=FF\n";
  }
  plan += "script ./s0.txt table=20000 count=1 format=p end=FF\n";
  auto parsed = ParsePlan(plan, "plan.txt");
  ASSERT_TRUE(parsed.has_value());
  ASSERT_EQ(parsed.value().script_problems.size(), 1u);
  EXPECT_EQ(parsed.value().script_problems[0].line, 10002u);
  EXPECT_EQ(parsed.value().script_problems[0].other_line, 2u);
}

TEST(PlanParseTest, NotUtf8IsTheWholePlansError) {
  auto plan = ParsePlan(
      "\xEF\xBB\xBF"
      "0 1 a.txt\rformat \xE3\x81\x82\xFF\n",
      "plan.txt");
  ASSERT_FALSE(plan.has_value());
  EXPECT_EQ(plan.error().code, ProblemCode::kBadUtf8);
  EXPECT_EQ(plan.error().line, 2u);
  EXPECT_EQ(plan.error().column, 9u);
}

}  // namespace
}  // namespace binconv
