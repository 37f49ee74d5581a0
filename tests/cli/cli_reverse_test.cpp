// End-to-end tests of binconv-cli decode, check-tables, export-tbl, encode
// --tbl, convert --tbl and encode --report / --keep-going: the built binary
// runs in a scratch directory holding the default tables.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "runtime/hex.h"
#include "support/bytes.h"
#include "support/cli_runner.h"
#include "support/gtest_support.h"

namespace {

using namespace binconv::test;

// A UTF-8 table file of `rows` data lines with all cells empty, except those
// given as {line index, column, text}, after one comment line.
struct Cell {
  int line;
  int column;
  std::string text;
};
std::string TableFile(int rows, const std::vector<Cell>& cells) {
  std::vector<std::string> lines{"/ test table"};
  for (int line = 0; line < rows; ++line) {
    std::map<int, std::string> row;
    for (const Cell& cell : cells) {
      if (cell.line == line) row[cell.column] += cell.text;
    }
    lines.push_back(TableRow(row));
  }
  return Utf8TableFile(lines);
}

struct CliCase {
  const char* name;
  std::vector<std::string> args;
  std::string input;
  int exit_code;
  std::string out;                   // the whole of standard output
  std::vector<std::string> err_has;  // each must appear on standard error
  std::string written;               // out.bin afterwards; "-" when it must not exist
};

class CliReverseTest : public testing::TestWithParam<CliCase> {};

TEST_P(CliReverseTest, ExitOutputAndFile) {
  const CliCase& c = GetParam();
  Scratch scratch;
  // t/ holds tables made to trip every check: a shadowed duplicate, a cell of
  // two characters, an intercepted one and a cell at a lead byte on page 0.
  fs::create_directory(scratch.work() / "t");
  WriteAll(scratch.work() / "t" / "Zezovar.ini",
           TableFile(17, {{0, 1, "あ"}, {2, 1, "い"}, {3, 0, "ab"}, {4, 2, "＜"}, {16, 5, "あ"}}));
  WriteAll(scratch.work() / "t" / "Zezovar_ex.ini", TableFile(0, {}));
  // A game's own table, in code page 932 with CR LF, and one with problems.
  WriteAll(scratch.work() / "g.tbl",
           "; game\r\n82A0=\x82\xA0\r\n8141=\x81\x41=\r\n/FF=[end]\r\n*0A\r\n$FE=<wait>,1");
  WriteAll(scratch.work() / "bad.tbl", "41=A\n/41=B\n$FE=w,1\nFE01=x\n!02=t\n");
  WriteAll(scratch.work() / "warn.tbl", "41=A\n/00=A\n42=A\n");  // 42 has 41's text
  WriteAll(scratch.work() / "empty.tbl", "# nothing but a comment\n");
  std::string many = "41=A\n";
  for (int code = 0x42; code < 0x42 + 25; ++code) {
    many += binconv::HexByte(static_cast<std::uint8_t>(code)) + "=A\n";
  }
  WriteAll(scratch.work() / "many.tbl", many);
  // Another tool's dialect: every line a problem.
  std::string foreign;
  for (int line = 0; line < 25; ++line) foreign += "%0000" + std::to_string(line % 2) + "=a\n";
  WriteAll(scratch.work() / "foreign.tbl", foreign);
  const Outcome outcome = RunCli(scratch, c.args, {.input = c.input});
  // @WORK@ stands for the folder the tables were found in.
  auto in_work = [&](std::string text) {
    for (std::size_t at; (at = text.find("@WORK@")) != std::string::npos;) {
      text.replace(at, 6, scratch.work().string());
    }
    return text;
  };
  EXPECT_EQ(outcome.exit_code, c.exit_code) << outcome.err;
  EXPECT_EQ(outcome.out, in_work(c.out)) << Hex(outcome.out);
  for (const std::string& part : c.err_has) {
    EXPECT_NE(outcome.err.find(in_work(part)), std::string::npos) << "no '" << part << "' in\n"
                                                                  << outcome.err;
  }
  if (c.written == "-") {
    EXPECT_FALSE(fs::exists(scratch.work() / "out.bin"));
  } else if (!c.written.empty()) {
    EXPECT_EQ(Hex(c.written), Hex(ReadAll(scratch.work() / "out.bin")));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliReverseTest,
    testing::Values(
        CliCase{"DecodeFixedCodesAndTags",
                {"decode"},
                "\x56\x24\x50\x21\xC3\x22\x7B\x01\x21",
                0,
                "あ\n　語字。<21>",
                {},
                ""},
        CliCase{"DecodeCrLf", {"decode", "--crlf", "-"}, "\x56\x24\x24", 0, "あ\r\n\r\n", {}, ""},
        CliCase{"DecodeShadowedAndIntercepted",
                {"decode", "--tables", "t"},
                "\x01\x20\x05\x30\x42\x21",
                0,
                "あ<2005><30><42><21>",
                {},
                ""},
        CliCase{"DecodeTbl",
                {"decode", "--tbl", "g.tbl"},
                "\x82\xA0\x81\x41\x0A\xFE\x1E\x41\xFF",
                0,
                "あ、=\n<wait><1E><41>[end]",
                {},
                ""},
        CliCase{"DecodeTblCrLfAndRange",
                {"decode", "--tbl", "g.tbl", "--crlf", "--at", "4", "--length", "2"},
                "\x82\xA0\x81\x41\x0A\xFE\x1E",
                0,
                "\r\n<FE>",  // the range ends before the wait's parameter
                {},
                ""},
        CliCase{"DecodeTblProblems",
                {"decode", "--tbl", "bad.tbl", "-o", "out.bin"},
                "\x41",
                2,
                "",
                {"bad.tbl:2: a second entry for the code of line 1\n",
                 "bad.tbl:4: never read: its code begins with the control code of line 3",
                 "bad.tbl:5: table switching (!HEX) is not supported yet\n"},
                "-"},
        // The first 20 problems, then how many more.
        CliCase{"DecodeTblForeignDialect",
                {"decode", "--tbl", "foreign.tbl"},
                "",
                2,
                "",
                {"foreign.tbl:20: ", "binconv-cli: foreign.tbl: … and 5 more problems\n"},
                ""},
        CliCase{"DecodeTblMissing", {"decode", "--tbl", "none.tbl"}, "", 2, "", {"none.tbl"}, ""},
        CliCase{"DecodeTblOrTables",
                {"decode", "--tbl", "g.tbl", "--tables", "t"},
                "",
                2,
                "",
                {"--tbl and --tables exclude each other"},
                ""},
        CliCase{"EncodeTbl",
                {"encode", "--tbl", "g.tbl", "-o", "out.bin"},
                "あ、=\r\n<wait><1E><41>[end]",
                0,
                "",
                {},
                "\x82\xA0\x81\x41\x0A\xFE\x1E\x41\xFF"},
        CliCase{"EncodeTblProblemsWriteNothing",
                {"encode", "--tbl", "g.tbl", "-o", "out.bin"},
                "あx\n<wait>あ<wiat><1E>",
                1,
                "",
                {"-:1:2: no code for 'x' (U+0078)\n",
                 "-:2:1: the control code here needs a tag of exactly its parameter bytes",
                 // A tag of letters is a label mistyped, named once with the nearest ones.
                 "-:2:8: unknown label <wiat>; the table has <wait>\n"},
                "-"},
        CliCase{"EncodeTblKeepGoingExact",
                {"encode", "--tbl", "g.tbl", "--exact", "--keep-going", "-o", "out.bin"},
                "あ\nあ\r\n",
                0,
                "",
                {"-:1:2: no code for", "(U+000A)\n",
                 "wrote 5 bytes to out.bin WITHOUT the 1 character"},
                "\x82\xA0\x82\xA0\x0A"},
        CliCase{"EncodeTblNoReport",
                {"encode", "--tbl", "g.tbl", "--report"},
                "",
                2,
                "",
                {"--tbl and --report exclude each other"},
                ""},
        CliCase{
            "EncodeTblProblems", {"encode", "--tbl", "bad.tbl"}, "A", 2, "", {"bad.tbl:2:"}, ""},
        CliCase{"ConvertTbl",
                {"convert", "--tbl", "g.tbl"},
                "あ、=\r\n<wait><1E><41>[end]",
                0,
                "82 A0 81 41 0A\r\nFE 1E 41 FF ",
                {},
                ""},
        CliCase{"ConvertTblMarksProblems",
                {"convert", "--tbl", "g.tbl", "-o", "out.bin"},
                "あx\n<wait>あ",
                1,
                "",
                {"-:1:2: no code for 'x' (U+0078)\n",
                 "-:2:1: the control code here needs a tag of exactly its parameter bytes",
                 "-: 2 problems marked in the listing"},
                "82 A0 x 0A\r\nFE ？ 82 A0 "},
        CliCase{"ConvertTblNotWithTables",
                {"convert", "--tbl", "g.tbl", "--tables", "t"},
                "",
                2,
                "",
                {"--tbl and --tables exclude each other"},
                ""},
        CliCase{"ConvertTblProblems",
                {"convert", "--tbl", "bad.tbl", "-o", "out.bin"},
                "A",
                2,
                "",
                {"bad.tbl:2:"},
                "-"},
        CliCase{"DecodeMissingInput", {"decode", "nothing.bin"}, "", 2, "", {"nothing.bin"}, ""},
        CliCase{"CheckDefaultTables",
                {"check-tables"},
                "",
                0,
                "tables: @WORK@\n"
                "  @WORK@/Zezovar.ini: code page 932\n"
                "  @WORK@/Zezovar_ex.ini: code page 932\n"
                "cells per page (not empty, of which conversion can produce):\n"
                "  page 0        249  249\n"
                "  page 1 (20)   256  256\n"
                "  page 2 (21)   256  256\n"
                "  page 3 (22)   256  256\n"
                "  page 4 (23)   256  256\n"
                "  page 5 (18)   256  256\n"
                "no character stands in more than one cell\n"
                "0 findings\n",
                {},
                ""},
        CliCase{"CheckFindings",
                {"check-tables", "--tables", "t"},
                "",
                1,
                "tables: t\n"
                "  t/Zezovar.ini: UTF-8 with a byte order mark\n"
                "  t/Zezovar_ex.ini: UTF-8 with a byte order mark\n"
                "warning: t/Zezovar.ini:4:4: 'い' (U+3044) at code 21 is on page 0, but a game "
                "reads byte 21 as the lead byte of page 2\n"
                "warning: t/Zezovar.ini:5:3: 'ab' (U+0061 U+0062) at code 30 holds 2 "
                "characters; only a cell of one character is ever produced\n"
                "warning: t/Zezovar.ini:6:5: '＜' (U+FF1C) at code 42 is never produced: "
                "conversion always makes it the start of a tag\n"
                "warning: t/Zezovar.ini:18:8: 'あ' (U+3042) at code 20 05 is never produced: "
                "the same character at code 01 (t/Zezovar.ini:2:4) comes first\n"
                "cells per page (not empty, of which conversion can produce):\n"
                "  page 0        4    2\n"
                "  page 1 (20)   1    0\n"
                "  page 2 (21)   0    0\n"
                "  page 3 (22)   0    0\n"
                "  page 4 (23)   0    0\n"
                "  page 5 (18)   0    0\n"
                "characters in more than one cell (the first one wins):\n"
                "  'あ' (U+3042) at 01, 20 05\n"
                "4 findings\n",
                {},
                ""},
        CliCase{"CheckTblClean",
                {"check-tables", "--tbl", "g.tbl"}, "", 0, "tbl: g.tbl\n0 findings\n", {}, ""},
        CliCase{"CheckTblFindings",
                {"check-tables", "--tbl", "warn.tbl"},
                "",
                1,
                "tbl: warn.tbl\nwarning: warn.tbl:2: /00=A: typing its text back gives another code "
                "or none (a < or > outside a label, or another code has the text); decode shows it as "
                "a tag of its bytes, which is how to type it\nwarning: warn.tbl:3: 42=A: the same "
                "text as the code of line 1; a text can be written with one code only\n2 findings\n",
                {},
                ""},
        CliCase{"CheckTblEmpty",
                {"check-tables", "--tbl", "empty.tbl"},
                "",
                1,
                "tbl: empty.tbl\nwarning: empty.tbl: the table has no entries: every byte would "
                "be read as no code\n1 finding\n",
                {},
                ""},
        // 25 codes share the first one's text: 20 are listed, then their count.
        CliCase{"CheckTblFindingsOfAKindCut",
                {"check-tables", "--tbl", "many.tbl"},
                "",
                1,
                [] {
                  std::string out = "tbl: many.tbl\n";
                  for (int line = 2; line <= 21; ++line) {
                    out += "warning: many.tbl:" + std::to_string(line) + ": " +
                           binconv::HexByte(static_cast<std::uint8_t>(0x40 + line)) +
                           "=A: the same text as the code of line 1; a text can be written with "
                           "one code only\n";
                  }
                  return out + "warning: many.tbl: … and 5 more of this kind\n25 findings\n";
                }(),
                {},
                ""},
        CliCase{"CheckTblProblems",
                {"check-tables", "--tbl", "bad.tbl"},
                "",
                2,
                "",
                {"bad.tbl:2: a second entry for the code of line 1\n"},
                ""},
        CliCase{"ExportTblCanonical",
                {"export-tbl", "--tbl", "g.tbl", "-o", "out.bin"},
                "",
                0,
                "",
                {},
                "82A0=\xE3\x81\x82\n8141=\xE3\x80\x81=\n/FF=[end]\n*0A\n$FE=<wait>,1\n"},
        CliCase{"CheckLoadError",
                {"check-tables", "--tables", "none"},
                "",
                2,
                "",
                {"none", "Zezovar.ini"},
                ""},
        CliCase{"ReportStrict",
                {"encode", "--report", "-o", "out.bin"},
                "あΩい\nΩ<0C>",
                1,
                "",
                {"-:1:2: no code for 'Ω' (U+03A9)", "coverage: 2 characters converted",
                 "  page 0        2\n", "  line breaks   1\n", "  bytes in tags 1\n",
                 "coverage: 1 character without a code, 2 times in all",
                 "'Ω' (U+03A9) 2 times, first at 1:2", "nothing written to out.bin"},
                "-"},
        CliCase{"ReportClean",
                {"encode", "--report", "-o", "out.bin"},
                "あ字 ",
                0,
                "",
                {"tables: @WORK@\n", "  page 0        1\n", "  page 3 (22)   1\n",
                 "  spaces        1\n", "wrote 4 bytes to out.bin"},
                "\x56\x22\x7B\x50"},
        CliCase{"KeepGoingDropsAndSaysSo",
                {"encode", "--keep-going", "-o", "out.bin"},
                "あΩ\rΩ\nい",
                0,
                "",
                {"-:1:2: no code for", "-:2:1: no code for",
                 "wrote 4 bytes to out.bin WITHOUT the 2 characters listed above"},
                "\x56\x24\x24\x58"},
        CliCase{"KeepGoingStillNeedsPairs",
                {"encode", "--keep-going", "-o", "out.bin"},
                "あ<1>",
                1,
                "",
                {"the hex digits do not pair up", "nothing written"},
                "-"}),
    CaseName<CliCase>);

// Random bytes through the binary: decode, then encode the text, must give
// the bytes back, with LF and default line breaks or CR LF and --exact.
TEST(CliRoundTripTest, DecodeThenEncodeGivesTheBytes) {
  Scratch scratch;
  std::mt19937 rng(99);
  const unsigned char special[] = {0x18, 0x20, 0x21, 0x22, 0x23, 0x24, 0x50};
  for (int round = 0; round < 12; ++round) {
    std::string bytes(rng() % 300, '\0');
    for (char& b : bytes) {
      b = static_cast<char>(rng() % 3 == 0 ? special[rng() % 7] : rng() % 256);
    }
    WriteAll(scratch.work() / "in.bin", bytes);
    const bool crlf = round % 2 == 1;
    std::vector<std::string> decode{"decode", "-o", "text.txt", "in.bin"};
    std::vector<std::string> encode{"encode", "-o", "back.bin", "text.txt"};
    if (crlf) {
      decode.push_back("--crlf");
      encode.push_back("--exact");
    }
    const Outcome decoded = RunCli(scratch, decode);
    ASSERT_EQ(decoded.exit_code, 0) << decoded.err;
    const Outcome encoded = RunCli(scratch, encode);
    ASSERT_EQ(encoded.exit_code, 0) << encoded.err;
    EXPECT_EQ(Hex(bytes), Hex(ReadAll(scratch.work() / "back.bin")))
        << "text " << ReadAll(scratch.work() / "text.txt");
  }
}

}  // namespace
