// The layout of moving texts: slots, pack, and the spaces a pointer reaches.

#include "script/script_layout.h"

#include <gtest/gtest.h>

#include <vector>

#include "messages/messages.h"

namespace binconv {
namespace {

// The problem as the CLI words it.
std::string English(const Problem& p) {
  return messages::Message(messages::Language::kEnglish, p);
}

// The layout core: slots that fit stay, what doesn't moves to the first
// space its pointers reach, pack fills the block in entry order.
TEST(ScriptLayoutTest, SlotsPackAndReach) {
  ScriptSpec def;
  def.line = 3;
  def.table = 0;
  def.stride = 2;
  def.count = 3;
  def.format.type = PointerType::kU16le;
  def.end = 0xFF;
  def.text = ByteRange{0x10, 0x1F};
  ScriptTexts texts;
  texts.def = &def;
  for (std::size_t i = 0; i < 3; ++i) {
    ScriptString s;
    s.index = i;
    s.pointers = {i};
    s.at = 0x10 + 4 * i;
    s.room = i == 2 ? 8 : 4;
    texts.strings.push_back(s);
    texts.lines.push_back(5 + 4 * i);
  }
  texts.bytes = {{1, 2, 0xFF}, {1, 2, 3, 4, 5, 0xFF}, {7, 0xFF}};
  // The first space lies beyond what a u16 reaches.
  const std::vector<SpaceSpec> spaces = {{1, {0x10000, 0x1000F}, {}}, {2, {0x40, 0x4F}, {}}};

  ScriptLayoutResult slots = LayOutScripts({texts}, spaces, {}, "plan");
  ASSERT_TRUE(slots.problems.empty());
  ASSERT_EQ(slots.placed[0].size(), 3u);
  EXPECT_EQ(slots.placed[0][0].offset, 0x10u);
  EXPECT_EQ(slots.placed[0][1].offset, 0x40u);
  EXPECT_TRUE(slots.placed[0][1].moved);
  EXPECT_EQ(slots.placed[0][2].offset, 0x18u);
  ASSERT_EQ(slots.pointers.size(), 1u);
  EXPECT_EQ(slots.pointers[0].offset, 2u);
  EXPECT_EQ(slots.pointers[0].bytes[0], 0x40);
  EXPECT_EQ(slots.spaces[1].used, 6u);

  def.layout = ScriptLayout::kPack;
  ScriptLayoutResult pack = LayOutScripts({texts}, spaces, {}, "plan");
  ASSERT_TRUE(pack.problems.empty());
  EXPECT_EQ(pack.placed[0][0].offset, 0x10u);
  EXPECT_EQ(pack.placed[0][1].offset, 0x13u);
  EXPECT_EQ(pack.placed[0][2].offset, 0x19u);
  EXPECT_EQ(pack.pointers.size(), 2u);

  // Nothing reaches: the problem names the entry's line and every space,
  // the one the pointer can't lead to as such.
  texts.bytes[1].assign(40, 1);
  def.layout = ScriptLayout::kSlots;
  ScriptLayoutResult full = LayOutScripts({texts}, spaces, {}, "plan");
  ASSERT_EQ(full.problems.size(), 1u);
  EXPECT_EQ(full.problems[0].code, ProblemCode::kNoRoom);
  EXPECT_EQ(full.problems[0].line, 9u);
  EXPECT_TRUE(English(full.problems[0])
                  .ends_with("(0x10000..0x1000F: out of reach of its pointers, 0x40..0x4F: 16 "
                             "free)"))
      << English(full.problems[0]);
}

// A script of one u16le pointer at `table`, base 0x8000.
ScriptSpec OnePointerAt(std::uint64_t table) {
  ScriptSpec def;
  def.table = table;
  def.count = 1;
  def.stride = 2;
  def.format.base = 0x8000;
  return def;
}

// One script of one string at 0x100 with no room to spare, its pointer at
// `table`, whose new text is `size` times `byte`.
ScriptTexts OneMovingText(const ScriptSpec& def, std::size_t size, std::uint8_t byte) {
  ScriptTexts texts;
  texts.def = &def;
  ScriptString s;
  s.pointers = {0};
  s.at = 0x100;
  s.length = s.room = 1;
  texts.strings = {s};
  texts.bytes = {std::vector<std::uint8_t>(size, byte)};
  texts.lines = {2};
  return texts;
}

// The u16 text can only reach the low space; the u32 one reaches both. The
// u16 one goes first whichever script is listed first; a text that ends
// another is stored as its tail; and when nothing is within reach the
// problem says what the pointer reaches.
TEST(ScriptLayoutTest, MostConstrainedFirstInAnyOrder) {
  const ScriptSpec narrow = OnePointerAt(0);
  ScriptSpec wide = narrow;
  wide.table = 0x10;
  wide.stride = 4;
  wide.format = {PointerType::kU32le};
  const std::vector<SpaceSpec> spaces = {{1, {0x10000, 0x100FF}, {}}, {2, {0x7000, 0x700F}, {}}};
  const ScriptTexts a = OneMovingText(narrow, 11, 0x56);
  const ScriptTexts b = OneMovingText(wide, 11, 0x58);
  ScriptSpec other = wide;
  other.table = 0x20;
  const ScriptTexts tail = OneMovingText(other, 5, 0x58);  // the last 5 bytes of b's
  for (const bool swapped : {false, true}) {
    SCOPED_TRACE(swapped);
    const ScriptLayoutResult r = LayOutScripts(
        swapped ? std::vector{tail, b, a} : std::vector{a, b, tail}, spaces, {}, "plan");
    ASSERT_TRUE(r.problems.empty());
    EXPECT_EQ(r.placed[swapped ? 2 : 0][0].offset, 0x7000u);
    EXPECT_EQ(r.placed[1][0].offset, 0x10000u);
    EXPECT_EQ(r.placed[swapped ? 0 : 2][0].offset, 0x10006u);
    EXPECT_EQ(r.spaces[0].used, 11u);
  }
  const ScriptLayoutResult none = LayOutScripts({a}, {spaces[0]}, {}, "plan");
  ASSERT_EQ(none.problems.size(), 1u);
  EXPECT_TRUE(English(none.problems[0])
                  .ends_with("no space lies within reach of its pointers, which reach only "
                             "0x0..0x7FFF"))
      << English(none.problems[0]);
  // No space line at all: the plan lacks one, whatever the pointers reach.
  const ScriptLayoutResult no_space = LayOutScripts({a}, {}, {}, "plan");
  ASSERT_EQ(no_space.problems.size(), 1u);
  EXPECT_NE(English(no_space.problems[0]).find("the plan has no space line: add one"),
            std::string::npos)
      << English(no_space.problems[0]);
  // A space that starts before the reach: the text starts where the reach
  // does, the bytes before it left as a gap.
  ScriptSpec windowed = narrow;
  windowed.format.window_first = 0x8080;
  windowed.format.window_last = 0x81FF;
  const ScriptLayoutResult inside =
      LayOutScripts({OneMovingText(windowed, 11, 0x56)}, {{1, {0x10, 0xFF}, 0xEE}}, {}, "plan");
  ASSERT_TRUE(inside.problems.empty());
  EXPECT_EQ(inside.placed[0][0].offset, 0x80u);
  EXPECT_EQ(inside.spaces[0].free, 0x100u - 0x8Bu);
}

// A script with spaces= moves only into the spaces it names, and counts only
// those when the most constrained go first: `b` is the only space of `only`,
// so its text takes `b` before the longer free one can, in either order.
// Allowed spaces out of reach are told apart from reachable ones it may not use.
TEST(ScriptLayoutTest, NamedSpacesOnly) {
  const ScriptSpec free = OnePointerAt(0);
  ScriptSpec only = OnePointerAt(0x20);
  only.spaces = {"b"};
  const std::vector<SpaceSpec> spaces = {{1, {0x7000, 0x700F}, {}, "b"},
                                         {2, {0x7100, 0x710F}, {}, ""},
                                         {3, {0x10000, 0x1000F}, {}, "far"}};
  const ScriptTexts a = OneMovingText(only, 10, 0x56);
  const ScriptTexts b = OneMovingText(free, 12, 0x58);
  for (const bool swapped : {false, true}) {
    SCOPED_TRACE(swapped);
    const ScriptLayoutResult r =
        LayOutScripts(swapped ? std::vector{b, a} : std::vector{a, b}, spaces, {}, "plan");
    ASSERT_TRUE(r.problems.empty());
    EXPECT_EQ(r.placed[swapped ? 1 : 0][0].offset, 0x7000u);
    EXPECT_EQ(r.placed[swapped ? 0 : 1][0].offset, 0x7100u);
  }
  only.spaces = {"far"};
  const ScriptLayoutResult none = LayOutScripts({a}, spaces, {}, "plan");
  ASSERT_EQ(none.problems.size(), 1u);
  EXPECT_EQ(none.problems[0].code, ProblemCode::kOutOfReach);
  EXPECT_TRUE(English(none.problems[0])
                  .ends_with("no space of spaces=far lies within reach of its pointers, which "
                             "reach only 0x0..0x7FFF"))
      << English(none.problems[0]);
}

}  // namespace
}  // namespace binconv
