#include "runtime/text_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/cp932.h"
#include "runtime/utf8.h"
#include "support/gtest_support.h"
#include "support/bytes.h"

namespace binconv {
namespace {

using test::Hex;

std::vector<std::u16string> ReadAll(LineReader& reader) {
  std::vector<std::u16string> lines;
  std::u16string line;
  while (reader.Next(line)) {
    lines.push_back(line);
    EXPECT_EQ(reader.line_number(), lines.size());
  }
  return lines;
}

struct LinesCase {
  std::string bytes;
  std::vector<std::u16string> lines;
  TextEncoding encoding = TextEncoding::kCp932;
};

void PrintTo(const LinesCase& c, std::ostream* os) {
  for (unsigned char b : c.bytes) *os << std::hex << static_cast<int>(b) << ' ';
}

class LineSplitting : public ::testing::TestWithParam<LinesCase> {};

const std::string kFifteenA = [] {
  std::string text;
  for (int i = 0; i < 15; ++i) text += "\xE3\x81\x82";
  return text;
}();

TEST_P(LineSplitting, GivesTheLines) {
  LineReader reader(GetParam().bytes);
  const std::vector<std::u16string> lines = ReadAll(reader);
  EXPECT_EQ(reader.encoding(), GetParam().encoding);
  EXPECT_FALSE(reader.bad_utf8());
  std::vector<std::string> got, want;
  for (const auto& l : lines) got.push_back(Hex(l));
  for (const auto& l : GetParam().lines) want.push_back(Hex(l));
  EXPECT_EQ(got, want);
}

INSTANTIATE_TEST_SUITE_P(LineEnds, LineSplitting,
                         ::testing::Values(LinesCase{"", {}}, LinesCase{"a", {u"a"}},
                                           LinesCase{"a\r\n", {u"a"}},
                                           LinesCase{"a\r\nb", {u"a", u"b"}},
                                           LinesCase{"a\rb\nc\r\n", {u"a", u"b", u"c"}},
                                           LinesCase{"\r\n", {u""}}, LinesCase{"\n\n", {u"", u""}},
                                           LinesCase{"\r\r\n", {u"", u""}},
                                           LinesCase{"a\n\rb", {u"a", u"", u"b"}},
                                           LinesCase{" , \r\n\r\n", {u" , ", u""}}));

INSTANTIATE_TEST_SUITE_P(
    Cp932, LineSplitting,
    ::testing::Values(LinesCase{"\x82\xA0\r\n\x81\x5F", {u"\u3042", u"\uFF3C"}},
                      LinesCase{"\x82\r\nX", {u"\u30FB", u"X"}},  // stray lead keeps the break
                      LinesCase{"a\x81\nb", {u"a\u30FB", u"b"}},
                      LinesCase{std::string("a\0b\r\n", 5), {std::u16string(u"a\0b", 3)}}));

INSTANTIATE_TEST_SUITE_P(
    Utf8, LineSplitting,
    ::testing::Values(LinesCase{"\xEF\xBB\xBF", {}, TextEncoding::kUtf8Bom},
                      LinesCase{"\xEF\xBB\xBF\r\n", {u""}, TextEncoding::kUtf8Bom},
                      LinesCase{"\xEF\xBB\xBF\xE3\x81\x82\r\n\xF0\x9F\x98\x80",
                                {u"\u3042", u"\U0001F600"},
                                TextEncoding::kUtf8Bom},
                      // Without a mark: UTF-8 once the whole file is valid and not plain ASCII.
                      LinesCase{"L,\xE3\x81\x82,\xE3\x81\x84\r\n/ \xC3\xA9\n",
                                {u"L,\u3042,\u3044", u"/ \u00E9"},
                                TextEncoding::kUtf8},
                      LinesCase{"\xF0\x9F\x98\x80", {u"\U0001F600"}, TextEncoding::kUtf8},
                      // A mark that is not at the start is a character like any other.
                      LinesCase{"a\xEF\xBB\xBF", {u"a\uFEFF"}, TextEncoding::kUtf8},
                      LinesCase{"L,a,b\r\n", {u"L,a,b"}, TextEncoding::kCp932},
                      // Valid UTF-8 up to a last code page 932 character.
                      LinesCase{"\xE3\x81\x82\r\n\x82\xA0",
                                {DecodeCp932("\xE3\x81\x82"), u"\u3042"}},
                      // Fifteen good UTF-8 characters before a bad byte are too few to
                      // call the file damaged UTF-8 (sixteen are: see the table loader's tests).
                      LinesCase{kFifteenA + "\xFF", {DecodeCp932(kFifteenA + "\xFF")}},
                      // An overlong form and a surrogate are not UTF-8.
                      LinesCase{"\xC0\xAF", {DecodeCp932("\xC0\xAF")}},
                      LinesCase{"\xED\xA0\x80", {DecodeCp932("\xED\xA0\x80")}}));

TEST(LineReader, BadUtf8StopsWithLineAndColumn) {
  LineReader reader("\xEF\xBB\xBFok\r\nab\xC0\x80\r\nnext\r\n");
  std::u16string line;
  ASSERT_TRUE(reader.Next(line));
  EXPECT_FALSE(reader.Next(line));
  EXPECT_TRUE(reader.bad_utf8());
  EXPECT_EQ(reader.line_number(), 2u);
  EXPECT_EQ(reader.bad_utf8_column(), 3u);
  EXPECT_FALSE(reader.Next(line));
}

TEST(LineReader, BadUtf8ColumnOnTheFirstLineIgnoresTheMark) {
  LineReader reader("\xEF\xBB\xBF\xE3\x81\x82\xFF");
  std::u16string line;
  EXPECT_FALSE(reader.Next(line));
  EXPECT_TRUE(reader.bad_utf8());
  EXPECT_EQ(reader.line_number(), 1u);
  EXPECT_EQ(reader.bad_utf8_column(), 2u);  // in characters: あ, then the bad byte
}

// A bad sequence in a text read in two chunks, cut anywhere (inside a
// character, between a CR and its LF, inside the mark), is placed where the
// line reader places it in the whole text.
TEST(TextPlaceCounter, PlacesABadSequenceAsTheLineReaderWhereverTheChunksEnd) {
  std::string sixteen;  // enough for the reader to take a text without a mark as UTF-8
  for (int i = 0; i < 16; ++i) sixteen += "\xE3\x81\x82";
  for (const std::string& text :
       {std::string("\xEF\xBB\xBF") + "\xE3\x81\x82\xFF",
        std::string("\xEF\xBB\xBF") + "ok\r\nab\xC0\x80\r\n",
        std::string("\xEF\xBB\xBF") + "a\rb\nc\r\n\xF0\x9F\x98\x80\xE3\x81\n",
        sixteen + "\r\n\xE3\x81\x82\xE3\x81\x82\xE3\x81" + "A",
        sixteen + "\r\r\n\n\x80"}) {
    LineReader reader(text);
    std::u16string line;
    while (reader.Next(line)) {
    }
    ASSERT_TRUE(reader.bad_utf8()) << Hex(text);
    const std::pair<std::size_t, std::size_t> expected{reader.line_number(),
                                                       reader.bad_utf8_column()};
    const std::size_t offset = DecodeUtf8(text).error().offset;
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
      // Only a chunk the decoder takes whole is fed: it may end inside the bad sequence.
      Utf8Decoder decoder;
      std::u16string units;
      if (!decoder.Feed(std::string_view(text).substr(0, cut), units)) continue;
      TextPlaceCounter counter;
      counter.Feed(std::string_view(text).substr(0, cut));
      EXPECT_EQ(counter.PlaceOf(offset, std::string_view(text).substr(cut)), expected)
          << Hex(text) << " cut at " << cut;
    }
  }
}

// CR and LF are never part of a pair, so splitting the bytes first and
// decoding the whole and then splitting must agree.
TEST(LineReader, RandomBytesSplitLikeTheDecodedText) {
  std::mt19937 rng(10);
  std::string bytes(10 << 20, '\0');
  for (std::size_t i = 0; i < bytes.size(); i += 4) {
    const auto r = static_cast<std::uint32_t>(rng());
    std::memcpy(&bytes[i], &r, 4);
  }
  bytes[0] = 'x';  // not a byte order mark
  const std::u16string text = DecodeCp932(bytes);
  std::vector<std::u16string> expected;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find_first_of(u"\r\n", start);
    if (end == std::u16string::npos) end = text.size();
    expected.push_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, u"\r\n") == 0 ? 2 : 1);
  }
  LineReader reader(bytes);
  const std::vector<std::u16string> lines = ReadAll(reader);
  ASSERT_EQ(lines.size(), expected.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    ASSERT_EQ(lines[i], expected[i]) << "line " << i + 1;
  }
}

// Code page 932 text read as UTF-8 would turn every cell into mojibake, so the
// rule must practically never take it for UTF-8. Random strings are tried at
// several lengths: of kana and kanji (double-byte characters), and of
// half-width katakana (single bytes 0xA1-0xDF), the one range whose bytes can
// form valid UTF-8 pairs (ﾃｽ is C3 BD). A cell of one character between commas
// is never valid UTF-8 at all: its lead byte is a continuation byte or starts
// a sequence longer than the bytes it has before the comma.
struct Cp932Sample {
  const char* name;
  bool double_byte;  // kana and kanji, else half-width katakana
  int never_from;    // the length from which no string may pass for UTF-8
};

class RandomCp932Text : public testing::TestWithParam<Cp932Sample> {};

TEST_P(RandomCp932Text, IsNotTakenForUtf8) {
  std::vector<std::string> characters;
  if (GetParam().double_byte) {
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
      for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
        const std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
        const std::u16string decoded = DecodeCp932(bytes);
        const bool kana = decoded[0] >= 0x3041 && decoded[0] <= 0x30FA;
        const bool kanji = decoded[0] >= 0x4E00 && decoded[0] <= 0x9FFF;
        if (decoded.size() == 1 && (kana || kanji)) characters.push_back(bytes);
      }
    }
    ASSERT_GT(characters.size(), 7000u);
  } else {
    for (unsigned byte = 0xA1; byte <= 0xDF; ++byte) {
      characters.push_back(std::string(1, static_cast<char>(byte)));
    }
  }
  std::mt19937 rng(932);
  std::uniform_int_distribution<std::size_t> pick(0, characters.size() - 1);
  constexpr int kTries = 100000;
  for (const int length : {1, 2, 3, 4, 6, 8, 16, 32}) {
    int taken = 0;
    for (int i = 0; i < kTries; ++i) {
      std::string text;
      for (int k = 0; k < length; ++k) text += characters[pick(rng)];
      taken += DetectTextEncoding(text) != TextEncoding::kCp932;
    }
    std::printf("%s, %2d characters: %d of %d taken for UTF-8 (%.4f%%)\n", GetParam().name,
                length, taken, kTries, 100.0 * taken / kTries);
    if (length >= GetParam().never_from) {
      EXPECT_EQ(taken, 0) << length << " characters";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, RandomCp932Text,
                         testing::Values(Cp932Sample{"KanaAndKanji", true, 16},
                                         Cp932Sample{"HalfWidthKatakana", false, 32}),
                         [](const auto& sample) { return std::string(sample.param.name); });

// Bytes that are not UTF-8, told as what they look like: the first bad byte
// at `bad`, the bytes from the start of the text.
struct NotUtf8Case {
  const char* name;
  std::string bytes;
  std::size_t bad;
  ProblemDetail looks;
};
void PrintTo(const NotUtf8Case& c, std::ostream* os) { *os << c.name; }
class NotUtf8Looks : public testing::TestWithParam<NotUtf8Case> {};
TEST_P(NotUtf8Looks, NamesWhatItLooksLike) {
  const NotUtf8Case& c = GetParam();
  EXPECT_EQ(NotUtf8Detail(c.bytes, c.bad, true), c.looks);
}
INSTANTIATE_TEST_SUITE_P(
    Texts, NotUtf8Looks,
    testing::Values(NotUtf8Case{"Kanji", "a\x8A\xBF\x8E\x9A", 1, ProblemDetail::kLooksCp932},
                    NotUtf8Case{"HalfWidthKana", "\xB1\xB2", 0, ProblemDetail::kLooksCp932},
                    NotUtf8Case{"TrailOutOfRange", "\x82\x20", 0, ProblemDetail::kNone},
                    NotUtf8Case{"BrokenUtf8", "\xE3\x81\x82\xE3\x81\x28", 3, ProblemDetail::kNone},
                    NotUtf8Case{"Utf16BigEndianMark", "\xFE\xFF\x30\x42", 0,
                                ProblemDetail::kLooksUtf16},
                    // ASCII in UTF-16 is valid UTF-8 up to the first other character.
                    NotUtf8Case{"Utf16WithoutMark", std::string("a\0b\0c\0\xFC\x30", 8), 6,
                                ProblemDetail::kLooksUtf16}),
    test::CaseName<NotUtf8Case>);

TEST(LineReader, OneMegabyteLine) {
  std::string bytes;
  for (int i = 0; i < (1 << 19); ++i) bytes += "\x88\x9F";  // 亜
  bytes += "\r\n";
  LineReader reader(bytes);
  std::u16string line;
  ASSERT_TRUE(reader.Next(line));
  EXPECT_EQ(line, std::u16string(1 << 19, u'\u4E9C'));
  EXPECT_FALSE(reader.Next(line));
}

}  // namespace
}  // namespace binconv
