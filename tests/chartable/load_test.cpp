#include "chartable/load.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>

#include "messages/messages.h"
#include "runtime/cp932.h"
#include "runtime/file.h"
#include "runtime/utf8.h"
#include "support/files.h"

namespace binconv {
namespace {

// A data line whose 16 cells are `prefix` followed by the column in hex, e.g. "r0".
std::string DataLine(const std::string& prefix, const std::string& eol = "\r\n") {
  std::string line = "label";
  for (int c = 0; c < 16; ++c) line += "," + prefix + "0123456789ABCDEF"[c];
  return line + eol;
}

// `count` data lines whose cells name their line: "a0".."aF", "b0"..., cycling.
std::string DataLines(int count, char first = 'a') {
  std::string out;
  for (int i = 0; i < count; ++i)
    out += DataLine(std::string(1, char(first + i % 26)) + std::to_string(i));
  return out;
}

std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

CharTable MustLoad(const std::string& main, const std::string& ext) {
  auto result = LoadCharTablesFromBytes(main, ext);
  if (!result) ADD_FAILURE() << messages::Message(messages::Language::kEnglish, result.error());
  return result ? std::move(result).value() : CharTable();
}

TEST(LoadCharTablesTest, EightyAndSixteenDataLinesFillAllSixPages) {
  const CharTable t = MustLoad(DataLines(80), DataLines(16, 'A'));
  EXPECT_EQ(t.Cell(0, 0, 0), U16("a00"));
  EXPECT_EQ(t.Cell(4, 15, 15), U16("b79F"));  // line 79 (0-based): letter 'a'+79%26
  EXPECT_EQ(t.Cell(5, 0, 0), U16("A00"));
  EXPECT_EQ(t.Cell(5, 15, 15), U16("P15F"));
}

TEST(LoadCharTablesTest, ShortMainTableLeavesTheRestEmpty) {
  const CharTable t = MustLoad(DataLines(3), "");
  EXPECT_EQ(t.Cell(0, 2, 1), U16("c21"));
  EXPECT_TRUE(t.Cell(0, 3, 0).empty());
  EXPECT_TRUE(t.Cell(4, 15, 15).empty());
}

TEST(LoadCharTablesTest, ExtendedTableReplacesOnlyItsRowsOfPageFive) {
  const CharTable t = MustLoad(DataLines(85), DataLines(3, 'X'));
  EXPECT_EQ(t.Cell(5, 0, 0), U16("X00"));
  EXPECT_EQ(t.Cell(5, 2, 15), U16("Z2F"));
  EXPECT_EQ(t.Cell(5, 3, 0), U16("f830"));  // main line 83 keeps row 3
  EXPECT_EQ(t.Cell(5, 4, 0), U16("g840"));
  EXPECT_TRUE(t.Cell(5, 5, 0).empty());
}

TEST(LoadCharTablesTest, CommentsAndBlankLinesDoNotAdvanceTheRow) {
  const std::string main = "/ comment\r\n\x81\x5E wide-solidus comment\r\n     \r\n\r\n" +
                           DataLine("p") + "/,x\r\n" + DataLine("q");
  const CharTable t = MustLoad(main, "");
  EXPECT_EQ(t.Cell(0, 0, 0), U16("p0"));
  EXPECT_EQ(t.Cell(0, 1, 0), U16("q0"));
}

TEST(LoadCharTablesTest, ASpaceBeforeTheSlashMakesADataLine) {
  auto result = LoadCharTablesFromBytes(" / not a comment\r\n", "");
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().code, ProblemCode::kTableFewFields);
  EXPECT_EQ(result.error().number, 1u);
}

TEST(LoadCharTablesTest, CellsAreTrimmedDecodedAndSplitAtWideCommas) {
  // Cell 0 is "  あ  "; cell 1 holds a wide comma, which splits it and shifts the rest.
  std::string line = "L,  \x82\xA0  ,x\x81\x43y";
  for (int c = 2; c < 16; ++c) line += ",c" + std::to_string(c);
  const CharTable t = MustLoad(line + ",extra", "");
  EXPECT_EQ(t.Cell(0, 0, 0), u"\u3042");
  EXPECT_EQ(t.Cell(0, 0, 1), u"x");
  EXPECT_EQ(t.Cell(0, 0, 2), u"y");
  EXPECT_EQ(t.Cell(0, 0, 3), u"c2");
  EXPECT_EQ(t.Origin(0, 0, 0).line, 1u);
  EXPECT_EQ(t.Origin(0, 0, 0).column, 5u);  // where "あ" stands on the line
  EXPECT_EQ(t.Find(u'\u3042'), (CellCode{0, 0, 0}));
}

TEST(LoadCharTablesTest, LineEndsOfEveryKindAndNoFinalLineEnd) {
  const std::string main = DataLine("a", "\r") + DataLine("b", "\n") + DataLine("c", "");
  const CharTable t = MustLoad(main, "");
  EXPECT_EQ(t.Cell(0, 2, 0), U16("c0"));
  EXPECT_TRUE(t.Cell(0, 3, 0).empty());
}

TEST(LoadCharTablesTest, Utf8ByteOrderMarkSwitchesToUtf8) {
  std::string line = "\xEF\xBB\xBFL,\xE3\x81\x82";  // "あ" in UTF-8
  for (int c = 1; c < 16; ++c) line += ",u" + std::to_string(c);
  const CharTable t = MustLoad(line, "");
  EXPECT_EQ(t.Cell(0, 0, 0), u"\u3042");
}

struct ErrorCase {
  std::string name;
  std::string main;
  std::string ext;
  ProblemCode code;
  std::string message;  // the English message, exactly
};

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

class LoadErrorTest : public testing::TestWithParam<ErrorCase> {};

TEST_P(LoadErrorTest, NamesFileLineAndProblem) {
  auto result = LoadCharTablesFromBytes(GetParam().main, GetParam().ext);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().code, GetParam().code);
  EXPECT_EQ(messages::Message(messages::Language::kEnglish, result.error()), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, LoadErrorTest,
    testing::Values(
        ErrorCase{"TooFewFields", "/c\r\n" + DataLine("a") + "L,1,2,3\r\n", "",
                  ProblemCode::kTableFewFields, "Zezovar.ini:3: needs at least 17 fields, found 4"},
        ErrorCase{"MainBeyond96", DataLines(96) + "/ fine\r\n\r\n" + DataLine("z"), "",
                  ProblemCode::kTableManyLines,
                  "Zezovar.ini:99: one data line too many: the file holds at most 96 data lines"},
        ErrorCase{"ExtendedBeyond16", DataLines(2), DataLines(17), ProblemCode::kTableManyLines,
                  "Zezovar_ex.ini:17: one data line too many: the file holds at most 16 data "
                  "lines"},
        ErrorCase{"BadUtf8", "\xEF\xBB\xBF/ ok\r\nL,\xC3\x28", "", ProblemCode::kTableBadUtf8Marked,
                  "Zezovar.ini:2:3: invalid UTF-8 in a file read as UTF-8 (it starts with a "
                  "byte order mark, or its text before this point is UTF-8)"},
        // A code page 932 character pasted into a UTF-8 file: found, not
        // taken for a reason to read the whole file as code page 932.
        ErrorCase{"DamagedUtf8WithoutMark", "/ " + Repeat("\xE3\x81\x82", 16) + "\r\nL,\x82\xA0",
                  "", ProblemCode::kTableBadUtf8,
                  "Zezovar.ini:2:3: invalid UTF-8 in a file read as UTF-8 (it starts with a "
                  "byte order mark, or its text before this point is UTF-8)"}),
    [](const testing::TestParamInfo<ErrorCase>& param) { return param.param.name; });

TEST(LoadErrorTest, LimitsAreHarmlessWithoutAnotherDataLine) {
  EXPECT_TRUE(LoadCharTablesFromBytes(DataLines(96) + "/ end\r\n   \r\n", DataLines(16) + "/x"));
}

class LoadFromDirectoryTest : public testing::Test {
 protected:
  void Put(const char* name, const std::string& bytes) { test::WriteAll(dir_ / name, bytes); }
  test::ScratchDir scratch_;
  const std::filesystem::path dir_ = scratch_.path();
};

TEST_F(LoadFromDirectoryTest, MissingMainFileIsNamed) {
  Put(kExtendedTableFile, DataLines(1));
  auto result = LoadCharTables(dir_);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().code, ProblemCode::kTableUnreadable);
  EXPECT_EQ(result.error().file, PathToUtf8(dir_ / kMainTableFile));
  EXPECT_NE(messages::Message(messages::Language::kEnglish, result.error())
                .find("Zezovar.ini: cannot open"),
            std::string::npos);
}

TEST_F(LoadFromDirectoryTest, MainFileFaultIsReportedBeforeAMissingExtendedFile) {
  Put(kMainTableFile, "L,1\r\n");
  auto result = LoadCharTables(dir_);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().code, ProblemCode::kTableFewFields);
  Put(kMainTableFile, DataLine("a"));
  result = LoadCharTables(dir_);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().code, ProblemCode::kTableUnreadable);
  EXPECT_EQ(result.error().file, PathToUtf8(dir_ / kExtendedTableFile));
}

TEST(DefaultTablesTest, LoadAndFillEveryPage) {
  auto result = LoadCharTables(std::filesystem::path(BINCONV_SOURCE_DIR) / "tables");
  ASSERT_TRUE(result) << messages::Message(messages::Language::kEnglish, result.error());
  for (int page = 0; page < kPages; ++page) {
    EXPECT_FALSE(result.value().Cell(page, 15, 15).empty()) << "page " << page;
  }
  EXPECT_TRUE(result.value().Find(u'\u3042'));  // hiragana a
  // Common kanji that a choice by school grade left out.
  for (const char16_t kanji : std::u16string_view(u"了索削更択致項")) {
    EXPECT_TRUE(result.value().Find(kanji)) << static_cast<unsigned>(kanji);
  }
}

// The default tables as a modern editor saves them, UTF-8 without a mark,
// give the very same grid, and the encodings are told apart.
TEST_F(LoadFromDirectoryTest, DefaultTablesSavedAsUtf8ReadTheSame) {
  const std::filesystem::path defaults = std::filesystem::path(BINCONV_SOURCE_DIR) / "tables";
  auto original = LoadTableFiles(defaults);
  ASSERT_TRUE(original) << messages::Message(messages::Language::kEnglish, original.error());
  EXPECT_EQ(original.value().encodings, (std::array{TextEncoding::kCp932, TextEncoding::kCp932}));
  for (const char* name : {kMainTableFile, kExtendedTableFile}) {
    auto bytes = ReadFileBytes(defaults / name);
    ASSERT_TRUE(bytes);
    Put(name, EncodeUtf8(DecodeCp932(bytes.value())));
  }
  auto converted = LoadTableFiles(dir_);
  ASSERT_TRUE(converted) << messages::Message(messages::Language::kEnglish, converted.error());
  EXPECT_EQ(converted.value().encodings, (std::array{TextEncoding::kUtf8, TextEncoding::kUtf8}));
  for (int at = 0; at < kCells; ++at) {
    const int page = at / (kRows * kColumns), row = at / kColumns % kRows, column = at % kColumns;
    ASSERT_EQ(converted.value().table.Cell(page, row, column),
              original.value().table.Cell(page, row, column))
        << "cell " << at;
  }
}

}  // namespace
}  // namespace binconv
