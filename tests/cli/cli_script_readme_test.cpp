// The manual's worked examples of scripts (docs/scripts.md), on the files of
// examples/: the walk-through with the default tables, and the one through a
// game's .tbl. docs_test runs the page itself; this also tries the plan's
// variants that the page only describes.

#include <gtest/gtest.h>

#include <string>

#include "support/bytes.h"
#include "support/cli_runner.h"
#include "support/examples.h"
#include "support/files.h"

namespace binconv::cli_test {
namespace {

using namespace binconv::test;

const std::string kLong9 = "ううううううううう";  // 9 bytes and the end byte: past a room of 8

// The walk-through, step by step.
TEST(CliScriptExampleTest, ReadmeWalkThrough) {
  Scratch scratch;
  WriteAll(scratch.work() / "game.bin", ExampleBytes("game.bin"));
  WriteAll(scratch.work() / "plan.txt", ExampleBytes("plan.txt"));
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
  std::string big_plan = ExampleBytes("big.txt");
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

// Through a game's .tbl (examples/tbl): two-byte codes, DTE, a control with
// a parameter, an end token and a line-break code; a game whose two strings
// use them all, the second with a parameter byte equal to the end.
TEST(CliScriptExampleTest, ReadmeGameTable) {
  Scratch scratch;
  for (const char* name : {"game.tbl", "game.bin", "plan.txt"}) {
    WriteAll(scratch.work() / name, ExampleBytes(std::string("tbl/") + name));
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
