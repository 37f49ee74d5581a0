// The scripts a plan names: the keyword lines as read and checked against a
// game's size, and each string a pointer table leads to, as the game reads it.

#include "script/script_plan.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "messages/messages.h"
#include "runtime/hex.h"
#include "script/plan.h"
#include "script/script_file.h"
#include "support/bytes.h"
#include "support/gtest_support.h"
#include "support/script_game.h"
#include "support/script_job.h"


namespace binconv {
namespace {

using namespace binconv::test;

// A problem as a table states it: its line, code, and a piece of its reason
// or, for what lies past the game, what it is and where it ends.
struct Expected {
  std::size_t line;
  ProblemCode code;
  std::string text;
};

void ExpectProblems(const std::vector<Problem>& found, const std::vector<Expected>& expected) {
  ASSERT_EQ(found.size(), expected.size());
  for (std::size_t i = 0; i < found.size(); ++i) {
    const Problem& p = found[i];
    EXPECT_EQ(p.line, expected[i].line) << i;
    EXPECT_EQ(p.code, expected[i].code) << i;
    const std::string said =
        p.code != ProblemCode::kPastEnd
            ? messages::Message(messages::Language::kEnglish, p)
            : messages::Word(messages::Language::kEnglish, p.part) + " to " + HexNumber(p.end);
    EXPECT_NE(said.find(expected[i].text), std::string::npos) << said;
  }
}

// What the plan's scripts and spaces were read as, one line each.
std::string SpecsOf(const Plan& plan) {
  std::string out;
  for (const ScriptSpec& d : plan.scripts) {
    out += d.split ? "lo=" + HexNumber(d.table) + " hi=" + HexNumber(d.hi)
                   : "table=" + HexNumber(d.table) + " stride=" + std::to_string(d.stride);
    out += " count=" + std::to_string(d.count);
    if (d.end) out += " end=" + HexText(*d.end, 2, HexCase::kUpper);
    if (d.text) out += " text=" + HexNumber(d.text->first) + ".." + HexNumber(d.text->last);
    if (d.layout == ScriptLayout::kPack) out += " pack";
    if (d.align != 1) out += " align=" + std::to_string(d.align);
    if (d.fill) out += " fill=" + HexText(*d.fill, 2, HexCase::kUpper);
    for (std::size_t k = 0; k < d.skip.size(); ++k) {
      out += (k == 0 ? " skip=" : ",") + std::to_string(d.skip[k]);
    }
    out += "\n";
  }
  for (const SpaceSpec& s : plan.spaces) {
    out += "space " + HexNumber(s.range.first) + ".." + HexNumber(s.range.last);
    if (s.fill) out += " fill=" + HexText(*s.fill, 2, HexCase::kUpper);
    out += "\n";
  }
  return out;
}

struct KeywordCase {
  const char* name;
  std::string plan;
  std::string read;  // SpecsOf the plan, past-end scripts left out
  std::vector<Expected> problems{};
};

void PrintTo(const KeywordCase& c, std::ostream* os) { *os << c.name; }

class KeywordLineTest : public testing::TestWithParam<KeywordCase> {};

// Each line's words, or its first problem; then what reaches past a game of
// 32 bytes, without multiplying count by stride where that would wrap.
TEST_P(KeywordLineTest, ReadThenCheckedAgainstTheGame) {
  const KeywordCase& c = GetParam();
  Plan plan = ParsePlan(c.plan, "plan.txt").value();
  std::vector<Problem> problems = plan.script_problems;
  CheckScriptsInGame(plan.scripts, plan.spaces, "plan.txt", 32, problems);
  EXPECT_EQ(SpecsOf(plan), c.read);
  ExpectProblems(problems, c.problems);
}

constexpr char kP[] = "format p u16le\n";
const std::string kS = std::string(kP) + "script s.txt ";
constexpr ProblemCode kBad = ProblemCode::kBadLine;
constexpr ProblemCode kPast = ProblemCode::kPastEnd;

INSTANTIATE_TEST_SUITE_P(
    Lines, KeywordLineTest,
    testing::Values(
        KeywordCase{"StrideIsTheWidthUnlessGiven",
                    "format p u24be\nscript s.txt table=4 count=2 format=p end=0A\n",
                    "table=0x4 stride=3 count=2 end=0A\n"},
        KeywordCase{"EveryWord",
                    kS + "table=0 stride=4 count=2 format=p end=FF text=0x10..0x17 layout=pack "
                         "align=2 fill=00 skip=0x14,3\nspace 0x18..0x1F fill=7E\n",
                    "table=0x0 stride=4 count=2 end=FF text=0x10..0x17 pack align=2 fill=00 "
                    "skip=3,20\nspace 0x18..0x1F fill=7E\n"},
        KeywordCase{"SplitTables", kS + "lo=0 hi=2 count=2 format=p end=FF\n",
                    "lo=0x0 hi=0x2 count=2 end=FF\n"},
        KeywordCase{"NoPointersNoTable", kS + "table=0x100 count=0 format=p end=FF\n",
                    "table=0x100 stride=2 count=0 end=FF\n"},
        KeywordCase{"LineProblems",
                    kS + "table=0 stride=1 count=2 format=p end=FF\n" +
                        "format q u24le\nscript t.txt lo=0 hi=2 count=2 format=q end=FF\n" +
                        "script u.txt lo=0 hi=2 stride=2 count=2 format=p end=FF\n" +
                        "script v.txt table=0 lo=0 hi=2 count=2 format=p end=FF\n" +
                        "script w.txt table=0 count=2 format=p\n" +
                        "script x.txt table=0 count=2 format=p end=F\n" +
                        "script y.txt table=0 count=2 count=3 format=p end=FF\n" +
                        "script z.txt table=0 size=2 format=p end=FF\n",
                    "",
                    {{2, kBad, "stride=1 is less than the pointer's width of 2"},
                     {4, kBad, "needs a 16-bit TYPE; 'q' is 24-bit"},
                     {5, kBad, "stride= is for table="},
                     {6, kBad, "either table=OFFSET or both"},
                     {7, kBad, "a script needs end="},
                     {8, kBad, "end='F' is not a byte"},
                     {9, kBad, "'count=' is given twice"},
                     {10, kBad, "'size=2' is not one of"}}},
        KeywordCase{"OptionProblems",
                    kS + "table=0 count=2 format=p end=FF text=5..4\n" +
                        "script t.txt table=0 count=2 format=p end=FF layout=pack\n" +
                        "script u.txt table=0 count=2 format=p end=FF align=0\n" +
                        "script v.txt table=0 count=2 format=p end=FF skip=1,,2\n" +
                        "format p u16be\nformat q u8\nspace 1..2 fill=7\nspace 3\n",
                    "",
                    {{2, kBad, "text='5..4' is not a range"},
                     {3, kBad, "it needs text=START..END"},
                     {4, kBad, "align=0 must be 1 to 65536"},
                     {5, kBad, "skip='1,,2' is not a list"},
                     {6, kBad, "'p' is already named on line 1"},
                     {7, kBad, "'u8' is not a TYPE"},
                     {8, kBad, "'fill=7' is not fill=XX"},
                     {9, kBad, "'3' is not a range"}}},
        KeywordCase{"PastTheGame",
                    kS + "table=0x1E count=2 format=p end=FF\n" +
                        "script t.txt lo=0x1F hi=0 count=2 format=p end=FF\n" +
                        "script u.txt table=0 count=2 format=p end=FF text=0x10..0x20\n" +
                        "space 0x18..0x20\n" +
                        "script v.txt table=0 stride=0x100 count=0xFFFFFFFFFFFFFFFF format=p "
                        "end=FF\n" +
                        "script w.txt table=0 count=2 format=p end=FF text=0x10..0x1F\n",
                    "table=0x0 stride=2 count=2 end=FF text=0x10..0x1F\nspace 0x18..0x20\n",
                    // As the plan writes them: the last byte of each.
                    {{2, kPast, "the pointer table to 0x21"},
                     {3, kPast, "the lo= table to 0x20"},
                     {4, kPast, "text= to 0x20"},
                     {5, kPast, "the space to 0x20"},
                     {6, kPast, "the pointer table to 0xFFFFFFFFFFFFFFFF"}}}),
    CaseName<KeywordCase>);

// Bytes written over the small game before its table is read.
struct Patch {
  std::uint64_t at;
  std::string bytes;
};

struct TableCase {
  const char* name;
  std::string words;  // of `script s.txt`
  std::vector<Patch> patches{};
  std::vector<std::string> strings{};   // each "@N POINTERS at=AT len=L room=R BYTES"
  std::vector<std::string> problems{};  // each "CODE #N@SITE at=AT end=END value=V"
  const char* format = "u16le";
};

void PrintTo(const TableCase& c, std::ostream* os) { *os << c.name; }

std::string Brief(const ScriptSpec& def, const ScriptString& s) {
  return "@" + std::to_string(s.index) + " " + PointerListOf(def, s, ',') +
         " at=" + HexNumber(s.at) + " len=" + std::to_string(s.length) +
         " room=" + std::to_string(s.room) + (s.inside ? " in=" + HexNumber(*s.inside) : "") +
         " " + Hex(s.bytes);
}

std::string Brief(const Problem& p) {
  return std::to_string(static_cast<int>(p.code)) + " #" + std::to_string(p.pointer) + "@" +
         HexNumber(p.pointer_at) + " at=" + HexNumber(p.at) + " end=" + HexNumber(p.end) +
         " value=" + HexNumber(p.value);
}

std::string Code(ProblemCode code) { return std::to_string(static_cast<int>(code)); }

// `def`'s table read from a game of `bytes`, each string's bytes kept.
Result<ScriptTableResult, IoError> ReadTableOf(const std::string& bytes, const ScriptSpec& def,
                                               std::vector<Problem>& problems) {
  ScratchDir scratch;
  WriteAll(scratch.path() / "game", bytes);
  FileReader reader;
  if (auto opened = reader.Open(scratch.path() / "game"); !opened) {
    return Unexpected(opened.error());
  }
  GameBytes game(reader);
  return ReadScriptTable(def, DefaultEncoding(), game, true, "p", problems);
}

class ReadScriptTableTest : public testing::TestWithParam<TableCase> {};

// The small game: a u16le table at 0 leading to 56 FF at 0x10 and 58 FF at
// 0x14, zeros elsewhere.
TEST_P(ReadScriptTableTest, StringsOrEveryProblem) {
  const TableCase& c = GetParam();
  std::string bytes = SmallGame();
  for (const Patch& patch : c.patches) bytes.replace(patch.at, patch.bytes.size(), patch.bytes);
  const Plan plan =
      ParsePlan("format p " + std::string(c.format) + "\nscript s.txt " + c.words + "\n", "p")
          .value();
  ASSERT_EQ(plan.scripts.size(), 1u);
  std::vector<Problem> problems;
  auto read = ReadTableOf(bytes, plan.scripts[0], problems);
  ASSERT_TRUE(read.has_value());
  std::vector<std::string> strings;
  for (const ScriptString& s : read.value().strings) strings.push_back(Brief(plan.scripts[0], s));
  std::vector<std::string> found;
  for (const Problem& p : problems) found.push_back(Brief(p));
  EXPECT_EQ(strings, c.strings);
  EXPECT_EQ(found, c.problems);
  EXPECT_EQ(read.value().ok, c.problems.empty());
}

const std::string kOutside = Code(ProblemCode::kPointerOutside);

INSTANTIATE_TEST_SUITE_P(
    SmallGame, ReadScriptTableTest,
    testing::Values(
        TableCase{"EachStringItsLength",
                  "table=0 count=2 format=p end=FF",
                  {},
                  {"@0 0x0 at=0x10 len=2 room=2 56 ", "@1 0x2 at=0x14 len=2 room=2 58 "}},
        TableCase{"TextGivesRoomUpToTheNext",
                  "table=0 count=2 format=p end=FF text=0x10..0x17",
                  {},
                  {"@0 0x0 at=0x10 len=2 room=4 56 ", "@1 0x2 at=0x14 len=2 room=4 58 "}},
        TableCase{"TwoPointersOneEntry",
                  "table=0 count=2 format=p end=FF",
                  {{2, std::string("\x10\x00", 2)}},
                  {"@0 0x0,0x2 at=0x10 len=2 room=2 56 "}},
        TableCase{"EntriesInPointerOrder",
                  "table=0 count=2 format=p end=FF text=0x10..0x17",
                  {{0, std::string("\x14\x00\x10\x00", 4)}},
                  {"@0 0x0 at=0x14 len=2 room=4 58 ", "@1 0x2 at=0x10 len=2 room=4 56 "}},
        TableCase{"SkippedValue",
                  "table=0 count=2 format=p end=FF skip=7,0x14",
                  {},
                  {"@0 0x0 at=0x10 len=2 room=2 56 "}},
        TableCase{"Stride",
                  "table=0 stride=4 count=2 format=p end=FF",
                  {{2, "\xEE\xEE\x14"}},
                  {"@0 0x0 at=0x10 len=2 room=2 56 ", "@1 0x4 at=0x14 len=2 room=2 58 "}},
        // lo | hi << 8 whatever the TYPE's byte order.
        TableCase{"SplitTablesBigEndian",
                  "lo=0 hi=2 count=2 format=p end=FF",
                  {{0, std::string("\x10\x14\x00\x00", 4)}},
                  {"@0 0x0/0x2 at=0x10 len=2 room=2 56 ", "@1 0x1/0x3 at=0x14 len=2 room=2 58 "},
                  {},
                  "u16be"},
        TableCase{"LeadByteTakesTheEndByte",
                  "table=0 count=2 format=p end=FF text=0x10..0x17",
                  {{0x10, std::string("\x20\xFF\x00\xFF", 4)}},
                  {"@0 0x0 at=0x10 len=4 room=4 20 FF 00 ", "@1 0x2 at=0x14 len=2 room=4 58 "}},
        TableCase{"RoomEndsAtATableInTheText",
                  "table=0x18 count=2 format=p end=FF text=0x10..0x1F",
                  {{0x18, std::string("\x10\x00\x14\x00", 4)}},
                  {"@0 0x18 at=0x10 len=2 room=4 56 ", "@1 0x1A at=0x14 len=2 room=4 58 "}},
        TableCase{"OutsideText",
                  "table=0 count=2 format=p end=FF text=0x14..0x17",
                  {},
                  {},
                  {kOutside + " #0@0x0 at=0x10 end=0x0 value=0x0"}},
        // A pointer problem stops the read before any string is read.
        TableCase{"PastTheGameStopsTheRead",
                  "table=0 count=2 format=p end=FF",
                  {{2, std::string("\x40\x00", 2)}, {0x11, std::string("\x00", 1)}},
                  {},
                  {kOutside + " #1@0x2 at=0x40 end=0x0 value=0x0"}},
        TableCase{"Unmapped",
                  "table=0 count=2 format=p end=FF",
                  {},
                  {},
                  {Code(ProblemCode::kPointerUnmapped) + " #0@0x0 at=0x0 end=0x0 value=0x10",
                   Code(ProblemCode::kPointerUnmapped) + " #1@0x2 at=0x0 end=0x0 value=0x14"},
                  "u16le base=0x8000"},
        TableCase{"NoEndByteInText",
                  "table=0 count=2 format=p end=FF text=0x10..0x17",
                  {{0x15, std::string("\x00", 1)}},
                  {},
                  {Code(ProblemCode::kNoTerminator) + " #1@0x2 at=0x14 end=0x18 value=0x0"}},
        TableCase{"NoEndByteInTheGame",
                  "table=0 count=2 format=p end=FF",
                  {{0x15, std::string("\x00", 1)}},
                  {},
                  {Code(ProblemCode::kNoTerminator) + " #1@0x2 at=0x14 end=0x20 value=0x0"}},
        // max= counts the end byte, and from each string's own start.
        TableCase{"MaxHoldsTheEndByte",
                  "table=0 count=2 format=p end=FF max=2",
                  {},
                  {"@0 0x0 at=0x10 len=2 room=2 56 ", "@1 0x2 at=0x14 len=2 room=2 58 "}},
        TableCase{"LongerThanMax",
                  "table=0 count=2 format=p end=FF max=1",
                  {},
                  {},
                  {Code(ProblemCode::kStringTooLong) + " #0@0x0 at=0x10 end=0x11 value=0x0",
                   Code(ProblemCode::kStringTooLong) + " #1@0x2 at=0x14 end=0x15 value=0x0"}},
        // The first string's scan goes on as the second's did.
        TableCase{"NoEndByteThroughTheNextString",
                  "table=0 count=2 format=p end=FF text=0x10..0x17 max=6",
                  {{0x11, std::string("\x00", 1)}, {0x15, std::string("\x00", 1)}},
                  {},
                  {Code(ProblemCode::kStringTooLong) + " #0@0x0 at=0x10 end=0x16 value=0x0",
                   Code(ProblemCode::kNoTerminator) + " #1@0x2 at=0x14 end=0x18 value=0x0"}},
        TableCase{"NoEndByteThroughTheNextStringInText",
                  "table=0 count=2 format=p end=FF text=0x10..0x17",
                  {{0x11, std::string("\x00", 1)}, {0x15, std::string("\x00", 1)}},
                  {},
                  {Code(ProblemCode::kNoTerminator) + " #0@0x0 at=0x10 end=0x18 value=0x0",
                   Code(ProblemCode::kNoTerminator) + " #1@0x2 at=0x14 end=0x18 value=0x0"}},
        // A string that starts inside another and ends where it ends is its
        // tail, at a code's start or inside one; it takes no room of its own.
        TableCase{"TailInsideACode",
                  "table=0 count=2 format=p end=FF text=0x10..0x17",
                  {{0x10, std::string("\x20\x00\x00\x20", 4)}},
                  {"@0 0x0 at=0x10 len=6 room=8 20 00 00 20 58 ",
                   "@1 0x2 at=0x14 len=2 room=2 in=0x10 58 "}},
        TableCase{"TailsOfTails",
                  "table=0 count=3 format=p end=FF text=0x10..0x17",
                  {{0x4, std::string("\x13\x00", 2)}, {0x10, "\x20"}},
                  {"@0 0x0 at=0x10 len=6 room=8 20 FF 00 00 58 ",
                   "@1 0x2 at=0x14 len=2 room=2 in=0x10 58 ",
                   "@2 0x4 at=0x13 len=3 room=3 in=0x10 00 58 "}},
        // A lead byte takes the next string's end byte: the two end apart.
        TableCase{"RunsIntoTheNextString",
                  "table=0 count=2 format=p end=FF text=0x10..0x17",
                  {{0x10, std::string("\x20\x00\x00\x20\xFF\xFF", 6)}},
                  {},
                  {Code(ProblemCode::kStringsOverlap) + " #0@0x0 at=0x10 end=0x14 value=0x0"}},
        TableCase{"OverThePointerTable",
                  "table=0 count=2 format=p end=FF",
                  {{2, std::string("\x00\x00", 2)}},
                  {},
                  {Code(ProblemCode::kIntoTable) + " #1@0x2 at=0x0 end=0x0 value=0x0"}}),
    CaseName<TableCase>);

// Random games of every kind: every string is one entry however many
// pointers share it, each pointer in one entry, entries by first pointer.
TEST(ReadScriptTableTest, SharedPointersMakeOneEntry) {
  for (const ScriptGameSpec& kind :
       {ScriptGameSpec{}, ScriptGameSpec{"u24be map=hirom"}, ScriptGameSpec{"u16le", true},
        ScriptGameSpec{"u32le relative=self", false, true}}) {
    for (unsigned seed = 1; seed <= 5; ++seed) {
      const ScriptGameFiles files = MakeScriptGame(kind, seed);
      const Plan plan = ParsePlan(files.plan, "p").value();
      std::vector<Problem> problems;
      const ScriptTableResult read = ReadTableOf(files.game, plan.scripts.at(0), problems).value();
      ASSERT_TRUE(read.ok) << files.plan << seed;
      ASSERT_EQ(read.strings.size(), kind.strings) << files.plan << seed;
      std::set<std::size_t> pointers;
      std::set<std::uint64_t> starts;
      for (std::size_t k = 0; k < read.strings.size(); ++k) {
        const ScriptString& s = read.strings[k];
        EXPECT_EQ(s.index, s.pointers.front());
        EXPECT_TRUE(k == 0 || read.strings[k - 1].index < s.index);
        EXPECT_LE(s.length, s.room);
        EXPECT_TRUE(starts.insert(s.at).second);
        for (const std::size_t i : s.pointers) EXPECT_TRUE(pointers.insert(i).second);
      }
    }
  }
}

}  // namespace
}  // namespace binconv
