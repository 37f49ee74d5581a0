// The README's worked examples of "Translating a whole script" and "Any
// game's table", run as the README shows them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/bytes.h"
#include "support/cli_runner.h"
#include "support/files.h"
#include "support/script_game.h"

namespace binconv::cli_test {
namespace {

using namespace binconv::test;

const std::string kLong9 = "ううううううううう";  // 9 bytes and the end byte: past a room of 8

// The README's walk-through, step by step; with BINCONV_SCRIPT_EXAMPLE set,
// the example game and its plan are also written into that folder.
TEST(CliScriptExampleTest, ReadmeWalkThrough) {
  const std::string plan =
      "format nes u16le base=0x8000\nspace  0x80..0x8F\n"
      "script s.txt table=0x10 count=4 format=nes end=FF text=0x40..0x4F skip=0xFFFF\n";
  if (const char* dir = std::getenv("BINCONV_SCRIPT_EXAMPLE")) {
    fs::create_directories(dir);
    WriteAll(fs::path(dir) / "game.bin", ExampleScriptGame());
    WriteAll(fs::path(dir) / "plan.txt", plan);
  }
  Scratch scratch;
  WriteAll(scratch.work() / "game.bin", ExampleScriptGame());
  WriteAll(scratch.work() / "plan.txt", plan);
  ASSERT_EQ(RunCli(scratch, {"dump", "--from", "game.bin", "plan.txt"}).exit_code, 0);
  const std::string script = ReadAll(scratch.work() / "s.txt");
  EXPECT_EQ(script,
            "#binconv script 1\n#game game.bin size=256 crc32=d7e72f4e\n#plan plan.txt s.txt\n\n"
            "@0 ptr=0x10,0x14 at=0x40 room=8\n;あい\nあい\n\n"
            "@1 ptr=0x12 at=0x48 room=8\n;う\nう\n\n");
  std::string edited = script;
  edited.replace(edited.rfind("\nう\n"), 5, "\n" + kLong9 + "\n");
  WriteAll(scratch.work() / "s.txt", edited);
  const Outcome inserted = RunCli(
      scratch, {"insert", "--from", "game.bin", "-o", "new.bin", "--map", "map.csv", "plan.txt"});
  ASSERT_EQ(inserted.exit_code, 0) << inserted;
  EXPECT_EQ(inserted.err,
            "s.txt: 1 stayed, 1 moved, 1 unchanged\nspace 0x80..0x8F: 10 bytes used, 6 bytes free\n"
            "2 texts put into new.bin\n");
  EXPECT_EQ(ReadAll(scratch.work() / "map.csv"),
            "script,index,pointers,old_offset,new_offset,bytes\n"
            "s.txt,0,0x10;0x14,0x40,0x40,3\ns.txt,1,0x12,0x48,0x80,10\n");
  const Outcome decoded = RunCli(scratch, {"decode", "--at", "0x80", "--length", "9", "new.bin"});
  EXPECT_EQ(decoded.out, kLong9);

  // A bank and a grown game: the space in the grown part lies past the
  // window, so the text takes the other; widened, the window reaches it.
  std::string big_plan =
      "format nes u16le base=0x8000 window=0x8000..0x80FF\ngrow   0x180\n"
      "space  0x100..0x17F\nspace  0x80..0x8F\n"
      "script s.txt table=0x10 count=4 format=nes end=FF text=0x40..0x4F skip=0xFFFF\n";
  WriteAll(scratch.work() / "big.txt", big_plan);
  const Outcome grown = RunCli(scratch, {"insert", "--from", "game.bin", "-o", "big.bin", "big.txt"});
  ASSERT_EQ(grown.exit_code, 0) << grown;
  EXPECT_EQ(grown.err,
            "s.txt: 1 stayed, 1 moved, 1 unchanged\nspace 0x100..0x17F: 0 bytes used, 128 bytes "
            "free\nspace 0x80..0x8F: 10 bytes used, 6 bytes free\n2 texts put into big.bin\n");
  const std::string big = ReadAll(scratch.work() / "big.bin");
  EXPECT_EQ(Hex(big), Hex(ReadAll(scratch.work() / "new.bin") + std::string(0x80, '\xFF')));
  big_plan.replace(big_plan.find("0x80FF"), 6, "0x817F");
  WriteAll(scratch.work() / "big.txt", big_plan);
  const Outcome wide = RunCli(scratch, {"insert", "--from", "game.bin", "-o", "big.bin", "big.txt"});
  EXPECT_NE(wide.err.find("space 0x100..0x17F: 10 bytes used, 118 bytes free"), std::string::npos)
      << wide;
  EXPECT_EQ(Hex(ReadAll(scratch.work() / "big.bin").substr(0x12, 2)), Hex(std::string("\x00\x81", 2)));
  // Named, with spaces=low on the script line, the text keeps to 0x80.
  big_plan.insert(big_plan.find("0x100.."), "grown ");
  big_plan.insert(big_plan.find("0x80.."), "low ");
  big_plan.insert(big_plan.find("\n", big_plan.find("script")), " spaces=low");
  WriteAll(scratch.work() / "big.txt", big_plan);
  const Outcome low = RunCli(scratch, {"insert", "--from", "game.bin", "-o", "big.bin", "big.txt"});
  EXPECT_NE(low.err.find("space low 0x80..0x8F: 10 bytes used"), std::string::npos) << low;
  EXPECT_EQ(Hex(ReadAll(scratch.work() / "big.bin").substr(0x12, 2)), Hex(std::string("\x80\x80")));
}

// The README's "Any game's table": a .tbl with two-byte codes, DTE, a control
// with a parameter, an end token and a line-break code; a game whose two
// strings use them all, the second with a parameter byte equal to the end.
TEST(CliScriptExampleTest, ReadmeGameTable) {
  const std::string tbl =
      "# Letters, one byte each\n10=あ\n11=い\n12=う\n13=か\n14=き\n15=は\n16=を\n"
      "17=た\n18=お\n19=し\n# Two-byte codes\n8141=勇\n8142=者\n8143=剣\n8144=手\n"
      "8145=入\n8146=れ\n# DTE and MTE: one code, several letters\n30=です\n31=ゆうしゃ\n"
      "32=した\n$FE=<wait>,1\n/FF=<end>\n*FD\n";
  std::string game(0x80, '\0');
  game.replace(0x10, 4, "\x40\x80\x50\x80");
  game.replace(0x40, 11, "\x31\x15\xFE\x1E\xFD\x81\x41\x81\x42\x30\xFF");
  game.replace(0x50, 13, "\x81\x43\x16\xFE\xFF\x81\x44\x81\x45\x81\x46\x32\xFF");
  game.replace(0x60, 0x20, std::string(0x20, '\xFF'));
  const std::string plan =
      "format gba u16le base=0x8000\nspace  0x60..0x7F\n"
      "script s.txt table=0x10 count=2 format=gba text=0x40..0x5F\n";
  Scratch scratch;
  std::vector<fs::path> folders{scratch.work()};
  if (const char* dir = std::getenv("BINCONV_TBL_EXAMPLE")) folders.emplace_back(dir);
  for (const fs::path& folder : folders) {
    fs::create_directories(folder);
    WriteAll(folder / "game.tbl", tbl);
    WriteAll(folder / "game.bin", game);
    WriteAll(folder / "plan.txt", plan);
  }
  const Outcome dumped =
      RunCli(scratch, {"dump", "--tbl", "game.tbl", "--from", "game.bin", "plan.txt"});
  ASSERT_EQ(dumped.exit_code, 0) << dumped;
  const std::string script = ReadAll(scratch.work() / "s.txt");
  EXPECT_EQ(script,
            "#binconv script 1\n#game game.bin size=128 crc32=e8dcb6db\n#plan plan.txt s.txt\n\n"
            "@0 ptr=0x10 at=0x40 room=16\n;ゆうしゃは<wait><1E>\n;勇者です\n"
            "ゆうしゃは<wait><1E>\n勇者です\n\n"
            "@1 ptr=0x12 at=0x50 room=16\n;剣を<wait><FF>手入れした\n剣を<wait><FF>手入れした\n\n");
  std::string edited = script;
  const std::string old_line = "\n剣を<wait><FF>手入れした\n\n";
  edited.replace(edited.rfind(old_line), old_line.size(),
                 "\n勇者は剣を手入れした<wait><3C>\nゆうしゃです\n\n");
  WriteAll(scratch.work() / "s.txt", edited);
  const Outcome inserted = RunCli(
      scratch, {"insert", "--tbl", "game.tbl", "--from", "game.bin", "-o", "new.bin", "plan.txt"});
  ASSERT_EQ(inserted.exit_code, 0) << inserted;
  EXPECT_EQ(inserted.err,
            "s.txt: 1 stayed, 1 moved, 1 unchanged\nspace 0x60..0x7F: 21 bytes used, 11 bytes free\n"
            "2 texts put into new.bin\n");
  const Outcome decoded = RunCli(
      scratch, {"decode", "--tbl", "game.tbl", "--end", "token", "--at", "0x60", "new.bin"});
  EXPECT_EQ(decoded.out, "勇者は剣を手入れした<wait><3C>\nゆうしゃです");
  const Outcome search = RunCli(scratch, {"search", "--tbl", "game.tbl", "new.bin", "ゆうしゃです"});
  EXPECT_EQ(search.out, "0x0000072\tゆうしゃです\n");
}

}  // namespace
}  // namespace binconv::cli_test
