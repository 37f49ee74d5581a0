#include "chartable/check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "chartable/load.h"
#include "messages/messages.h"
#include "runtime/utf8.h"
#include "support/bytes.h"
#include "support/files.h"

namespace binconv {
namespace {

using test::Utf8TableFile;

// A data line with the given cells and the rest empty.
std::string Row(const std::map<int, std::string>& cells = {}) { return test::TableRow(cells); }

// `count` empty data lines, to move on to a later row or page.
std::vector<std::string> Rows(int count, std::vector<std::string> then = {}) {
  std::vector<std::string> lines(static_cast<std::size_t>(count), Row());
  lines.insert(lines.end(), then.begin(), then.end());
  return lines;
}

struct CheckCase {
  const char* name;
  std::vector<std::string> main;
  std::vector<std::string> extended;
  std::vector<std::string> expected;  // the English of each finding, in order
};

class CheckTablesTest : public testing::TestWithParam<CheckCase> {};

TEST_P(CheckTablesTest, FindingsNameFileLineColumnCharAndCode) {
  const CheckCase& c = GetParam();
  auto table = LoadCharTablesFromBytes(Utf8TableFile(c.main), Utf8TableFile(c.extended), "main.ini",
                                       "ex.ini");
  ASSERT_TRUE(table.has_value()) << messages::Message(messages::Language::kEnglish, table.error());
  const TableCheck check = CheckCharTable(table.value());
  std::vector<std::string> described;
  for (const TableFinding& finding : check.findings) {
    described.push_back(
        messages::Message(messages::Language::kEnglish, finding, {"main.ini", "ex.ini"}));
  }
  EXPECT_EQ(c.expected, described);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckTablesTest,
    testing::Values(
        CheckCase{"Clean", {"/ comment", Row({{0, "a"}, {1, "b"}}), Row({{0, "c"}})}, {}, {}},
        CheckCase{"MultiChar",
                  {"/ comment", Row({{2, "ab"}})},
                  {},
                  {"main.ini:2:5: 'ab' (U+0061 U+0062) at code 02 holds 2 characters; only a "
                   "cell of one character is ever produced"}},
        CheckCase{"ShadowedInOneRow",
                  {Row({{1, "\u3042"}, {9, ""}}), Row({{4, "\u3042"}})},
                  {},
                  {"main.ini:2:7: '\u3042' (U+3042) at code 14 is never produced: the same "
                   "character at code 01 (main.ini:1:4) comes first"}},
        CheckCase{"ShadowedAcrossFiles",
                  Rows(16, {Row({{3, "x"}})}),
                  {"", Row({{3, "x"}})},
                  {"ex.ini:2:6: 'x' (U+0078) at code 18 03 is never produced: the same "
                   "character at code 20 03 (main.ini:17:6) comes first"}},
        CheckCase{"EveryDuplicateAfterTheFirst",
                  {Row({{0, "z"}, {5, "z"}}), Row({{5, "z"}})},
                  {},
                  {"main.ini:1:9: 'z' (U+007A) at code 05 is never produced: the same "
                   "character at code 00 (main.ini:1:3) comes first",
                   "main.ini:2:8: 'z' (U+007A) at code 15 is never produced: the same "
                   "character at code 00 (main.ini:1:3) comes first"}},
        CheckCase{"Intercepted",
                  Rows(16, {Row({{0, "<"}}), Row({{1, ">"}}), Row({{2, "\uFF1C"}}),
                            Row({{3, "\uFF1E"}}), Row({{4, "\u3000"}}), Row({{5, "\u9C2F"}})}),
                  {},
                  {"main.ini:17:3: '<' (U+003C) at code 20 00 is never produced: conversion "
                   "always makes it the start of a tag",
                   "main.ini:18:4: '>' (U+003E) at code 20 11 is never produced: conversion "
                   "always makes it the end of a tag",
                   "main.ini:19:5: '\uFF1C' (U+FF1C) at code 20 22 is never produced: "
                   "conversion always makes it the start of a tag",
                   "main.ini:20:6: '\uFF1E' (U+FF1E) at code 20 33 is never produced: "
                   "conversion always makes it the end of a tag",
                   "main.ini:21:7: '\u3000' (U+3000) at code 20 44 is never produced: "
                   "conversion always makes it a space (50)",
                   "main.ini:22:8: '\u9C2F' (U+9C2F) at code 20 55 is never produced: "
                   "conversion always makes it a line break (24)"}},
        CheckCase{"ReservedBytesOnPage0Only",
                  {Row(), Row({{8, "a"}}),
                   Row({{0, "b"}, {1, "c"}, {2, "d"}, {3, "e"}, {4, "f"}, {5, "g"}}), Row(), Row(),
                   Row({{0, "h"}, {1, "i"}})},
                  {Row(), Row({{8, "j"}}), Row({{1, "k"}})},
                  {"main.ini:2:11: 'a' (U+0061) at code 18 is on page 0, but a game reads byte "
                   "18 as the lead byte of page 5",
                   "main.ini:3:3: 'b' (U+0062) at code 20 is on page 0, but a game reads byte 20 "
                   "as the lead byte of page 1",
                   "main.ini:3:5: 'c' (U+0063) at code 21 is on page 0, but a game reads byte 21 "
                   "as the lead byte of page 2",
                   "main.ini:3:7: 'd' (U+0064) at code 22 is on page 0, but a game reads byte 22 "
                   "as the lead byte of page 3",
                   "main.ini:3:9: 'e' (U+0065) at code 23 is on page 0, but a game reads byte 23 "
                   "as the lead byte of page 4",
                   "main.ini:3:11: 'f' (U+0066) at code 24 is on page 0, but a game reads byte "
                   "24 as a line break",
                   "main.ini:6:3: 'h' (U+0068) at code 50 is on page 0, but a game reads byte 50 "
                   "as a space"}},
        CheckCase{"TwoFindingsForOneCell",
                  {Row(), Row(), Row({{1, "\uFF1C"}})},
                  {},
                  {"main.ini:3:4: '\uFF1C' (U+FF1C) at code 21 is never produced: conversion "
                   "always makes it the start of a tag",
                   "main.ini:3:4: '\uFF1C' (U+FF1C) at code 21 is on page 0, but a game reads "
                   "byte 21 as the lead byte of page 2"}}),
    [](const testing::TestParamInfo<CheckCase>& p) { return std::string(p.param.name); });

TEST(CheckSummaryTest, UsageByPageAndDuplicates) {
  // Page 0: a, a again, ab, < and c, < again at row 15; page 1: a again, b;
  // page 5: b again.
  std::vector<std::string> main = {Row({{0, "a"}, {1, "a"}, {2, "ab"}, {3, "<"}}), Row({{0, "c"}})};
  const std::vector<std::string> rest = Rows(13, {Row({{0, "<"}}), Row({{0, "a"}, {1, "b"}})});
  main.insert(main.end(), rest.begin(), rest.end());
  auto table = LoadCharTablesFromBytes(Utf8TableFile(main), Utf8TableFile({Row({{7, "b"}})}));
  ASSERT_TRUE(table.has_value()) << messages::Message(messages::Language::kEnglish, table.error());
  const TableCheck check = CheckCharTable(table.value());
  EXPECT_EQ(check.pages[0].used, 6);
  EXPECT_EQ(check.pages[0].producible, 2);  // the first a, and c
  EXPECT_EQ(check.pages[1].used, 2);
  EXPECT_EQ(check.pages[1].producible, 1);  // b
  EXPECT_EQ(check.pages[5].used, 1);
  EXPECT_EQ(check.pages[5].producible, 0);
  for (const int page : {2, 3, 4}) EXPECT_EQ(check.pages[page].used, 0);

  ASSERT_EQ(check.duplicates.size(), 3u);
  EXPECT_EQ(check.duplicates[0].ch, u'a');
  EXPECT_EQ(check.duplicates[0].cells, (std::vector<CellCode>{{0, 0, 0}, {0, 0, 1}, {1, 0, 0}}));
  EXPECT_EQ(check.duplicates[1].ch, u'<');
  EXPECT_EQ(check.duplicates[1].cells, (std::vector<CellCode>{{0, 0, 3}, {0, 15, 0}}));
  EXPECT_EQ(check.duplicates[2].ch, u'b');
  EXPECT_EQ(check.duplicates[2].cells, (std::vector<CellCode>{{1, 0, 1}, {5, 0, 7}}));
}

TEST(CheckSummaryTest, DefaultTablesAreClean) {
  const TableCheck check = CheckCharTable(test::DefaultTables());
  for (const TableFinding& finding : check.findings) {
    ADD_FAILURE() << messages::Message(messages::Language::kEnglish, finding,
                                       {kMainTableFile, kExtendedTableFile});
  }
  EXPECT_TRUE(check.duplicates.empty());
  for (int page = 0; page < kPages; ++page) {
    EXPECT_EQ(check.pages[page].used, check.pages[page].producible) << "page " << page;
  }
}

}  // namespace
}  // namespace binconv
