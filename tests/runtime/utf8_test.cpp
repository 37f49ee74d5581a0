#include "runtime/utf8.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "runtime/utf16.h"
#include "support/bytes.h"

namespace binconv {
namespace {

using test::Hex;

// Decoded text, or "error at N", so that both outcomes compare in one line.
std::string Describe(const Result<std::u16string, Utf8Error>& r) {
  return r.has_value() ? Hex(r.value()) : "error at " + std::to_string(r.error().offset);
}

// A plain bit-by-bit decoder, written without range tables, as a reference.
Result<std::u16string, Utf8Error> ReferenceDecode(std::string_view s) {
  std::u16string out;
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<std::uint8_t>(s[i]);
    int length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > s.size()) return Unexpected(Utf8Error{i});
    char32_t c = length == 1 ? b : b & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
      const auto cont = static_cast<std::uint8_t>(s[i + k]);
      if ((cont >> 6) != 2) return Unexpected(Utf8Error{i});
      c = c << 6 | (cont & 0x3F);
    }
    const char32_t min = length == 1 ? 0 : length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return Unexpected(Utf8Error{i});
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += static_cast<std::size_t>(length);
  }
  return out;
}

bool Same(const Result<std::u16string, Utf8Error>& a, const Result<std::u16string, Utf8Error>& b) {
  if (a.has_value() != b.has_value()) return false;
  return a.has_value() ? a.value() == b.value() : a.error().offset == b.error().offset;
}

struct Case {
  std::string bytes;
  std::optional<std::u16string> text;  // nullopt: an error at `offset`
  std::size_t offset = 0;
};

class DecodeUtf8Case : public ::testing::TestWithParam<Case> {};

TEST_P(DecodeUtf8Case, MatchesExpectation) {
  const Case& c = GetParam();
  const std::string expected = c.text ? Hex(*c.text) : "error at " + std::to_string(c.offset);
  EXPECT_EQ(Describe(DecodeUtf8(c.bytes)), expected) << Hex(c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Valid, DecodeUtf8Case,
    ::testing::Values(Case{"", u""}, Case{"abc", u"abc"}, Case{std::string("\0", 1), {{u'\0'}}},
                      Case{"\xC2\x80\xDF\xBF", u"\u0080\u07FF"},
                      Case{"\xE0\xA0\x80\xEF\xBF\xBF", u"\u0800\uFFFF"},
                      Case{"\xED\x9F\xBF\xEE\x80\x80", u"\uD7FF\uE000"},
                      Case{"\xF0\x90\x80\x80", u"\U00010000"},
                      Case{"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
                      // A byte order mark is text here; skipping it is the caller's call.
                      Case{"\xEF\xBB\xBFx", u"\uFEFFx"}));

INSTANTIATE_TEST_SUITE_P(
    Invalid, DecodeUtf8Case,
    ::testing::Values(Case{"\x80", {}, 0}, Case{"ab\xBF", {}, 2},         // stray
                      Case{"\xC0\x80", {}, 0}, Case{"a\xC1\xBF", {}, 1},  // overlong
                      Case{"\xE0\x80\x80", {}, 0}, Case{"\xE0\x9F\xBF", {}, 0},
                      Case{"\xF0\x8F\xBF\xBF", {}, 0}, Case{"\xED\xA0\x80", {}, 0},
                      Case{"x\xED\xBF\xBF", {}, 1},  // surrogates
                      Case{"\xF4\x90\x80\x80", {}, 0}, Case{"\xF5\x80\x80\x80", {}, 0},
                      Case{"\xFF", {}, 0}, Case{"\xFE", {}, 0}, Case{"\xE3\x81", {}, 0},
                      Case{"a\xF0\x9F\x98", {}, 1},  // truncated
                      Case{"\xE3\x81"
                           "A",
                           {},
                           0},
                      Case{"\xC3\xC3\xA9", {}, 0}, Case{"\xC3\xA9\xE3\x81\x82\xF0", {}, 5}));

// Every two-byte start, with the tails that complete, cut or overrun it.
TEST(DecodeUtf8, AgreesWithReferenceOnAllTwoByteStarts) {
  for (const std::string tail : {"", "\x80", "\x80\xBF", "A", "\xBF\x80\x80"}) {
    for (int b0 = 0; b0 < 256; ++b0) {
      for (int b1 = 0; b1 < 256; ++b1) {
        const std::string s = std::string{static_cast<char>(b0), static_cast<char>(b1)} + tail;
        const auto got = DecodeUtf8(s);
        const auto want = ReferenceDecode(s);
        ASSERT_TRUE(Same(got, want)) << Hex(s) << ": " << Describe(got) << " vs " << Describe(want);
      }
    }
  }
}

// In blocks of 256 code points, so that a failure names a small range.
TEST(EncodeUtf8, RoundTripsEveryScalarValue) {
  for (char32_t first = 0; first <= 0x10FFFF; first += 256) {
    if (first >= 0xD800 && first <= 0xDFFF) continue;
    std::u16string units;
    std::size_t length = 0;
    for (char32_t c = first; c < first + 256; ++c) {
      if (c < 0x10000) {
        units += static_cast<char16_t>(c);
      } else {
        units += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        units += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      }
      length += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    }
    const std::string bytes = EncodeUtf8(units);
    const auto back = ReferenceDecode(bytes);
    ASSERT_EQ(bytes.size(), length) << "block U+" << std::hex << static_cast<std::uint32_t>(first);
    ASSERT_TRUE(back.has_value() && back.value() == units)
        << "block U+" << std::hex << static_cast<std::uint32_t>(first);
  }
}

TEST(EncodeUtf8, LoneSurrogatesBecomeReplacementCharacters) {
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(Hex(EncodeUtf8(u"a\xD800")), Hex("a" + fffd));
  EXPECT_EQ(Hex(EncodeUtf8(u"\xDC00\xD800")), Hex(fffd + fffd));
  EXPECT_EQ(Hex(EncodeUtf8(u"\xD800\xD800\xDC00")), Hex(fffd + "\xF0\x90\x80\x80"));
  EXPECT_EQ(Hex(EncodeUtf8(u"\xDBFF\xDFFF")), Hex("\xF4\x8F\xBF\xBF"));
}

// A file written as UTF-8 and read back as a text file keeps the text
// exactly when Utf8FileKeeps says so.
TEST(Utf8FileKeeps, ExactlyWhatAFileReadsBack) {
  for (const std::u16string text :
       {u"", u"a", u"\xD800", u"a\xD800", u"\xDC00" u"a", u"\xD800\xDC00", u"\xD800\xD800\xDC00",
        u"\xFEFF", u"\xFEFF" u"a", u"a\xFEFF"}) {
    const auto back = DecodeUtf8Text(EncodeUtf8(text));
    EXPECT_EQ(Utf8FileKeeps(text, true), back && back.value() == text) << Hex(EncodeUtf8(text));
    EXPECT_EQ(Utf8FileKeeps(text, false), DecodeUtf8(EncodeUtf8(text)).value() == text);
  }
}

TEST(AppendUtf8, KeepsWhatIsThere) {
  std::string out = "x";
  AppendUtf8(u"\u3042", out);
  EXPECT_EQ(Hex(out), Hex("x\xE3\x81\x82"));
}

// What the streaming decoder makes of `chunks`, in the form of Describe.
std::string Stream(const std::vector<std::string_view>& chunks) {
  Utf8Decoder decoder;
  std::u16string out;
  for (std::string_view chunk : chunks) {
    if (!decoder.Feed(chunk, out)) return "error at " + std::to_string(decoder.error().offset);
  }
  if (!decoder.Finish()) return "error at " + std::to_string(decoder.error().offset);
  return Hex(out);
}

TEST(Utf8Decoder, EverySplitGivesTheOneShotResult) {
  const std::string kSamples[] = {
      "a\xC3\xA9\xE3\x81\x82\xF0\x9F\x98\x80z\xF4\x8F\xBF\xBF",  // valid
      "ok\xE3\x81\x82\xED\xA0\x80tail",                          // surrogate
      "\xC3\xA9\xF0\x9F\x98",                                    // truncated at the end
      "\xE3\x81\x82\xE0\x9F\xBF", "\xE3\x81\x82\xC3\xC3"};
  for (const std::string& s : kSamples) {
    const std::string expected = Describe(DecodeUtf8(s));
    for (std::size_t i = 0; i <= s.size(); ++i) {
      for (std::size_t j = i; j <= s.size(); ++j) {
        const std::string_view v(s);
        ASSERT_EQ(Stream({v.substr(0, i), v.substr(i, j - i), v.substr(j)}), expected)
            << Hex(s) << " split at " << i << ", " << j;
      }
    }
  }
}

TEST(Utf8Decoder, RandomInputAndChunksMatchOneShot) {
  std::mt19937 rng(8);
  const std::string pieces[] = {"a", "\xC3\xA9", "\xE3\x81\x82", "\xF0\x9F\x98\x80", "\r\n"};
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> choice(0, 40);
  for (int round = 0; round < 3000; ++round) {
    std::string s;
    const int length = choice(rng);
    for (int k = 0; k < length; ++k) {
      const int c = choice(rng);
      s += c < 5 ? pieces[c] : c < 8 ? std::string(1, static_cast<char>(byte(rng))) : pieces[0];
    }
    std::vector<std::string_view> chunks;
    for (std::size_t pos = 0; pos < s.size();) {
      const std::size_t n = std::min<std::size_t>(s.size() - pos, choice(rng) % 6);
      chunks.push_back(std::string_view(s).substr(pos, n));
      pos += n;
    }
    ASSERT_EQ(Stream(chunks), Describe(DecodeUtf8(s))) << Hex(s);
  }
}

TEST(Utf8Decoder, KeepsTextBeforeAnErrorAndStaysFailed) {
  Utf8Decoder decoder;
  std::u16string out;
  EXPECT_TRUE(decoder.Feed("ab\xE3", out));
  EXPECT_FALSE(decoder.Feed("\x81X", out));
  EXPECT_EQ(decoder.error().offset, 2u);
  EXPECT_EQ(out, u"ab");
  EXPECT_FALSE(decoder.Feed("c", out));
  EXPECT_FALSE(decoder.Finish());
  EXPECT_EQ(out, u"ab");
}

}  // namespace
}  // namespace binconv
