// End-to-end tests of search, strings and pointers-to on small generated
// games, with tables in which only a few bytes are kana.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "runtime/hex.h"
#include "support/bytes.h"
#include "support/cli_runner.h"
#include "support/gtest_support.h"

namespace {

using namespace binconv::test;

// 30-3F and 40-4F are kana, page 0 only: あ=30, か=35, こ=39, ち=40.
const std::string kKana = "あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみ";

std::string KanaOf(int code) { return kKana.substr(3 * static_cast<std::size_t>(code - 0x30), 3); }

void WriteGameTables(const fs::path& folder) {
  fs::create_directories(folder);
  std::vector<std::string> lines{"/ a game's kana"};
  for (int line = 0; line < 80; ++line) {
    std::map<int, std::string> row;
    if (line == 3 || line == 4) {
      for (int c = 0; c < 16; ++c) row[c] = KanaOf(line * 16 + c);
    }
    lines.push_back(TableRow(row));
  }
  WriteAll(folder / "Zezovar.ini", Utf8TableFile(lines));
  WriteAll(folder / "Zezovar_ex.ini", Utf8TableFile({"/ none"}));
}

// A 1 MiB game and a bit: the text straddles the read chunk's border, follows
// a lead byte, and ends the file.
std::string BigGame() {
  std::string game(0x100010, '\xFF');
  game.replace(0x10, 5, "\x20\x35\x36\x37\x38");
  game.replace(0x50, 1, "\x39");
  game.replace(0xFFFFE, 4, "\x35\x36\x37\x38");
  game.replace(0x10000C, 4, "\x35\x36\x37\x38");
  return game;
}

// Ten strings of five kana each ended by 00 from 0x100 on, a table of u16le
// pointers to them (base 0x8000) at 0x40, and one string with a line break.
std::string TableGame() {
  std::string game(0x200, '\0');
  for (int i = 0; i < 10; ++i) {
    const int at = 0x100 + 6 * i;
    for (int k = 0; k < 5; ++k)
      game[static_cast<std::size_t>(at + k)] = static_cast<char>(0x30 + i + k);
    game[static_cast<std::size_t>(0x40 + 2 * i)] = static_cast<char>(at & 0xFF);
    game[static_cast<std::size_t>(0x41 + 2 * i)] = static_cast<char>(0x80 | at >> 8);
  }
  game.replace(0x180, 5, std::string("\x30\x24\x31\x32\x00", 5));
  return game;
}

std::string TableGameStrings() {
  std::string out;
  const char* offsets[] = {"0x0000100", "0x0000106", "0x000010C", "0x0000112", "0x0000118",
                           "0x000011E", "0x0000124", "0x000012A", "0x0000130", "0x0000136"};
  for (int i = 0; i < 10; ++i) {
    out += std::string(offsets[i]) + "\t6\t";
    for (int k = 0; k < 5; ++k) out += KanaOf(0x30 + i + k);
    out += "\n";
  }
  return out + "0x0000180\t5\tあ⏎いう\n";
}

struct FindCase {
  const char* name;
  std::vector<std::string> args;
  int exit_code;
  std::string out;
  std::string err_has;
};

void PrintTo(const FindCase& c, std::ostream* os) { *os << c.name; }

class CliFindingTest : public testing::TestWithParam<FindCase> {};

TEST_P(CliFindingTest, ExitAndOutput) {
  const FindCase& c = GetParam();
  Scratch scratch;
  WriteGameTables(scratch.work() / "g");
  WriteAll(scratch.work() / "big.bin", BigGame());
  WriteAll(scratch.work() / "game.bin", TableGame());
  WriteAll(scratch.work() / "v=1.bin", TableGame());
  // Two null pointers in the middle of the table.
  WriteAll(scratch.work() / "gaps.bin", TableGame().replace(0x48, 4, 4, '\0'));
  WriteAll(scratch.work() / "base=1", TableGame());
  WriteAll(scratch.work() / "empty.bin", "");
  WriteAll(scratch.work() / "one.bin", "\x30");
  // The same kana as a game's own table, with an end token, a line break and
  // a control code with a parameter.
  std::string tbl = "*24\n/00=<end>\n$FE=<w>,1\n";
  for (int code = 0x30; code < 0x50; ++code) {
    tbl += binconv::HexText(static_cast<std::uint64_t>(code), 2, binconv::HexCase::kUpper) + "=" +
           KanaOf(code) + "\n";
  }
  WriteAll(scratch.work() / "g.tbl", tbl);
  // With DTE codes: かきくけ four ways, one of them the fewest bytes.
  WriteAll(scratch.work() / "dte.tbl", tbl + "A0=かき\nA1=くけ\nA2=きく\n");
  WriteAll(scratch.work() / "dte.bin", "\xA0\xA1\x35\xA2\x38\x35\x36\x37\x38\xA0\x37\x38");
  fs::create_directory(scratch.work() / "folder");
  // Four million kana each ended by 00, for the cases that name it.
  if (std::find(c.args.begin(), c.args.end(), "noise.bin") != c.args.end()) {
    WriteAll(scratch.work() / "noise.bin", Repeat(std::string("\x30\x00", 2), 4'000'000));
  }
  const Outcome outcome = RunCli(scratch, c.args);
  EXPECT_EQ(c.exit_code, outcome.exit_code) << outcome;
  EXPECT_EQ(c.out, outcome.out);
  EXPECT_NE(outcome.err.find(c.err_has), std::string::npos) << outcome.err;
}

const std::vector<std::string> kSearch = {"search", "--tables", "g"};

std::vector<std::string> With(std::vector<std::string> head, const std::vector<std::string>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliFindingTest,
    testing::Values(
        FindCase{"SearchAcrossTheReadChunkAndAfterALeadByte",
                 With(kSearch, {"big.bin", "かきくけ", "こ"}), 0,
                 "0x0000011\tかきくけ\t(after a lead byte)\n0x0000050\tこ\n"
                 "0x00FFFFE\tかきくけ\n0x010000C\tかきくけ\n",
                 ""},
        FindCase{"SearchCount", With(kSearch, {"--count", "big.bin", "かきくけ", "こ", "さ"}), 0,
                 "3\tかきくけ\n1\tこ\n0\tさ\n", ""},
        FindCase{"SearchNothingFound", With(kSearch, {"big.bin", "さし"}), 1, "", ""},
        FindCase{"SearchEmptyGame", With(kSearch, {"empty.bin", "あ"}), 1, "", ""},
        FindCase{"SearchOneByteGame", With(kSearch, {"one.bin", "あ"}), 0, "0x0000000\tあ\n", ""},
        FindCase{"SearchTextLongerThanGame", With(kSearch, {"one.bin", "あい"}), 1, "", ""},
        FindCase{"SearchFolderAsGame", With(kSearch, {"folder", "あ"}), 2, "", "folder"},
        FindCase{"SearchMissingGame", With(kSearch, {"none.bin", "あ"}), 2, "", "none.bin"},
        FindCase{"SearchRelativeCount",
                 {"search", "--relative", "--count", "big.bin", "かき"},
                 2,
                 "",
                 "--count"},
        FindCase{"SearchRelativeOldTblSpelling",
                 {"search", "--relative", "--tbl", "game.tbl", "big.bin", "かき"},
                 2,
                 "",
                 "search --relative writes its table with --save-tbl OUT; --tbl FILE reads an "
                 "encoding"},
        FindCase{"SearchTextWithoutCode", With(kSearch, {"one.bin", "あ漢"}), 2, "",
                 "no code for '漢' (U+6F22)"},
        FindCase{"StringsEndByte",
                 {"strings", "--tables", "g", "--end", "00", "game.bin"},
                 0,
                 TableGameStrings(),
                 ""},
        // Through a .tbl: no lead bytes, an end token ends a run as --end does.
        FindCase{"SearchTbl",
                 {"search", "--tbl", "g.tbl", "big.bin", "かきくけ", "こ"},
                 0,
                 "0x0000011\tかきくけ\n0x0000050\tこ\n0x00FFFFE\tかきくけ\n0x010000C\tかきくけ\n",
                 ""},
        FindCase{"SearchCountDte",
                 {"search", "--count", "--tbl", "dte.tbl", "dte.bin", "かきくけ", "きく", "こ"},
                 0,
                 "4\tかきくけ\n4\tきく\n0\tこ\n",
                 ""},
        FindCase{"SearchTblAndTables",
                 {"search", "--tbl", "g.tbl", "--tables", "g", "big.bin", "こ"},
                 2,
                 "",
                 "--tables and --tbl exclude each other"},
        FindCase{"StringsTbl", {"strings", "--tbl", "g.tbl", "game.bin"}, 0, TableGameStrings(), ""},
        FindCase{"DecodeTblEndToken",
                 {"decode", "--tbl", "g.tbl", "--end", "token", "--at", "0x180", "game.bin"},
                 0,
                 "あ\nいう",
                 ""},
        FindCase{"DecodeEndByte",
                 {"decode", "--tables", "g", "--end", "32", "--at", "0x180", "game.bin"},
                 0,
                 "あ\nい",
                 ""},
        FindCase{"DecodeEndTokenNeedsTbl",
                 {"decode", "--tables", "g", "--end", "token", "game.bin"},
                 2,
                 "",
                 "--end 'token' is not a byte of two hex digits"},
        FindCase{"StringsOneByteGame",
                 {"strings", "--tables", "g", "--min", "1", "one.bin"},
                 0,
                 "0x0000000\t1\tあ\n",
                 ""},
        FindCase{
            "StringsBadEnd", {"strings", "--tables", "g", "--end", "0", "one.bin"}, 2, "", "--end"},
        FindCase{"PointersToAnAddress",
                 {"pointers-to", "--format", "u16le", "base=0x8000", "game.bin", "0x106", "0x130"},
                 0,
                 "0x0000042\t0x8106\t0x0000106\n0x0000050\t0x8130\t0x0000130\n",
                 ""},
        // After the format words, a word without a known key is the game;
        // "--" ends the words.
        FindCase{"PointersToAGameNamedLikeAWord",
                 {"pointers-to", "--format", "u16le", "base=0x8000", "v=1.bin", "0x106", "0x130"},
                 0,
                 "0x0000042\t0x8106\t0x0000106\n0x0000050\t0x8130\t0x0000130\n",
                 ""},
        FindCase{"PointersToAGameAfterDashDash",
                 {"pointers-to", "--format", "u16le base=0x8000", "--", "base=1", "0x106"},
                 0,
                 "0x0000042\t0x8106\t0x0000106\n",
                 ""},
        FindCase{"PointersToSelfRelative",
                 {"pointers-to", "--format", "u16le relative=self", "game.bin", "0x106"},
                 1,
                 "",
                 ""},
        FindCase{"PointersToTableRelativeRefused",
                 {"pointers-to", "--format", "u16le", "relative=table", "game.bin", "0x106"},
                 2,
                 "",
                 "relative=table"},
        FindCase{"PointersToBadFormat",
                 {"pointers-to", "--format", "u16le", "base=x", "game.bin", "0x106"},
                 2,
                 "",
                 "'base=x'"},
        FindCase{"TablesOf",
                 {"pointers-to", "--tables-of", "--format", "u16le", "base=0x8000", "--tables", "g",
                  "game.bin"},
                 0,
                 "format ptr u16le base=0x8000\n"
                 "# 0x0000040 stride=2 count=10: 0x0000100 0x0000106 0x000010C 0x0000112 … first: あいうえお\n"
                 "script text_0000040.txt table=0x0000040 stride=2 count=10 format=ptr end=00\n",
                 ""},
        FindCase{"TablesOfTbl",
                 {"pointers-to", "--tables-of", "--format", "u16le", "base=0x8000", "--tbl",
                  "g.tbl", "game.bin"},
                 0,
                 "format ptr u16le base=0x8000\n"
                 "# 0x0000040 stride=2 count=10: 0x0000100 0x0000106 0x000010C 0x0000112 … first: あいうえお\n"
                 "script text_0000040.txt table=0x0000040 stride=2 count=10 format=ptr\n",
                 ""},
        FindCase{"TablesOfOverNulls",
                 {"pointers-to", "--tables-of", "--format", "u16le", "base=0x8000", "--tables", "g",
                  "gaps.bin"},
                 0,
                 "format ptr u16le base=0x8000\n"
                 "# 0x0000040 stride=2 count=10: 0x0000100 0x0000106 0x000010C 0x0000112 … first: あいうえお\n"
                 "script text_0000040.txt table=0x0000040 stride=2 count=10 format=ptr end=00 "
                 "skip=0x0000\n",
                 ""},
        FindCase{"TablesOfStandardInput",
                 {"pointers-to", "--tables-of", "--format", "u16le", "--tables", "g", "-"},
                 2,
                 "",
                 "must be a file"},
        // --end given already: only a larger --min or less of the game helps.
        FindCase{"TablesOfTooManyStringsEvenWithEnd",
                 {"pointers-to", "--tables-of", "--format", "u16le", "--tables", "g", "--min", "1",
                  "--end", "00", "noise.bin"},
                 2,
                 "",
                 "noise.bin holds 4000000 runs of characters or more that end with --end 00: give "
                 "a larger --min than 1, or a file of only the range"},
        FindCase{"TablesOfNone",
                 {"pointers-to", "--tables-of", "--format", "u16be", "--tables", "g", "game.bin"},
                 1,
                 "",
                 ""}),
    CaseName<FindCase>);

// A FIFO is read as it comes, like any stream.
TEST(CliFindingStreamTest, SearchReadsAFifo) {
  Scratch scratch;
  WriteGameTables(scratch.work() / "g");
  const fs::path fifo = scratch.work() / "pipe";
  ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
  std::thread writer([&] {
    const int fd = ::open(fifo.c_str(), O_WRONLY);
    if (fd < 0) return;
    const std::string bytes = BigGame();
    for (std::size_t at = 0; at < bytes.size();) {
      const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
    ::close(fd);
  });
  const Outcome outcome = RunCli(scratch, With(kSearch, {"--count", "pipe", "かきくけ"}));
  writer.join();
  EXPECT_EQ(0, outcome.exit_code) << outcome;
  EXPECT_EQ("3\tかきくけ\n", outcome.out);
}

// Four million strings are no text: --tables-of asks for --end or --min
// rather than keep them all.
TEST(CliFindingStreamTest, TablesOfRefusesAGameOfNothingButShortStrings) {
  Scratch scratch;
  WriteGameTables(scratch.work() / "g");
  WriteAll(scratch.work() / "noise.bin", Repeat("\x30\xFF", 4'000'000));
  const Outcome outcome = RunCli(scratch, {"pointers-to", "--tables-of", "--format", "u16le",
                                           "--tables", "g", "--min", "1", "noise.bin"});
  EXPECT_EQ(2, outcome.exit_code) << outcome;
  EXPECT_NE(outcome.err.find("--end XX"), std::string::npos) << outcome.err;
}

// A word of a game whose kana are shifted: found in its order, and the .tbl
// it gives makes tables that read the game's text.
TEST(CliFindingStreamTest, RelativeSearchFindsTheTableOfAShiftedGame) {
  Scratch scratch;
  // JIS order with あ at 0x35: ゆ (U+3086) is 0x35 + 0x44 = 0x79.
  std::string game(300, '\xFF');
  game.replace(123, 4, "\x79\x39\x4A\x76");  // ゆうしゃ
  game.replace(200, 4, "\x3E\x79\x37\x39");  // かゆいう: no match
  WriteAll(scratch.work() / "rel.bin", game);
  Outcome found = RunCli(scratch, {"search", "--relative", "--order", "jis", "--save-tbl", "game.tbl",
                                   "rel.bin", "ゆうしゃ"});
  EXPECT_EQ(0, found.exit_code) << found;
  EXPECT_EQ("0x000007B\tあ=0x35\tうえおかき… = 39 3B 3D 3E 40 …\tjis\n", found.out);
  fs::create_directory(scratch.work() / "t");
  const Outcome imported = RunCli(scratch, {"import-tbl", "-o", "t", "game.tbl"});
  EXPECT_EQ(0, imported.exit_code) << imported;
  const Outcome strings = RunCli(scratch, {"strings", "--tables", "t", "rel.bin"});
  EXPECT_EQ("0x000007B\t4\tゆうしゃ\n0x00000C8\t4\tかゆいう\n", strings.out) << strings;
  const Outcome none = RunCli(scratch, {"search", "--relative", "rel.bin", "ゃゃ"});
  EXPECT_EQ(2, none.exit_code) << none;
}

}  // namespace
