// The round trip of dump and insert through binconv-cli, as a property over
// random games: untouched scripts give the game back byte for byte.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/bytes.h"
#include "support/cli_runner.h"
#include "support/files.h"
#include "support/script_game.h"

namespace binconv::cli_test {
namespace {

using namespace binconv::test;

struct RoundTripCase {
  const char* name;
  ScriptGameSpec def;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }

class CliScriptRoundTripTest : public testing::TestWithParam<RoundTripCase> {};

TEST_P(CliScriptRoundTripTest, DumpThenInsertGivesTheSameGame) {
  for (unsigned seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    const ScriptGameFiles files = MakeScriptGame(GetParam().def, seed);
    Scratch scratch;
    WriteAll(scratch.work() / "game.bin", files.game);
    WriteAll(scratch.work() / "plan.txt", files.plan);
    std::vector<std::string> tbl;
    if (GetParam().def.game_table) {
      WriteAll(scratch.work() / "game.tbl", files.tbl);
      tbl = {"--tbl", "game.tbl"};
    }
    auto with_tbl = [&](std::vector<std::string> args) {
      args.insert(args.begin() + 1, tbl.begin(), tbl.end());
      return args;
    };
    const Outcome dumped =
        RunCli(scratch, with_tbl({"dump", "--from", "game.bin", "plan.txt"}));
    ASSERT_EQ(dumped.exit_code, 0) << dumped << files.plan << files.tbl;
    // Tails show where they lie.
    EXPECT_EQ(ReadAll(scratch.work() / "script.txt").find(" in=0x") != std::string::npos,
              GetParam().def.tails != 0);
    const Outcome inserted =
        RunCli(scratch, with_tbl({"insert", "--from", "game.bin", "-o", "out.bin", "plan.txt"}));
    ASSERT_EQ(inserted.exit_code, 0) << inserted << ReadAll(scratch.work() / "script.txt");
    EXPECT_NE(inserted.err.find(" 0 moved"), std::string::npos) << inserted;
    ASSERT_EQ(Hex(ReadAll(scratch.work() / "out.bin")),
              Hex(files.game + std::string(GetParam().def.grow, '\xEE')))
        << files.plan << ReadAll(scratch.work() / "script.txt");
  }
}

RoundTripCase Trip(const char* name, const char* format, bool split = false, bool pack = false,
                   bool text_block = true, std::uint64_t header = 0, bool table_in_block = false,
                   bool game_table = false, bool second = false, std::size_t tails = 0,
                   std::uint64_t grow = 0) {
  return {name, ScriptGameSpec{format, split, pack, text_block, 8, 14, header, table_in_block,
                               game_table, second, tails, grow}};
}

INSTANTIATE_TEST_SUITE_P(
    EveryType, CliScriptRoundTripTest,
    testing::Values(
        Trip("U16leLinear", "u16le base=0x8000"),
        Trip("U16beLinearHeader", "u16be header=0x10 base=0x8000", false, false, true, 0x10),
        Trip("U24leLoRom", "u24le map=lorom base=0x800000"), Trip("U24beHiRom", "u24be map=hirom"),
        Trip("U32leLinear", "u32le base=0x08000000"), Trip("U32beLoRom", "u32be map=lorom"),
        Trip("U16leSelf", "u16le relative=self"), Trip("U24beTable", "u24be relative=table"),
        Trip("U32leHiRomNoBlock", "u32le map=hirom", false, false, false),
        Trip("SplitLinear", "u16le base=0x8000", true),
        Trip("SplitTableRelative", "u16be relative=table", true, false, false),
        Trip("PackLinear", "u16le base=0x8000", false, true),
        Trip("PackSplitSelf", "u16le relative=self", true, true),
        Trip("PackU24LoRom", "u24le map=lorom", false, true),
        Trip("TableInsideTheBlock", "u16le base=0x8000", false, false, true, 0, true),
        Trip("GameTable", "u16le base=0x8000", false, false, true, 0, false, true),
        Trip("GameTablePackU24", "u24le map=lorom", false, true, true, 0, false, true),
        Trip("GameTableSplitNoBlock", "u16be base=0x8000", true, false, false, 0, false, true),
        Trip("SharedInterleaved", "u16le base=0x8000", false, false, true, 0, false, false, true),
        Trip("SharedInterleavedNoBlock", "u24be map=lorom", false, false, false, 0, false, false,
             true),
        Trip("SharedInterleavedInBlock", "u32le relative=self", false, false, true, 0, true, false,
             true),
        Trip("SharedGameTable", "u16be relative=table", false, false, true, 0, false, true,
             true),
        Trip("WindowAndBank", "u16le base=0x8000 window=0x8000..0x8FFF bank=0x400"),
        Trip("PackLoRomWindow", "u24le map=lorom base=0x800000 window=0x808000..0x80FFFF", false,
             true),
        Trip("PackTableInsideTheBlock", "u16le base=0x8000", false, true, true, 0, true),
        Trip("Tails", "u16le base=0x8000", false, false, true, 0, false, false, false, 4),
        Trip("TailsNoBlock", "u24be map=hirom", false, false, false, 0, false, false, false, 4),
        Trip("TailsPackGrown", "u16le relative=self", false, true, true, 0, false, false, false, 4,
             0x400),
        Trip("TailsSharedInterleaved", "u32le base=0x08000000", false, false, true, 0, false,
             false, true, 3)));

}  // namespace
}  // namespace binconv::cli_test
