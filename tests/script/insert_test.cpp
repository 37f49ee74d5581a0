// The insert job without the CLI: entries and scripts checked together, every
// problem listed in the plan's line order, and the writes that make the game.

#include "script/insert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "support/bytes.h"
#include "support/gtest_support.h"
#include "support/script_game.h"
#include "support/script_job.h"

namespace binconv {
namespace {

using namespace binconv::test;
using Lines = ProblemLines;

std::string AppliedBytes(const std::string& game, const InsertResult& result) {
  std::vector<std::uint8_t> bytes(game.begin(), game.end());
  bytes.resize(std::max<std::size_t>(bytes.size(), result.size));
  EXPECT_TRUE(ApplyFilePatchesInMemory(bytes, PatchesOf(result.writes)));
  return {bytes.begin(), bytes.end()};
}

std::string Applied(const std::string& game, const InsertResult& result) {
  return Hex(AppliedBytes(game, result));
}

struct InsertCase {
  const char* name;
  std::string plan;
  Files files;
  Lines problems{};     // none: the job succeeds
  std::string after{};  // then the game after the writes, in hex
};

void PrintTo(const InsertCase& c, std::ostream* os) { *os << c.name; }

class InsertJobTest : public testing::TestWithParam<InsertCase> {};

TEST_P(InsertJobTest, AllOrEveryProblem) {
  const InsertCase& c = GetParam();
  const std::string game = SmallGame();
  JobRun run(game);
  auto result = run.Insert(c.plan, c.files);
  if (!c.problems.empty()) {
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(LinesOf(result.error()), c.problems);
    return;
  }
  ASSERT_TRUE(result.has_value()) << LinesOf(result.error()).size();
  EXPECT_EQ(Applied(game, result.value()).substr(0, c.after.size()), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Plans, InsertJobTest,
    testing::Values(InsertCase{"TextsIntoTheirRoomsAndFill",
                               "4 4 a.txt\n8 4 b.txt 7E\n",
                               {{"a.txt", "<0102>"}, {"b.txt", "い"}},
                               {},
                               "10 00 14 00 01 02 00 00 58 7E 7E 7E "},
                    // Problems of the entries in line order, each line's own before the
                    // overlap found later; the script's after them.
                    InsertCase{"EveryProblemInLineOrder",
                               std::string("4 2 a.txt\n40 4 b.txt\n5 2 c.txt\nnot an entry\n") +
                                   kScriptLines + "8 2 a.txt\n",
                               {{"a.txt", "<010203>"}},
                               {{1, ProblemCode::kTooLong},
                                {2, ProblemCode::kRoomPastEnd},
                                {3, ProblemCode::kUnreadable},
                                {3, ProblemCode::kOverlap},
                                {4, ProblemCode::kBadLine},
                                {8, ProblemCode::kTooLong},
                                {0, ProblemCode::kUnreadable}}},
                    InsertCase{"AnEntryInsideTheScriptsBlock",
                               std::string(kScriptLines) + "0x12 2 a.txt\n",
                               {{"a.txt", "あ"}, {"s.txt", ""}},
                               {{0, ProblemCode::kNotScript}}}),
    CaseName<InsertCase>);

// A dumped script comes back; a text too long for its room moves to the
// space and its pointer follows; the fixed entry keeps its room.
TEST(InsertJobTest, MovedTextsArePointedAt) {
  const std::string game = SmallGame();
  JobRun run(game);
  auto dumped = run.Dump(kScriptLines);
  ASSERT_TRUE(dumped.has_value());
  ASSERT_EQ(dumped.value().size(), 1u);
  std::string script = dumped.value()[0].text;
  ASSERT_NE(script.find("\nい\n"), std::string::npos) << script;
  script.replace(script.find("\nい\n"), 5, "\nいいいいい\n");
  const Files files = {{PathToUtf8(dumped.value()[0].path), script}, {"a.txt", "<AA>"}};

  auto result = run.Insert(std::string(kScriptLines) + "0xC 2 a.txt\n", files);
  ASSERT_TRUE(result.has_value());
  std::string after = game;
  after.replace(2, 1, "\x18");
  after.replace(0xC, 1, "\xAA");
  after.replace(0x18, 6, "\x58\x58\x58\x58\x58\xFF");
  EXPECT_EQ(Applied(game, result.value()), Hex(after));
  ASSERT_EQ(result.value().scripts.size(), 1u);
  EXPECT_EQ(result.value().scripts[0].moved, 1u);
  EXPECT_EQ(result.value().texts, 3u);
  ASSERT_EQ(result.value().spaces.size(), 1u);
  EXPECT_EQ(result.value().spaces[0].used, 6u);
  ASSERT_EQ(result.value().map.size(), 2u);
  EXPECT_EQ(result.value().map[1].new_offset, 0x18u);
  EXPECT_EQ(result.value().map[1].pointers, "0x2");

  // The same script against a changed game is refused at its #game line.
  WriteAll(run.path(), game.substr(0, 31) + "\x01");
  auto changed = run.Insert(kScriptLines, files);
  ASSERT_FALSE(changed.has_value());
  EXPECT_EQ(LinesOf(changed.error()), (Lines{{2, ProblemCode::kGameChanged}}));
}

// The ";" lines are the original, never written: a translation typed there
// (with or without the text lines under it) is refused at the first line
// that differs, while the text lines alone may be emptied.
TEST(InsertJobTest, OriginalLinesAreNeverTheTranslation) {
  const std::string game = SmallGame();
  JobRun run(game);
  auto dumped = run.Dump(kScriptLines);
  ASSERT_TRUE(dumped.has_value());
  const std::string script = dumped.value()[0].text;
  const std::size_t at = script.find("\n;い\nい\n");
  ASSERT_NE(at, std::string::npos) << script;
  const auto line = static_cast<std::size_t>(std::count(script.begin(), script.begin() + at, '\n')) + 2;
  struct Edit {
    const char* lines;
    Lines problems;
  };
  for (const Edit& edit : {Edit{"\n;いうえ\n", {{line, ProblemCode::kOriginalEdited}}},
                           Edit{"\n;いうえ\nい\n", {{line, ProblemCode::kOriginalEdited}}},
                           Edit{"\n;い\n;う\nい\n", {{line + 1, ProblemCode::kOriginalEdited}}},
                           Edit{"\n;い\n", {}}, Edit{"\nう\n", {}}}) {
    std::string edited = script;
    edited.replace(at, 9, edit.lines);
    auto result = run.Insert(kScriptLines, {{PathToUtf8(dumped.value()[0].path), edited}});
    if (edit.problems.empty()) {
      EXPECT_TRUE(result.has_value()) << edit.lines;
    } else {
      ASSERT_FALSE(result.has_value()) << edit.lines;
      EXPECT_EQ(LinesOf(result.error()), edit.problems) << edit.lines;
    }
  }
}

// The bytes from where the u16le pointer at `site` leads up to its FF, read
// straight from the game rather than through the script's tables.
std::string TextAtPointer(const std::string& game, std::size_t site) {
  const std::size_t target = static_cast<std::uint8_t>(game[site]) |
                             static_cast<std::size_t>(static_cast<std::uint8_t>(game[site + 1])) << 8;
  return Hex(game.substr(target, game.find('\xFF', target) + 1 - target));
}

// A string two scripts' tables lead to stays one string while both texts are
// the same; a different text gets its own place and only its pointer moves.
TEST(InsertJobTest, StringSharedByTwoScripts) {
  std::string game = SmallGame();
  game.replace(8, 2, "\x10\x00", 2);  // t.txt's pointer, to あ
  const std::string plan =
      "format p u16le\nspace 0x18..0x1F\nscript s.txt table=0 count=2 format=p end=FF\n"
      "script t.txt table=8 count=1 format=p end=FF\n";
  JobRun run(game);
  auto dumped = run.Dump(plan);
  ASSERT_TRUE(dumped.has_value());
  ASSERT_EQ(dumped.value().size(), 2u);
  Files files;
  for (const DumpedScript& script : dumped.value()) files[PathToUtf8(script.path)] = script.text;
  auto same = run.Insert(plan, files);
  ASSERT_TRUE(same.has_value());
  EXPECT_EQ(Applied(game, same.value()), Hex(game));

  std::string& t = files[PathToUtf8(dumped.value()[1].path)];
  t.replace(t.find("\nあ\n"), 5, "\nう\n");
  auto split = run.Insert(plan, files);
  ASSERT_TRUE(split.has_value());
  const std::string after = AppliedBytes(game, split.value());
  EXPECT_EQ(TextAtPointer(after, 0), "56 FF ");
  EXPECT_EQ(TextAtPointer(after, 8), "5A FF ");
  EXPECT_EQ(split.value().scripts[1].moved, 1u);
}

// The first number after `key` on the plan line of script `file`.
std::uint64_t PlanNumber(const std::string& plan, const std::string& file, const std::string& key) {
  const std::size_t line = plan.find("script " + file + " ");
  return std::stoull(plan.substr(plan.find(key, line) + key.size()), nullptr, 0);
}

// A pointer and the bytes it should lead to after the insert.
struct WantedText {
  std::string item;  // as ptr= names it
  std::uint64_t table = 0;
  std::string bytes;
};

// The dumped script with each text replaced by う (5A) as many times as
// 1 + 7N mod 12 for @N, so that some grow past their rooms; `wanted` gets
// what each pointer should then lead to.
std::string EditedScript(const std::string& dumped, std::uint64_t table, char end,
                         std::vector<WantedText>& wanted) {
  std::istringstream in(dumped);
  std::string edited;
  bool header = true;
  for (std::string line; std::getline(in, line);) {
    header = header && !line.starts_with('@');
    if (header) edited += line + "\n";
    if (!line.starts_with('@')) continue;
    const std::size_t count = 1 + std::stoul(line.substr(1)) * 7 % 12;
    std::string text;
    for (std::size_t k = 0; k < count; ++k) text += "う";
    edited += line + "\n" + text + "\n\n";
    const std::size_t ptr = line.find("ptr=") + 4;
    std::istringstream items(line.substr(ptr, line.find(' ', ptr) - ptr));
    for (std::string item; std::getline(items, item, ',');) {
      wanted.push_back({item, table, std::string(count, '\x5A') + end});
    }
  }
  return edited;
}

class EditedRoundTripTest : public testing::TestWithParam<ScriptGameSpec> {};

// Every text edited: each pointer, read apart from binconv's reader, leads
// to its new text, whether it stayed, moved or was laid out again.
TEST_P(EditedRoundTripTest, EveryPointerLeadsToItsNewText) {
  const ScriptGameSpec& kind = GetParam();
  for (unsigned seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    const ScriptGameFiles made = MakeScriptGame(kind, seed);
    JobRun run(made.game);
    auto dumped = run.Dump(made.plan);
    ASSERT_TRUE(dumped.has_value()) << made.plan;
    const std::string format = made.plan.substr(9, made.plan.find('\n') - 9);
    const auto end = static_cast<char>(
        std::stoi(made.plan.substr(made.plan.find(" end=") + 5, 2), nullptr, 16));
    Files files;
    std::vector<WantedText> wanted;
    for (const DumpedScript& script : dumped.value()) {
      const std::string file = PathToUtf8(script.path.filename());
      const std::uint64_t table = PlanNumber(made.plan, file, kind.split ? "lo=" : "table=");
      files[PathToUtf8(script.path)] = EditedScript(script.text, table, end, wanted);
    }
    auto inserted = run.Insert(made.plan, files);
    ASSERT_TRUE(inserted.has_value()) << made.plan;
    const std::string after = AppliedBytes(made.game, inserted.value());
    for (const WantedText& want : wanted) {
      const std::uint64_t target = TargetOfPointer(after, format, want.item, want.table);
      ASSERT_LT(target, after.size()) << want.item;
      EXPECT_EQ(Hex(after.substr(target, want.bytes.size())), Hex(want.bytes)) << want.item;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Plans, EditedRoundTripTest,
    testing::Values(ScriptGameSpec{"u16le base=0x8000"},
                    ScriptGameSpec{"u16be header=0x10 base=0x8000", true, false, false, 8, 14, 0x10},
                    ScriptGameSpec{"u24le map=lorom", false, true},
                    ScriptGameSpec{"u32be map=hirom", false, false, true, 8, 14, 0, true},
                    ScriptGameSpec{"u16le relative=self", false, false, true, 8, 14, 0, false,
                                   false, true},
                    ScriptGameSpec{"u24be relative=table", false, false, true, 8, 14, 0, true,
                                   false, true},
                    ScriptGameSpec{"u16le base=0x8000", false, false, true, 8, 14, 0, false,
                                   false, false, 4, 0x800},
                    ScriptGameSpec{"u24be map=hirom", false, false, false, 8, 14, 0, false,
                                   false, true, 2, 0x100},
                    ScriptGameSpec{"u24le map=lorom", false, true, true, 8, 14, 0, true, false,
                                   false, 3}));

// A script's name with a comma, a quote or a line break is one quoted
// field, its quotes doubled, so that every row keeps its six columns.
TEST(InsertMapCsvTest, QuotesOnlyNamesThatNeedIt) {
  const std::vector<MapRow> rows = {{"s.txt", 0, "0x10;0x14", 0x40, 0x40, 3},
                                    {"a,b \"c\".txt", 7, "0x12", 0x48, 0x80, 10},
                                    {"two\nlines", 1, "0x1/0x2", 0, 0x10, 1}};
  EXPECT_EQ(InsertMapCsv(rows),
            "script,index,pointers,old_offset,new_offset,bytes\n"
            "s.txt,0,0x10;0x14,0x40,0x40,3\n"
            "\"a,b \"\"c\"\".txt\",7,0x12,0x48,0x80,10\n"
            "\"two\nlines\",1,0x1/0x2,0x0,0x10,1\n");
}

}  // namespace
}  // namespace binconv
