// The script file: its escapes read back exactly, and what a file that is
// not one dump wrote gives.

#include "script/script_file.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "chartable/encoding.h"
#include "codec/encode.h"
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

}  // namespace
}  // namespace binconv
