// The insert job without the CLI: entries and scripts checked together, every
// problem listed in the plan's line order, and the writes that make the game.

#include "script/insert.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/bytes.h"
#include "support/gtest_support.h"
#include "support/script_job.h"

namespace binconv {
namespace {

using namespace binconv::test;
using Lines = ProblemLines;

std::string Applied(const std::string& game, const InsertResult& result) {
  std::vector<std::uint8_t> bytes(game.begin(), game.end());
  EXPECT_TRUE(ApplyFilePatchesInMemory(bytes, PatchesOf(result.writes)));
  return Hex(bytes);
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

}  // namespace
}  // namespace binconv
