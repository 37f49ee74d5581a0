#include "script/text_box.h"

#include <gtest/gtest.h>

#include "chartable/tbl.h"
#include "support/files.h"
#include "support/gtest_support.h"

namespace binconv {
namespace {

struct BoxCase {
  const char* name;
  std::string lines;  // the entry's text lines, LF between them
  TextBox box;
  bool own = false;  // the .tbl below, with its <page> box break
  std::vector<std::tuple<ProblemCode, std::size_t, std::size_t>> problems{};  // line, column
};

void PrintTo(const BoxCase& c, std::ostream* os) { *os << c.name; }

class TextBoxTest : public testing::TestWithParam<BoxCase> {};

TEST_P(TextBoxTest, EveryLineOverALimit) {
  const BoxCase& c = GetParam();
  static const GameTable own =
      ParseGameTable("10=あ\n11=い\n*FD\n*FC=<page>\n/FF=<end>\n", "g.tbl").value();
  const GameTable& own_codec = own;
  const std::string file = "#binconv script 1\n@0\n" + c.lines + "\n";
  std::vector<Problem> problems;
  const ScriptFileContents contents = ParseScriptFile(file, "s.txt", problems);
  ASSERT_TRUE(problems.empty());
  CheckTextBox(contents.entries.at(0), c.box, c.own ? own_codec : test::DefaultEncoding(), "s.txt",
               problems);
  std::vector<std::tuple<ProblemCode, std::size_t, std::size_t>> found;
  for (const Problem& p : problems) found.emplace_back(p.code, p.line, p.column);
  EXPECT_EQ(found, c.problems);
}

constexpr auto kWide = ProblemCode::kTooWide;
constexpr auto kMany = ProblemCode::kTooManyLines;

INSTANTIATE_TEST_SUITE_P(
    Boxes, TextBoxTest,
    testing::Values(BoxCase{"NoLimits", "あいうえお\nか\nき", {}},
                    BoxCase{"WidthReached", "あいう\nかき", {3, 0}},
                    // The column is that of the first character past the width.
                    BoxCase{"EachWideLine", "あいうえ\nか\nきくけこさ", {3, 0}, false,
                            {{kWide, 3, 4}, {kWide, 5, 4}}},
                    // A tag shows no character of its own.
                    BoxCase{"TagsTakeNoWidth", "<wait><1E>あい<24>う", {3, 0}},
                    BoxCase{"UnclosedTagIsText", "あ<い", {2, 0}, false, {{kWide, 3, 3}}},
                    BoxCase{"LinesPastTheBox", "あ\nい\nう\nえ", {0, 2}, false,
                            {{kMany, 5, 1}, {kMany, 6, 1}}},
                    // A break with a text of its own starts the next box.
                    BoxCase{"PageStartsABox", "あ\nい<page>\nあ\nい", {0, 2}, true},
                    BoxCase{"PageThenTooMany", "あ<page>\nあ\nい\nい", {0, 2}, true,
                            {{kMany, 6, 1}}},
                    BoxCase{"BothOnOneLine", "あ\nいいい", {2, 1}, false,
                            {{kWide, 4, 3}, {kMany, 4, 1}}},
                    // A tag of line-break codes breaks the line for both limits.
                    BoxCase{"BreakTagsCountAsLines", "あ<FD>い<fd>あ", {0, 2}, true,
                            {{kMany, 3, 11}}},
                    BoxCase{"BreakTagSplitsTheWidth", "あいい<FD>あいいあい", {4, 0}, true,
                            {{kWide, 3, 12}}},
                    BoxCase{"DefaultBreakByteInATag", "あ<24>い", {0, 1}, false, {{kMany, 3, 6}}},
                    // As bytes, a page break is followed by the typed break's own.
                    BoxCase{"HexPageKeepsTheTypedBreak", "あ<FC>\nい", {0, 1}, true,
                            {{kMany, 4, 1}}}),
    test::CaseName<BoxCase>);

}  // namespace
}  // namespace binconv
