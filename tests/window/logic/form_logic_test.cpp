// The window's shared logic, headless: the same test runs on Linux and, for
// the Win32 window, under Wine.

#include "window/logic/form_logic.h"

#include "chartable/encoding.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/utf8.h"
#include "support/temp_dir.h"

namespace binconv::window::logic {
namespace {

namespace fs = std::filesystem;

std::string Utf8(std::u16string_view text) { return EncodeUtf8(text); }

bool Contains(std::u16string_view text, std::u16string_view part) {
  return text.find(part) != std::u16string_view::npos;
}

class FormLogicTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakeTempDir("binconv-form");
    ASSERT_FALSE(dir_.empty());
    for (const char* name : {"Zezovar.ini", "Zezovar_ex.ini"}) {
      fs::copy_file(fs::path(BINCONV_SOURCE_DIR) / "tables" / name, dir_ / name);
    }
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Put(const char* name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  fs::path dir_;
};

struct BreakCase {
  std::u16string core;
  std::u16string qt;
  std::u16string win32;
};

class BoxBreaks : public ::testing::TestWithParam<BreakCase> {};

TEST_P(BoxBreaks, EachBreakBecomesTheBoxesOwnAndComesBack) {
  const BreakCase& c = GetParam();
  EXPECT_EQ(Utf8(BoxTextFromCore(c.core, u"\n")), Utf8(c.qt));
  EXPECT_EQ(Utf8(BoxTextFromCore(c.core, u"\r\n")), Utf8(c.win32));
  EXPECT_EQ(Utf8(CoreTextFromBox(c.win32)), Utf8(CoreTextFromBox(c.qt)));
}

INSTANTIATE_TEST_SUITE_P(Breaks, BoxBreaks,
                         ::testing::Values(BreakCase{u"", u"", u""},
                                           BreakCase{u"00 24\r\n01 ", u"00 24\n01 ",
                                                     u"00 24\r\n01 "},
                                           BreakCase{u"a\rb\nc", u"a\nb\nc", u"a\r\nb\r\nc"},
                                           BreakCase{u"\r\n\r\n", u"\n\n", u"\r\n\r\n"},
                                           BreakCase{u"\u00a0\t<>", u"\u00a0\t<>", u"\u00a0\t<>"}));

TEST_F(FormLogicTest, LoadsAndConverts) {
  LoadOutcome loaded = LoadForm(dir_);
  ASSERT_FALSE(loaded.error_message) << Utf8(*loaded.error_message);
  const std::u16string listing = ConvertForm(u"あ\r\nい", loaded.encoding).listing;
  EXPECT_NE(listing.find(u"24\r\n"), std::u16string::npos) << Utf8(listing);
  // The code box's caption names the folder, as a user would find it.
  EXPECT_EQ(loaded.tables_tooltip, u"文字テーブル：" + DecodeUtf8(PathToUtf8(dir_)).value());
  EXPECT_EQ(LoadForm(dir_ / "." / "").tables_tooltip, loaded.tables_tooltip);
  EXPECT_TRUE(LoadForm(dir_ / "none").tables_tooltip.empty());
}

// Tables without half-width ASCII leave "1" and "0" without a code, and the
// writer would take them for the byte 10. They stay marked, and writing is
// refused, until the user edits over them; Ctrl+Z after the message brings
// the marks back with the listing.
TEST_F(FormLogicTest, UncodedHexDigitsAreMarkedAndRefusedUntilEdited) {
  CharTable table;
  table.SetCell(0, 0, 5, u"か");
  table.SetCell(0, 0, 12, u"す");
  table.SetCell(0, 0, 9, u"こ");
  const ConvertOutcome converted = ConvertForm(u"かす10こ\r\n2", GameTableOf(table));
  EXPECT_EQ(Utf8(converted.listing), "05 0C 1 0 09 24\r\n2 ");
  UncodedMarks marks;
  marks.Set(converted.listing, converted.uncoded);
  ASSERT_EQ(marks.marks().size(), 3u);
  // Box positions: the CR LF before "2" is one unit there.
  EXPECT_EQ(marks.marks()[0].start, 6u);
  EXPECT_EQ(marks.marks()[1].start, 8u);
  EXPECT_EQ(marks.marks()[2].start, 16u);

  const fs::path old_cwd = fs::current_path();
  fs::current_path(dir_);
  const WriteOutcome refused = WriteForm(converted.listing, u"w.bin", marks);
  EXPECT_EQ(refused.kind, WriteOutcome::Kind::kBoxMessage);
  EXPECT_EQ(Utf8(refused.text), "不正な文字コードが見つかったので処理を中断しました");
  EXPECT_FALSE(fs::exists(dir_ / "w.bin"));
  // The message replaced the listing; Ctrl+Z brings listing and marks back.
  marks.Edit(0, 18, refused.text.size());
  EXPECT_TRUE(marks.empty());
  EXPECT_FALSE(marks.RestoreIf(refused.text));
  EXPECT_TRUE(marks.RestoreIf(converted.listing));
  EXPECT_EQ(marks.marks().size(), 3u);

  // Typing before a mark moves it; overtyping "1 0" and deleting "2" leave none.
  marks.Edit(0, 0, 1);
  EXPECT_EQ(marks.marks()[0].start, 7u);
  marks.Edit(7, 3, 2);
  marks.Edit(u"x05 0C 10 09 24\r2 ", u"x05 0C 10 09 24\r ");
  EXPECT_TRUE(marks.empty());
  EXPECT_EQ(WriteForm(u"05 0C 10 09 ", u"w.bin", marks).kind, WriteOutcome::Kind::kWritten);
  fs::current_path(old_cwd);
}

struct MarkEdit {
  std::size_t position, removed, added;
  std::vector<std::size_t> starts;  // of the marks at 2, 4 (a pair) and 8 afterwards
};

class MarkEdits : public ::testing::TestWithParam<MarkEdit> {};

TEST_P(MarkEdits, MoveOrDropTheMarks) {
  const MarkEdit& e = GetParam();
  UncodedMarks marks;
  const std::vector<UncodedChar> uncoded = {
      {2, 1, 1, 2, U'1'}, {4, 2, 1, 3, U'😀'}, {8, 1, 1, 5, U'0'}};
  marks.Set(u"0123456789", uncoded);
  marks.Edit(e.position, e.removed, e.added);
  std::vector<std::size_t> starts;
  for (const UncodedMark& mark : marks.marks()) starts.push_back(mark.start);
  EXPECT_EQ(starts, e.starts);
}

INSTANTIATE_TEST_SUITE_P(
    Edits, MarkEdits,
    ::testing::Values(MarkEdit{0, 0, 3, {5, 7, 11}},   // typed before all
                      MarkEdit{2, 0, 1, {3, 5, 9}},    // typed right before a mark
                      MarkEdit{3, 0, 1, {2, 5, 9}},    // typed right after it
                      MarkEdit{5, 0, 1, {2, 9}},       // typed inside the pair
                      MarkEdit{2, 1, 1, {4, 8}},       // overtyped
                      MarkEdit{1, 2, 0, {2, 6}},       // deleted with its neighbour
                      MarkEdit{3, 1, 0, {2, 3, 7}},    // the space between deleted
                      MarkEdit{0, 10, 10, {}},         // the whole text replaced
                      MarkEdit{9, 1, 0, {2, 4, 8}}));  // after all

struct TableFault {
  const char* name;
  const char* file;
  std::string bytes;
  std::u16string says;  // the Japanese problem, after the line
};

class TableFaults : public FormLogicTest, public ::testing::WithParamInterface<TableFault> {};

TEST_P(TableFaults, NameFileLineAndProblemInJapanese) {
  const TableFault& f = GetParam();
  if (f.bytes.empty()) {
    fs::remove(dir_ / f.file);
  } else {
    Put(f.file, f.bytes);
  }
  const LoadOutcome loaded = LoadForm(dir_);
  ASSERT_TRUE(loaded.error_message);
  const std::u16string& text = *loaded.error_message;
  EXPECT_TRUE(text.starts_with(u"文字テーブルを読み込めませんでした。\nファイル：")) << Utf8(text);
  EXPECT_TRUE(Contains(text, DecodeUtf8(f.file).value())) << Utf8(text);
  EXPECT_TRUE(Contains(text, f.says)) << Utf8(text);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, TableFaults,
    ::testing::Values(
        TableFault{"Missing", "Zezovar_ex.ini", "", u"ファイルを開けません。"},
        TableFault{"FewFields", "Zezovar.ini", "/c\r\nrow,a,b\r\n",
                   u"\n2 行目：項目が 3 個しかありません"},
        TableFault{
            "TooManyLines", "Zezovar_ex.ini",
            [] {
              std::string text;
              for (int i = 0; i < 17; ++i) text += "r,a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p\r\n";
              return text;
            }(),
            u"\n17 行目：データ行が多すぎます（このファイルに書けるデータ行は 16 行までです）"},
        TableFault{"BadUtf8", "Zezovar.ini", "\xEF\xBB\xBF/ok\r\n\xFF",
                   u"\n2 行目 1 文字目：UTF-8 として正しくないバイト列があります（ファイルが UTF-8 "
                   u"のバイトオーダーマークで始まっているため"},
        // Taken for UTF-8 by its first sixteen characters, without a mark.
        TableFault{
            "BadUtf8WithoutMark", "Zezovar.ini",
            "/あいうえおかきくけこさしすせそた"
            "\r\nL,あ\xFF",
            u"\n2 行目 4 文字目：UTF-8 として正しくないバイト列があります（ここまでのテキストが "
            u"UTF-8 であるため"}),
    [](const ::testing::TestParamInfo<TableFault>& p) { return std::string(p.param.name); });

// With --tbl FILE the window converts through the game's own table, marks
// each problem where it stands, and names the file in the tooltip.
TEST_F(FormLogicTest, GameTblFromTheCommandLine) {
  Put("g.tbl", "82A0=\xE3\x81\x82\n*0A\n$FE=<wait>,1\n");
  const std::string tbl = PathToUtf8(dir_ / "g.tbl");
  const std::string_view args[] = {"--tbl", tbl};
  const LoadOutcome loaded = LoadForm(WindowArgsOf(args), TableSearchPlace{});
  ASSERT_FALSE(loaded.error_message) << Utf8(*loaded.error_message);
  EXPECT_EQ(Utf8(loaded.tables_tooltip), "ゲームのテーブル：" + tbl);
  const ConvertOutcome converted = ConvertForm(u"あx\r\n<wait>", loaded.encoding);
  EXPECT_EQ(Utf8(converted.listing), "82 A0 x 0A\r\nFE ？ ");
  ASSERT_EQ(converted.uncoded.size(), 2u);
  EXPECT_EQ(converted.uncoded[0].offset, 6u);
  EXPECT_EQ(converted.uncoded[1].offset, 15u);
  // Without --tbl, the tables of the search as before.
  TableSearchPlace place;
  place.current_dir = dir_;
  const LoadOutcome searched = LoadForm(WindowArgs{}, place);
  ASSERT_FALSE(searched.error_message);
  EXPECT_TRUE(searched.tables_tooltip.starts_with(u"文字テーブル："));
  EXPECT_EQ(ConvertForm(u"あ", searched.encoding).listing, u"56 ");
}

struct ArgsCase {
  std::vector<std::u16string_view> args;
  std::optional<std::u16string_view> tbl;
  bool without_file = false;
  std::optional<std::u16string_view> unknown{};
};

class WindowArgsTest : public ::testing::TestWithParam<ArgsCase> {};

TEST_P(WindowArgsTest, TblFileInUtf8AndUtf16) {
  const ArgsCase& c = GetParam();
  std::vector<std::string> narrow;
  for (std::u16string_view arg : c.args) narrow.push_back(Utf8(arg));
  const std::vector<std::string_view> views(narrow.begin(), narrow.end());
  for (const WindowArgs& found : {WindowArgsOf(views), WindowArgsOf(c.args)}) {
    EXPECT_EQ(found.tbl_without_file, c.without_file);
    EXPECT_EQ(found.unknown, c.unknown);
    ASSERT_EQ(found.tbl.has_value(), c.tbl.has_value());
    if (c.tbl) {
      EXPECT_EQ(PathToUtf8(*found.tbl), Utf8(*c.tbl));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Args, WindowArgsTest,
                         ::testing::Values(ArgsCase{{}, std::nullopt},
                                           ArgsCase{{u"--tbl", u"ゲーム.tbl"}, u"ゲーム.tbl"},
                                           ArgsCase{{u"--tbl=a.tbl", u"other", u"-x"},
                                                    u"a.tbl", false, u"other"},
                                           ArgsCase{{u"--tlb", u"a.tbl"}, std::nullopt, false,
                                                    u"--tlb"},
                                           ArgsCase{{u"--tbl", u"a.tbl", u"--tbl", u"b.tbl"},
                                                    u"b.tbl"},
                                           ArgsCase{{u"a.tbl", u"--tbl"}, std::nullopt, true,
                                                    u"a.tbl"}));

struct GameTblFault {
  const char* name;
  std::string bytes;  // none: no such file
  std::vector<std::u16string> says;
};

class GameTblFaults : public FormLogicTest, public ::testing::WithParamInterface<GameTblFault> {};

TEST_P(GameTblFaults, EveryProblemWithFileAndLine) {
  const GameTblFault& f = GetParam();
  if (!f.bytes.empty()) Put("bad.tbl", f.bytes);
  const LoadOutcome loaded = LoadGameTblForm(dir_ / "bad.tbl");
  ASSERT_TRUE(loaded.error_message);
  EXPECT_TRUE(loaded.encoding.codes().empty());
  EXPECT_TRUE(loaded.tables_tooltip.empty());
  const std::u16string& text = *loaded.error_message;
  EXPECT_TRUE(text.starts_with(u"ゲームのテーブルを読み込めませんでした。\n")) << Utf8(text);
  for (const std::u16string& part : f.says) EXPECT_TRUE(Contains(text, part)) << Utf8(text);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, GameTblFaults,
    ::testing::Values(GameTblFault{"Missing", "", {u"bad.tbl\n", u"ファイルを開けません。"}},
                      GameTblFault{
                          "EveryProblem",
                          "41=A\n/41=B\n$FE=w\nZZ=C\n",
                          {u"bad.tbl:2：同じコードが 1 行目にもあります。",
                           u"bad.tbl:3：制御コードには LABEL,N", u"bad.tbl:4：コードが 16 進数"}},
                      GameTblFault{"Many",
                                   [] {
                                     std::string text;
                                     for (int i = 0; i < 25; ++i) text += "ZZ=a\n";
                                     return text;
                                   }(),
                                   {u"bad.tbl:20：", u"ほかに 5 件の問題があります。"}}),
    [](const ::testing::TestParamInfo<GameTblFault>& p) { return std::string(p.param.name); });

TEST(WindowArgsLoad, TblWithoutFileAndUnknownArgumentsAreSaid) {
  WindowArgs args;
  args.tbl_without_file = true;
  const LoadOutcome loaded = LoadForm(args, TableSearchPlace{});
  ASSERT_TRUE(loaded.error_message);
  EXPECT_TRUE(Contains(*loaded.error_message, u"--tbl")) << Utf8(*loaded.error_message);
  args.unknown = u"--tlb";
  const LoadOutcome refused = LoadForm(args, TableSearchPlace{});
  ASSERT_TRUE(refused.error_message);
  EXPECT_TRUE(Contains(*refused.error_message, u"知らない引数です：--tlb"))
      << Utf8(*refused.error_message);
}

TEST_F(FormLogicTest, WriteOutcomes) {
  const fs::path old_cwd = fs::current_path();
  fs::current_path(dir_);
  UncodedMarks none;
  const WriteOutcome written = WriteForm(u"1A 2B\r\n", u" out.bin ", none);
  const WriteOutcome odd = WriteForm(u"1A 2", u"odd.bin", none);
  const WriteOutcome bad = WriteForm(u"1A 2Z", u"bad.bin", none);
  const WriteOutcome nowhere = WriteForm(u"1A", u"無い/out.bin", none);
  fs::current_path(old_cwd);
  EXPECT_EQ(written.kind, WriteOutcome::Kind::kWritten);
  std::ifstream in(dir_ / "out.bin", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "\x1A\x2B");
  EXPECT_EQ(odd.kind, WriteOutcome::Kind::kBoxMessage);
  EXPECT_EQ(Utf8(odd.text), "入力された文字コードが正しくありません");
  EXPECT_EQ(bad.kind, WriteOutcome::Kind::kBoxMessage);
  EXPECT_EQ(Utf8(bad.text), "不正な文字コードが見つかったので処理を中断しました");
  EXPECT_FALSE(fs::exists(dir_ / "odd.bin") || fs::exists(dir_ / "bad.bin"));
  ASSERT_EQ(nowhere.kind, WriteOutcome::Kind::kErrorDialog);
  EXPECT_TRUE(
      nowhere.text.starts_with(u"出力ファイルに書き込めませんでした。\nファイル：無い/out.bin\n"))
      << Utf8(nowhere.text);
#ifndef _WIN32
  EXPECT_TRUE(nowhere.text.ends_with(u"ファイルまたはフォルダーが見つかりません。"))
      << Utf8(nowhere.text);
#endif
}

// Every kind of I/O failure has its own Japanese reason where the system gives none.
TEST(IoReasonText, EveryCodeHasItsOwnText) {
  std::set<std::u16string> seen;
  for (IoErrorCode code :
       {IoErrorCode::kNotFound, IoErrorCode::kPermissionDenied, IoErrorCode::kIsDirectory,
        IoErrorCode::kDiskFull, IoErrorCode::kInvalidName, IoErrorCode::kInUse,
        IoErrorCode::kReservedName, IoErrorCode::kNotRegularFile, IoErrorCode::kOther}) {
    const std::u16string text = IoReasonText(IoError{code, "x", 0, "English"});
    EXPECT_FALSE(Contains(text, u"English"));
    EXPECT_TRUE(seen.insert(text).second) << Utf8(text);
  }
}

}  // namespace
}  // namespace binconv::window::logic
