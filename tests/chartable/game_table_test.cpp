#include "chartable/game_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/hex.h"
#include "runtime/utf8.h"
#include "support/gtest_support.h"

namespace binconv {
namespace {

// The codes as a .tbl would write them back: kind mark, upper-case hex, the
// text in UTF-8 and a control's count; " | " between them.
std::string Written(const GameTable& table) {
  std::string out;
  for (const GameCode& code : table.codes()) {
    if (!out.empty()) out += " | ";
    constexpr std::string_view kMarks[] = {"", "/", "*", "$"};
    out += kMarks[static_cast<int>(code.kind)];
    for (const std::uint8_t b : code.bytes) AppendHexByte(b, out);
    out += "=" + EncodeUtf8(code.text);
    if (code.kind == GameCodeKind::kControl) out += "," + std::to_string(code.params);
    out += "@" + std::to_string(code.line);
  }
  return out;
}

struct ProblemAt {
  ProblemCode code;
  std::size_t line;
  std::size_t other_line = 0;
  std::size_t column = 0;
  friend bool operator==(const ProblemAt&, const ProblemAt&) = default;
};

void PrintTo(const ProblemAt& p, std::ostream* os) {
  *os << "{code " << static_cast<int>(p.code) << ", line " << p.line << ", other "
      << p.other_line << ", column " << p.column << "}";
}

struct ParseCase {
  std::string_view name;
  std::string tbl;
  std::string written;              // when it loads
  std::vector<ProblemAt> problems{};  // when it doesn't
};

class ParseGameTableTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseGameTableTest, LoadsOrListsEveryProblem) {
  const ParseCase& c = GetParam();
  const auto table = ParseGameTable(c.tbl, "g.tbl");
  if (c.problems.empty()) {
    ASSERT_TRUE(table.has_value()) << table.error().size() << " problems, first on line "
                                   << table.error().front().line;
    EXPECT_EQ(c.written, Written(*table));
    return;
  }
  ASSERT_FALSE(table.has_value()) << Written(*table);
  std::vector<ProblemAt> found;
  for (const Problem& p : table.error()) {
    EXPECT_EQ("g.tbl", p.file);
    found.push_back({p.code, p.line, p.other_line, p.column});
  }
  EXPECT_EQ(c.problems, found);
}

using P = ProblemCode;

INSTANTIATE_TEST_SUITE_P(
    Entries, ParseGameTableTest,
    testing::Values(
        ParseCase{"EveryKind",
                  "41=A\n/00=[end]\n/FF\n*0a\n*0B=\xE2\x96\xBC\n$fe=<wait>,1\n$F0=<x>,0\n",
                  "41=A@1 | /00=[end]@2 | /FF=@3 | *0A=@4 | *0B=\xE2\x96\xBC@5 | "
                  "$FE=<wait>,1@6 | $F0=<x>,0@7"},
        ParseCase{"LongCodesAndTexts", "01020304=abc\nAbCd==a=b\n8140= \n",
                  "01020304=abc@1 | ABCD==a=b@2 | 8140= @3"},
        ParseCase{"CommentsIdAndBlankSkipped",
                  "# c\n; c\n// c\n@main\n\n  \t\n41=A\n", "41=A@7"},
        ParseCase{"CrLfAndNoLastLineEnd", "41=A\r\n42=B\r\n43=C", "41=A@1 | 42=B@2 | 43=C@3"},
        ParseCase{"Utf8WithMark", "\xEF\xBB\xBF" "82A0=\xE3\x81\x82\n", "82A0=\xE3\x81\x82@1"},
        ParseCase{"Utf8WithoutMark", "82A0=\xE3\x81\x82\n", "82A0=\xE3\x81\x82@1"},
        ParseCase{"CodePage932", "82A0=\x82\xA0\r\n", "82A0=\xE3\x81\x82@1"},
        ParseCase{"DuplicateTextsAllowed", "41=A\n42=A\n", "41=A@1 | 42=A@2"},
        ParseCase{"ControlPrefixOfItselfOnly", "$FE=w,2\nFF=x\n", "$FE=w,2@1 | FF=x@2"},
        ParseCase{"DuplicateCodes",
                  "41=A\n/41\n*41\n4142=x\n",
                  "",
                  {{P::kTblDuplicateCode, 2, 1}, {P::kTblDuplicateCode, 3, 1}}},
        ParseCase{"BadCodes",
                  "123=x\n4G=x\n0102030405=x\n=x\n/\n*=y\n",
                  "",
                  {{P::kTblBadCode, 1},
                   {P::kTblBadCode, 2},
                   {P::kTblCodeTooLong, 3},
                   {P::kTblEmptyCode, 4},
                   {P::kTblEmptyCode, 5},
                   {P::kTblEmptyCode, 6}}},
        ParseCase{"BadEntries",
                  "41\n42=\n$43\n$44=w\n$45=w,9\n$46=w,x\n!01=t2\n",
                  "",
                  {{P::kTblNotAnEntry, 1},
                   {P::kTblNoText, 2},
                   {P::kTblBadParams, 3},
                   {P::kTblBadParams, 4},
                   {P::kTblBadParams, 5},
                   {P::kTblBadParams, 6},
                   {P::kTblSwitch, 7}}},
        ParseCase{"UnreachableAfterControl",
                  "FE01=x\n$FE=w,1\n/FE0203\n41=A\n",
                  "",
                  {{P::kTblUnreachable, 1, 2}, {P::kTblUnreachable, 3, 2}}},
        ParseCase{"BadUtf8AfterUtf8", "\xEF\xBB\xBF" "41=A\n42=\xE3\x81\n",
                  "",
                  {{P::kBadUtf8, 2, 0, 4}}}),
    test::CaseName<ParseCase>);

}  // namespace
}  // namespace binconv
