// Scripts that move, end to end through binconv-cli: dump through a pointer
// table, edit, insert with relocation and pointer rewriting. Whatever is
// refused leaves every file as it was.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "support/bytes.h"
#include "support/cli_runner.h"
#include "support/files.h"
#include "support/script_game.h"

namespace binconv::cli_test {
namespace {

using namespace binconv::test;

std::string Bytes(std::initializer_list<unsigned> values) {
  std::string bytes;
  for (const unsigned v : values) bytes += static_cast<char>(v);
  return bytes;
}

// The manual's example game, examples/game.bin (support/script_game.h).
std::string Game(bool split = false, unsigned last = 0xFFFF) {
  return ExampleScriptGame(split, last);
}

constexpr char kFormat[] = "format nes u16le base=0x8000\n";
constexpr char kSpace[] = "space 0x80..0x8F\n";
constexpr char kScript[] =
    "script s.txt table=0x10 count=4 format=nes end=FF text=0x40..0x4F skip=0xFFFF";
constexpr char kSplitScript[] =
    "script s.txt lo=0x10 hi=0x18 count=4 format=nes end=FF text=0x40..0x4F skip=0xFFFF";

struct Patch {
  std::size_t at;
  std::string bytes;
};

std::string Patched(std::string game, const std::vector<Patch>& patches) {
  for (const Patch& p : patches) game.replace(p.at, p.bytes.size(), p.bytes);
  return game;
}

struct ScriptCase {
  const char* name;
  std::string plan;                                        // plan.txt
  std::vector<std::pair<std::string, std::string>> edits{};  // on the dumped s.txt
  int exit_code;
  std::vector<Patch> patches{};  // of out.bin against the game; unused on failure
  std::vector<std::string> err_has{};
  std::vector<std::string> extra_args{};
  bool split = false;
  bool into = false;         // --into game.bin instead of --from game.bin -o out.bin
  bool poke = false;         // change the game after the dump
  std::string fixed_text{};  // t.txt, for a fixed entry
  std::string out_has{};     // on standard output
  // A refusal's words when the locale asks for Japanese.
  std::vector<std::string> err_has_ja{};
};

void PrintTo(const ScriptCase& c, std::ostream* os) { *os << c.name; }

std::string Plan(const std::string& script_words = "", const std::string& space = kSpace) {
  return std::string(kFormat) + space + kScript + script_words + "\n";
}

class CliScriptTest : public testing::TestWithParam<ScriptCase> {};

TEST_P(CliScriptTest, InsertsExactlyOrTouchesNothing) {
  const ScriptCase& c = GetParam();
  Scratch scratch;
  const std::string game = Game(c.split);
  WriteAll(scratch.work() / "game.bin", game);
  WriteAll(scratch.work() / "plan.txt", c.plan);
  if (!c.fixed_text.empty()) WriteAll(scratch.work() / "t.txt", c.fixed_text);
  const Outcome dumped = RunCli(scratch, {"dump", "--from", "game.bin", "plan.txt"});
  if (dumped.exit_code != 0) {
    // A plan insert would refuse untouched is refused by dump, in the same words.
    ASSERT_NE(c.exit_code, 0) << dumped;
    for (const std::string& part : c.err_has) EXPECT_NE(dumped.err.find(part), std::string::npos);
    return;
  }
  std::string script = ReadAll(scratch.work() / "s.txt");
  for (const auto& [from, to] : c.edits) {
    const std::size_t at = script.find(from);
    ASSERT_NE(at, std::string::npos) << from << " not in\n" << script;
    script.replace(at, from.size(), to);
  }
  WriteAll(scratch.work() / "s.txt", script);
  std::string start = game;
  if (c.poke) {
    start[0xF0] = static_cast<char>(start[0xF0] ^ 1);
    WriteAll(scratch.work() / "game.bin", start);
  }
  const std::set<std::string> before = scratch.Names();
  std::vector<std::string> args = {"insert"};
  if (c.into) {
    args.insert(args.end(), {"--into", "game.bin"});
  } else {
    args.insert(args.end(), {"--from", "game.bin", "-o", "out.bin"});
  }
  args.insert(args.end(), c.extra_args.begin(), c.extra_args.end());
  args.push_back("plan.txt");
  const Outcome outcome = RunCli(scratch, args);
  EXPECT_EQ(outcome.exit_code, c.exit_code) << outcome << "\n" << script;
  for (const std::string& part : c.err_has) {
    EXPECT_NE(outcome.err.find(part), std::string::npos) << "no '" << part << "' in\n"
                                                         << outcome.err;
  }
  if (!c.out_has.empty()) {
    EXPECT_NE(outcome.out.find(c.out_has), std::string::npos) << outcome;
  }
  if (!c.err_has_ja.empty()) {
    const Outcome japanese = RunCli(scratch, args, {.locale = {"LANGUAGE=ja_JP.UTF-8"}});
    EXPECT_EQ(japanese.exit_code, c.exit_code);
    for (const std::string& part : c.err_has_ja) {
      EXPECT_NE(japanese.err.find(part), std::string::npos) << "no '" << part << "' in\n"
                                                            << japanese.err;
    }
  }
  const bool written =
      c.exit_code == 0 && !c.into &&
      std::find(c.extra_args.begin(), c.extra_args.end(), "--dry-run") == c.extra_args.end();
  if (c.exit_code != 0 || !written) {
    std::set<std::string> after = scratch.Names();
    EXPECT_EQ(after, before) << "a file was left or lost";
  }
  if (c.into) {
    EXPECT_EQ(Hex(ReadAll(scratch.work() / "game.bin")),
              Hex(c.exit_code == 0 ? Patched(start, c.patches) : start));
  } else {
    EXPECT_EQ(Hex(ReadAll(scratch.work() / "game.bin")), Hex(start)) << "the original changed";
    if (written) {
      EXPECT_EQ(Hex(ReadAll(scratch.work() / "out.bin")), Hex(Patched(start, c.patches)));
    }
  }
}

const std::string kLong9 = "ううううううううう";  // 9 bytes and the end byte: past a room of 8
const std::string kLong9Bytes = std::string(9, '\x5A') + "\xFF";

INSTANTIATE_TEST_SUITE_P(
    Relocation, CliScriptTest,
    testing::Values(
        ScriptCase{"UnchangedIsTheSameGame", Plan(), {}, 0, {}, {"2 stayed, 0 moved"}},
        ScriptCase{"LongerTextMovesAndItsPointerFollows",
                   Plan(),
                   {{"\nう\n", "\n" + kLong9 + "\n"}},
                   0,
                   {{0x80, kLong9Bytes}, {0x12, Bytes({0x80, 0x80})}},
                   {"1 stayed, 1 moved", "space 0x80..0x8F: 10 bytes used, 6 bytes free"}},
        ScriptCase{"EveryPointerOfASharedTextIsRewritten",
                   Plan(),
                   {{"\nあい\n", "\nあああああああああ\n"}},
                   0,
                   {{0x80, std::string(9, '\x56') + "\xFF"},
                    {0x10, Bytes({0x80, 0x80})},
                    {0x14, Bytes({0x80, 0x80})}}},
        // ptr= gives one pointer of a shared text its own; the first pointer
        // keeps the room.
        ScriptCase{"OnePointerOfASharedTextGetsItsOwn",
                   Plan(),
                   {{"@0 ptr=0x10,0x14", "@2 ptr=0x14\nううう\n\n@0 ptr=0x10"}},
                   0,
                   {{0x80, Bytes({0x5A, 0x5A, 0x5A, 0xFF})}, {0x14, Bytes({0x80, 0x80})}}},
        ScriptCase{"AnEditedAtIsRefused",
                   Plan(),
                   {{"at=0x48", "at=0x49"}},
                   1,
                   {},
                   {"s.txt:9: @1: at= says 0x49, but the pointer leads to 0x48"}},
        ScriptCase{"AnEditedRoomIsRefused",
                   Plan(),
                   {{"room=8\n;う", "room=9\n;う"}},
                   1,
                   {},
                   {"s.txt:9: @1: room= says 9, but the string has 8 bytes in place"}},
        ScriptCase{"APointerOfAnotherStringIsRefused",
                   Plan(),
                   {{"ptr=0x12", "ptr=0x12,0x14"}},
                   1,
                   {},
                   {"s.txt:9: @1: ptr= lists 0x14, which leads to another string than 0x12"}},
        // The room of a text left as it was keeps its bytes.
        ScriptCase{"FillCoversOldRoomsAndTheRestOfChangedRooms",
                   Plan(" fill=00"),
                   {{"\nう\n", "\n" + kLong9 + "\n"}, {"\nあい\n", "\nあ\n"}},
                   0,
                   {{0x40, Bytes({0x56, 0xFF}) + std::string(6, '\0')},
                    {0x48, std::string(8, '\0')},
                    {0x80, kLong9Bytes},
                    {0x12, Bytes({0x80, 0x80})}}},
        ScriptCase{"IdenticalMovedTextsAreStoredOnce",
                   Plan(),
                   {{"\nあい\n", "\n" + kLong9 + "\n"}, {"\nう\n", "\n" + kLong9 + "\n"}},
                   0,
                   {{0x80, kLong9Bytes}, {0x10, Bytes({0x80, 0x80, 0x80, 0x80, 0x80, 0x80})}},
                   {"0 stayed, 2 moved (1 onto identical texts)"}},
        // The summary names a named space.
        ScriptCase{"MovedTextsAreAligned",
                   Plan(" align=4", "space tail 0x81..0x8F fill=EE\n"),
                   {{"\nう\n", "\n" + kLong9 + "\n"}},
                   0,
                   {{0x81, Bytes({0xEE, 0xEE, 0xEE})},
                    {0x84, kLong9Bytes + "\xEE\xEE"},
                    {0x12, Bytes({0x84, 0x80})}},
                   {"space tail 0x81..0x8F: 13 bytes used, 2 bytes free"}},
        ScriptCase{"PackLaysTheBlockOutAgain",
                   Plan(" layout=pack fill=EE"),
                   {{"\nあい\n", "\nあ\n"}, {"\nう\n", "\nうう\n"}},
                   0,
                   {{0x40, Bytes({0x56, 0xFF, 0x5A, 0x5A, 0xFF}) + std::string(11, '\xEE')},
                    {0x12, Bytes({0x42, 0x80})}}},
        ScriptCase{"SplitTablePointersAreRewrittenByteByByte",
                   std::string(kFormat) + kSpace + kSplitScript + "\n",
                   {{"\nう\n", "\n" + kLong9 + "\n"}},
                   0,
                   {{0x80, kLong9Bytes}, {0x11, Bytes({0x80})}, {0x19, Bytes({0x80})}},
                   {},
                   {},
                   true},
        ScriptCase{"IntoPatchesInPlace",
                   Plan(),
                   {{"\nう\n", "\n" + kLong9 + "\n"}},
                   0,
                   {{0x80, kLong9Bytes}, {0x12, Bytes({0x80, 0x80})}},
                   {},
                   {},
                   false,
                   true},
        ScriptCase{"FixedEntryBesideTheScript",
                   Plan() + "0xA0 4 t.txt 00\n",
                   {},
                   0,
                   {{0xA0, Bytes({0x56, 0, 0, 0})}},
                   {},
                   {},
                   false,
                   false,
                   false,
                   "あ"},
        ScriptCase{"DryRunWritesNothing",
                   Plan(),
                   {{"\nう\n", "\n" + kLong9 + "\n"}},
                   0,
                   {},
                   {"nothing written (--dry-run)"},
                   {"--dry-run"}},
        // A dry run writes no map, but shows it on standard output when asked.
        ScriptCase{"DryRunWritesNoMap",
                   Plan(),
                   {{"\nう\n", "\n" + kLong9 + "\n"}},
                   0,
                   {},
                   {"nothing written (--dry-run)"},
                   {"--dry-run", "--map", "m.csv"}},
        ScriptCase{.name = "DryRunShowsTheMapOnStandardOutput",
                   .plan = Plan(),
                   .edits = {{"\nう\n", "\n" + kLong9 + "\n"}},
                   .exit_code = 0,
                   .extra_args = {"--dry-run", "--map", "-"},
                   .out_has = "s.txt,1,0x12,0x48,0x80,10\n"},
        // A moved text that would cross a bank boundary starts the next bank.
        ScriptCase{"MovedTextStartsTheNextBank",
                   "format nes u16le base=0x8000 bank=0x84\n" + std::string(kSpace) + kScript + "\n",
                   {{"\nう\n", "\n" + kLong9 + "\n"}},
                   0,
                   {{0x84, kLong9Bytes}, {0x12, Bytes({0x84, 0x80})}}},
        // The grown part holds the space; the script still checks against the
        // original game it was dumped from.
        ScriptCase{"GrownGameHoldsTheSpace",
                   std::string(kFormat) + "grow 0x140 fill=EE\nspace 0x100..0x13F\n" + kScript + "\n",
                   {{"\nう\n", "\n" + kLong9 + "\n"}},
                   0,
                   {{0x100, kLong9Bytes + std::string(0x36, '\xEE')}, {0x12, Bytes({0x00, 0x81})}},
                   {"1 stayed, 1 moved, 1 unchanged", "BPS patch of", "checked"},
                   {"--patch", "g.bps"}},
        ScriptCase{.name = "GrownInPlace",
                   .plan = std::string(kFormat) + "grow 0x120\nspace 0x100..0x11F\n" + kScript + "\n",
                   .edits = {{"\nう\n", "\n" + kLong9 + "\n"}},
                   .exit_code = 0,
                   .patches = {{0x100, kLong9Bytes + std::string(0x16, '\xFF')},
                               {0x12, Bytes({0x00, 0x81})}},
                   .into = true},
        ScriptCase{.name = "MapToStandardOutput",
                   .plan = Plan(),
                   .edits = {{"\nう\n", "\n" + kLong9 + "\n"}},
                   .exit_code = 0,
                   .patches = {{0x80, kLong9Bytes}, {0x12, Bytes({0x80, 0x80})}},
                   // "-" rather than /dev/stdout, which Windows doesn't have.
                   .extra_args = {"--map", "-"},
                   .into = true,
                   .out_has = "s.txt,1,0x12,0x48,0x80,10\n"}));

INSTANTIATE_TEST_SUITE_P(
    Refused, CliScriptTest,
    testing::Values(
        // Every output is checked before the game is replaced.
        ScriptCase{.name = "MapThatCantBeWrittenLeavesTheGame",
                   .plan = Plan(),
                   .edits = {{"\nう\n", "\n" + kLong9 + "\n"}},
                   .exit_code = 2,
                   .err_has = {"nosuch/m.csv"},
                   .extra_args = {"--map", "nosuch/m.csv"},
                   .into = true},
        ScriptCase{.name = "MapOverTheGame",
                   .plan = Plan(),
                   .exit_code = 2,
                   .err_has = {"--into GAME and --map FILE name the same file"},
                   .extra_args = {"--map", "./game.bin"},
                   .into = true},
        ScriptCase{.name = "NoSpaceHasRoom",
                   .plan = Plan(),
                   .edits = {{"\nう\n", "\n" + kLong9 + kLong9 + "うう\n"}},
                   .exit_code = 1,
                   .err_has = {"s.txt:9:1: @1 needs 21 bytes; its room holds 8 and no space has "
                               "21 bytes left (0x80..0x8F: 16 free)"},
                   .err_has_ja = {"s.txt:9:1: @1 には 21 バイト必要ですが", "0x80..0x8F：空き 16 バイト"}},
        ScriptCase{"WindowLeavesNoSpaceInReach",
                   "format nes u16le base=0x8000 window=0x8000..0x807F\n" + std::string(kSpace) +
                       kScript + "\n",
                   {{"\nう\n", "\n" + kLong9 + "\n"}},
                   1,
                   {},
                   {"s.txt:9:1: @1 needs 10 bytes; its room holds 8 and no space lies within "
                    "reach of its pointers, which reach only 0x0..0x7F"}},
        // From 0x80 the text would cross 0x88, and the next bank is past the space.
        ScriptCase{"BankBoundaryLeavesNoRun",
                   "format nes u16le base=0x8000 bank=0x88\n" + std::string(kSpace) + kScript + "\n",
                   {{"\nう\n", "\n" + kLong9 + "\n"}}, 1, {},
                   {"@1 needs 10 bytes; its room holds 8 and it would cross a bank boundary "
                    "(banks of 0x88 bytes) in 0x80..0x8F: 16 free"}},
        // The unnamed space has room, but the script may use only its two.
        ScriptCase{"OnlyTheNamedSpaces",
                   Plan(" spaces=zz,few", "space 0x80..0x8F\nspace few 0x90..0x93\n"
                                          "space zz 0x94..0x96\n"),
                   {{"\nう\n", "\n" + kLong9 + "\n"}}, 1, {},
                   {"@1 needs 10 bytes; its room holds 8 and none of spaces=few,zz has 10 bytes "
                    "left (few 0x90..0x93: 4 free, zz 0x94..0x96: 3 free)"}},
        ScriptCase{"LineWiderThanTheBox",
                   Plan(" width=2"),
                   {{"\nう\n", "\nううう\n"}},
                   1,
                   {},
                   {"s.txt:11:3: @1: the line shows 3 characters; width=2 allows no more"}},
        // The box is the translation's: "あい" as the game holds it passes.
        ScriptCase{"UntouchedTextWiderThanTheBox", Plan(" width=1"), {}, 0, {}},
        ScriptCase{"MoreLinesThanTheBox",
                   Plan(" lines=1"),
                   {{"\nう\n", "\nう\nう\n"}},
                   1,
                   {},
                   {"s.txt:12:1: @1: line 2 of one text box; lines=1 allows no more"}},
        ScriptCase{"CommentInsideATranslation",
                   Plan(),
                   {{"\nう\n", "\nう\n;note\nう\n"}},
                   1,
                   {},
                   {"s.txt:12: a ; line inside the text"}},
        ScriptCase{"ExactRefusesALoneCr",
                   Plan(),
                   {{"\nう\n", "\nう\rう\n"}},
                   1,
                   {},
                   {"s.txt:11:2: @1: no code for"},
                   {"--exact"}},
        ScriptCase{"EndByteInsideAText",
                   Plan(),
                   {{"\nう\n", "\nう<FF>う\n"}},
                   1,
                   {},
                   {"s.txt:11:", "@1: the end byte FF stands inside the text"}},
        ScriptCase{.name = "CharacterWithoutCode",
                   .plan = Plan(),
                   .edits = {{"\nう\n", "\nう漢漢\n"}},
                   .exit_code = 1,
                   // Named once, with how often and where else.
                   .err_has = {"s.txt:11:2: @1: no code for '漢'",
                               "2 times in all, also at s.txt:11:3"},
                   .err_has_ja = {"s.txt:11:2: @1: '漢' (U+6F22) のコードがありません。", "s.txt:11:3"}},
        ScriptCase{"UnknownEntry",
                   Plan(),
                   {{"\n\n@1", "\n\n@3\nう\n\n@1"}},
                   1,
                   {},
                   {"s.txt:9: @3: no string of the table has its first pointer at index 3"}},
        ScriptCase{"RepeatedEntry",
                   Plan(),
                   {{"\n\n@1", "\n\n@1\nう\n\n@1"}},
                   1,
                   {},
                   {"s.txt:12: @1: given again; its first entry is on line 9"}},
        ScriptCase{"MissingEntry",
                   Plan(),
                   {{"@1 ptr=0x12 at=0x48 room=8\n;う\nう\n", ""}},
                   1,
                   {},
                   {"s.txt:9: @1: missing: the table has a string there (at 0x48)"}},
        ScriptCase{"GameChangedSinceTheDump",
                   Plan(),
                   {},
                   1,
                   {},
                   {"s.txt:2: dumped from", "but game.bin has 256 bytes and CRC-32",
                    "build from the original with --from"},
                   {},
                   false,
                   true,
                   true},
        ScriptCase{"SpaceOverlapsARoom",
                   Plan("", "space 0x44..0x4F\n"),
                   {},
                   1,
                   {},
                   {"plan.txt:3: the room of @0 at 0x40 overlaps the space of line 2"}},
        ScriptCase{"SpacesOverlap",
                   Plan("", "space 0x80..0x8F\nspace 0x88..0x9F\n"),
                   {},
                   1,
                   {},
                   {"plan.txt:3: the space overlaps the space of line 2"}},
        ScriptCase{"FixedEntryOverPointers",
                   Plan() + "0x12 2 t.txt\n",
                   {},
                   1,
                   {},
                   {"plan.txt:4: the room overlaps the pointer table of line 3"},
                   {},
                   false,
                   false,
                   false,
                   "あ"}));

// --- dump's own refusals: nothing is written ------------------------------

struct DumpCase {
  const char* name;
  std::string plan;
  int exit_code;
  std::vector<std::string> err_has;
  unsigned last_pointer = 0xFFFF;
  bool script_exists = false;
  bool game_exists = true;
};

void PrintTo(const DumpCase& c, std::ostream* os) { *os << c.name; }

class CliDumpTest : public testing::TestWithParam<DumpCase> {};

TEST_P(CliDumpTest, RefusesAndWritesNothing) {
  const DumpCase& c = GetParam();
  Scratch scratch;
  if (c.game_exists) WriteAll(scratch.work() / "game.bin", Game(false, c.last_pointer));
  WriteAll(scratch.work() / "plan.txt", c.plan);
  if (c.script_exists) WriteAll(scratch.work() / "s.txt", "mine");
  const std::set<std::string> before = scratch.Names();
  const Outcome outcome = RunCli(scratch, {"dump", "--from", "game.bin", "plan.txt"});
  EXPECT_EQ(outcome.exit_code, c.exit_code) << outcome;
  for (const std::string& part : c.err_has) {
    EXPECT_NE(outcome.err.find(part), std::string::npos) << "no '" << part << "' in\n"
                                                         << outcome.err;
  }
  EXPECT_EQ(scratch.Names(), before);
  EXPECT_EQ(ReadAll(scratch.work() / "plan.txt"), c.plan);
}

std::string ScriptLine(const std::string& words) {
  return std::string(kFormat) + "script s.txt " + words + "\n";
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, CliDumpTest,
    testing::Values(
        // Refused by dump as insert would refuse it.
        DumpCase{"GrowThatWouldCut",
                 Plan() + "grow 16\n",
                 1,
                 {"plan.txt:4: grow 16 is less than the 256 bytes of game.bin, which it would cut"}},
        DumpCase{"PointerOutsideText",
                 ScriptLine("table=0x10 count=4 format=nes end=FF text=0x40..0x47 skip=0xFFFF"),
                 1,
                 {"plan.txt:2: pointer 1 at 0x12 leads to 0x48, outside text="}},
        DumpCase{"NoEndByteBeforeTheBlockEnds",
                 ScriptLine("table=0x10 count=4 format=nes end=FF text=0x40..0x48 skip=0xFFFF"),
                 1,
                 {"pointer 1 at 0x12 leads to a string at 0x48 with no end byte before 0x49"}},
        DumpCase{"StringPastMax",
                 ScriptLine("table=0x10 count=4 format=nes end=FF skip=0xFFFF max=1"),
                 1,
                 {"pointer 0 at 0x10 leads to a string at 0x40 with no end byte before 0x41, the "
                  "most one string may take (1 byte; max= in the plan allows more)"}},
        DumpCase{"PointerPastTheGame",
                 ScriptLine("table=0x10 count=4 format=nes end=FF"),
                 1,
                 {"pointer 3 at 0x16 leads to 0x7FFF, past the end of the game"}},
        DumpCase{"TablePointsIntoItself",
                 ScriptLine("table=0x10 count=4 format=nes end=FF"),
                 1,
                 {"pointer 3 at 0x16 leads to a string at 0x10 that lies over a pointer table"},
                 0x8010},
        DumpCase{"CountNear2To64",
                 ScriptLine("table=0x10 count=18446744073709551615 format=nes end=FF"),
                 1,
                 {"plan.txt:2: the pointer table ends at 0xFFFFFFFFFFFFFFFF, past the end of the "
                  "game (256 bytes)"}},
        DumpCase{"OffsetNear2To64",
                 ScriptLine("table=0xFFFFFFFFFFFFFFFF count=2 stride=0xFFFFFFFFFFFFFFFF "
                            "format=nes end=FF"),
                 1,
                 {"the pointer table ends at 0xFFFFFFFFFFFFFFFF"}},
        DumpCase{"SplitTableNear2To64",
                 ScriptLine("lo=0xFFFFFFFFFFFFFFF0 hi=0 count=0x20 format=nes end=FF"),
                 1,
                 {"the lo= table ends at 0xFFFFFFFFFFFFFFFF"}},
        DumpCase{"MillionEntries",
                 ScriptLine("table=0x10 count=1000000 format=nes end=FF"),
                 1,
                 {"the pointer table ends at 0x1E848F"}},
        DumpCase{"ScriptIsThePlan",
                 std::string(kFormat) + "script plan.txt table=0x10 count=1 format=nes end=FF\n",
                 1,
                 {"plan.txt:2: the script file is the plan itself"}},
        DumpCase{"TwoScriptsOneFile",
                 ScriptLine("table=0x10 count=1 format=nes end=FF") +
                     "script ./s.txt table=0x12 count=1 format=nes end=FF\n",
                 1,
                 {"plan.txt:3: the script file is also that of line 2"}},
        DumpCase{"UnknownFormat",
                 "script s.txt table=0x10 count=1 format=snes end=FF\n",
                 1,
                 {"plan.txt:1: no format line names 'snes'"}},
        DumpCase{"SplitNeeds16Bits",
                 "format f u24le\nscript s.txt lo=0x10 hi=0x18 count=1 format=f end=FF\n",
                 1,
                 {"a split lo/hi table needs a 16-bit TYPE"}},
        DumpCase{"BadFormatWord",
                 "format f u16le base=0x8000 map=lorom relative=self\n",
                 1,
                 {"plan.txt:1: relative= counts from the pointer"}},
        DumpCase{"SpacePastTheEnd",
                 std::string(kFormat) + "space 0xF0..0x1FF\n" +
                     "script s.txt table=0x10 count=1 format=nes end=FF\n",
                 1,
                 {"plan.txt:2: the space ends at 0x1FF, past the end of the game (256 bytes)"}},
        DumpCase{"SpaceNames",
                 "space 1st 0x80..0x83\nspace a 0x84..0x87\nspace a 0x88..0x8B fill=00\n" +
                     ScriptLine("table=0x10 count=1 format=nes end=FF spaces=a,b"),
                 1,
                 {"plan.txt:1: '1st' is not a space name: letters, digits, _ and -, not starting "
                  "with a digit",
                  "plan.txt:3: the space 'a' is already named on line 2",
                  "plan.txt:5: spaces= names 'b', which no space line names"}},
        DumpCase{"ExistingFileNeedsForce",
                 ScriptLine("table=0x10 count=3 format=nes end=FF"),
                 2,
                 {"s.txt: already exists; use --force to replace it"},
                 0xFFFF,
                 true},
        // The game is named before the script in the way.
        DumpCase{"MissingGameComesFirst",
                 ScriptLine("table=0x10 count=3 format=nes end=FF"),
                 2,
                 {"game.bin"},
                 0xFFFF,
                 true,
                 false}));

}  // namespace
}  // namespace binconv::cli_test
