// The bytes a plan's scripts claim: rooms cut by other scripts' strings,
// tails across scripts, and a pack block around its own table.

#include "script/script_claims.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/gtest_support.h"

namespace binconv {
namespace {

ScriptSpec TableAt(std::uint64_t table, std::uint64_t count) {
  ScriptSpec def;
  def.table = table;
  def.stride = 2;
  def.count = count;
  def.format.type = PointerType::kU16le;
  return def;
}

ScriptString StringAt(std::uint64_t at, std::uint64_t length, std::uint64_t room) {
  ScriptString s;
  s.at = at;
  s.length = length;
  s.room = room;
  return s;
}

struct RoomsCase {
  const char* name;
  std::vector<ScriptString> second;  // the first script holds 0x40 (6 bytes, room 16)
  std::uint64_t first_room;
  std::vector<std::optional<std::uint64_t>> inside;  // of the second's strings
};

class EndRoomsTest : public testing::TestWithParam<RoomsCase> {};

TEST_P(EndRoomsTest, OtherScriptsCutRoomsAndTailsTakeNone) {
  const RoomsCase& c = GetParam();
  const ScriptSpec first = TableAt(0, 1);
  const ScriptSpec second = TableAt(2, c.second.size());
  std::vector<ScriptTexts> scripts = {{&first, {StringAt(0x40, 6, 16)}, {}, {}},
                                      {&second, c.second, {}, {}}};
  EndRoomsAtOtherStrings(scripts);
  EXPECT_EQ(scripts[0].strings[0].room, c.first_room);
  for (std::size_t k = 0; k < c.inside.size(); ++k) {
    EXPECT_EQ(scripts[1].strings[k].inside, c.inside[k]) << k;
    if (c.inside[k]) {
      EXPECT_EQ(scripts[1].strings[k].room, scripts[1].strings[k].length) << k;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    TwoScripts, EndRoomsTest,
    testing::Values(
        RoomsCase{"CutAtTheNextString", {StringAt(0x48, 2, 8)}, 8, {std::nullopt}},
        // Tails of the other script's string don't end its room.
        RoomsCase{"TailsDontCut", {StringAt(0x43, 3, 3), StringAt(0x48, 2, 8)}, 8,
                  {0x40, std::nullopt}},
        RoomsCase{"TailOfATail", {StringAt(0x45, 1, 1), StringAt(0x42, 4, 4)}, 16,
                  {0x40, 0x40}},
        // A string inside that ends elsewhere keeps the room to its bytes: the
        // overlap is then found by the claims.
        RoomsCase{"InsideButNotATail", {StringAt(0x44, 4, 4)}, 6, {std::nullopt}}),
    test::CaseName<RoomsCase>);

TEST(PackRunsTest, TheBlockLessItsOwnTable) {
  ScriptSpec def = TableAt(0x180, 4);
  def.text = ByteRange{0x100, 0x1FF};
  const std::vector<ByteRange> runs = PackRunsOf(def);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].first, 0x100u);
  EXPECT_EQ(runs[0].last, 0x17Fu);
  EXPECT_EQ(runs[1].first, 0x188u);
  EXPECT_EQ(runs[1].last, 0x1FFu);
  def.table = 0x200;
  EXPECT_EQ(PackRunsOf(def).size(), 1u);
}

}  // namespace
}  // namespace binconv
