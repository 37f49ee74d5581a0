// The script file's escapes, read back exactly, and the layout of moving
// texts; CRC-32 of the #game line.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "chartable/encoding.h"
#include "codec/encode.h"
#include "script/script_file.h"
#include "script/script_layout.h"
#include "runtime/crc32.h"
#include "runtime/utf8.h"
#include "support/bytes.h"
#include "support/files.h"

namespace binconv {
namespace {

using test::DefaultTables;

std::vector<std::uint8_t> CodeOf(std::u16string_view ch) {
  Encoder encoder(DefaultTables());
  std::vector<std::uint8_t> bytes;
  encoder.Feed(ch, bytes);
  encoder.Finish(bytes);
  return bytes;
}

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> bytes;
  for (const auto& part : parts) bytes.insert(bytes.end(), part.begin(), part.end());
  return bytes;
}

std::vector<std::string> Lines(std::vector<std::uint8_t> bytes) {
  std::vector<std::string> lines;
  Decoder decoder(DefaultTables());
  for (const std::u16string& line : ScriptLinesOf(bytes, decoder)) {
    lines.push_back(EncodeUtf8(line));
  }
  return lines;
}

TEST(ScriptLinesTest, EscapesWhatWouldReadOtherwise) {
  const std::vector<std::uint8_t> semicolon = CodeOf(u";");
  const std::vector<std::uint8_t> at = CodeOf(u"@");
  using L = std::vector<std::string>;
  EXPECT_EQ(Lines({}), L{});
  EXPECT_EQ(Lines({0x56, 0x24, 0x58}), (L{"あ", "い"}));
  EXPECT_EQ(Lines({0x56, 0x24}), L{"あ<24>"});
  EXPECT_EQ(Lines({0x24}), L{"<24>"});
  EXPECT_EQ(Lines({0x24, 0x24}), (L{"", "<24>"}));
  EXPECT_EQ(Lines({0x24, 0x56}), (L{"", "あ"}));
  EXPECT_EQ(Lines({0x20}), L{"<20>"});
  // A lead byte takes the 24 after it: no line break there.
  EXPECT_EQ(Lines({0x20, 0x24}).size(), 1u);
  const std::string hex = "0123456789ABCDEF";
  std::string tag = "<";
  for (const std::uint8_t b : semicolon) tag += std::string{hex[b >> 4], hex[b & 15]};
  tag += ">";
  EXPECT_EQ(Lines(Join({semicolon, semicolon, {0x24, 0x56}, semicolon})), (L{tag + ";", "あ;"}));
  EXPECT_EQ(Lines(Join({{0x56, 0x24}, at})).back().substr(0, 1), "<");
}

// Any string without its end byte at a character boundary comes back from
// its lines exactly, through the script file.
TEST(ScriptLinesTest, ReadBackGivesTheSameBytes) {
  std::mt19937 random(11);
  const std::uint8_t end = 0xFF;
  std::vector<std::uint8_t> interesting = {0x24, 0x50, 0x20, 0x21, 0x22, 0x23, 0x18};
  for (const char16_t* mark : {u";", u"@", u"#", u"<", u">"}) {
    const std::vector<std::uint8_t> code = CodeOf(mark);
    interesting.insert(interesting.end(), code.begin(), code.end());
  }
  for (int round = 0; round < 400; ++round) {
    std::vector<std::uint8_t> bytes;
    for (int n = static_cast<int>(random() % 12); n > 0; --n) {
      std::uint8_t b = random() % 2 ? interesting[random() % interesting.size()]
                                    : static_cast<std::uint8_t>(random());
      if (b == end) continue;
      bytes.push_back(b);
      if (PageOfLeadByte(b) != 0) bytes.push_back(static_cast<std::uint8_t>(random()));
    }
    if (!bytes.empty() && PageOfLeadByte(bytes.back()) != 0 &&
        (bytes.size() < 2 || PageOfLeadByte(bytes[bytes.size() - 2]) == 0)) {
      bytes.pop_back();  // a lone lead byte at the end would take the end byte
    }
    std::string file = "#binconv script 1\n#game g size=1 crc32=00000000\n\n@0\n";
    for (const std::string& line : Lines(bytes)) file += line + "\r\n";
    file += "\n\n";
    std::vector<Problem> problems;
    const ScriptFileContents contents = ParseScriptFile(file, "s.txt", problems);
    ASSERT_TRUE(problems.empty()) << file;
    ASSERT_EQ(contents.entries.size(), 1u);
    const auto encoded =
        EncodeScriptEntry(contents.entries[0], DefaultTables(), end, "s.txt", problems);
    ASSERT_TRUE(encoded) << file << (problems.empty() ? "" : problems[0].reason);
    std::vector<std::uint8_t> expected = bytes;
    expected.push_back(end);
    // Bytes after a lead byte at the end read as its pair; compare as read.
    ASSERT_EQ(test::Hex(*encoded), test::Hex(expected)) << file;
  }
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

  // Nothing reaches: the problem names the entry's line and every space.
  texts.bytes[1].assign(40, 1);
  def.layout = ScriptLayout::kSlots;
  ScriptLayoutResult full = LayOutScripts({texts}, spaces, {}, "plan");
  ASSERT_EQ(full.problems.size(), 1u);
  EXPECT_EQ(full.problems[0].code, ProblemCode::kNoRoom);
  EXPECT_EQ(full.problems[0].line, 9u);
  EXPECT_EQ(full.problems[0].reason, "0x10000..0x1000F: 16 free, 0x40..0x4F: 16 free");
}

}  // namespace
}  // namespace binconv
