// Long inputs through the streaming UTF-8 decoder and AppendUtf8, whose whole
// sequences and ASCII blocks take shortcuts, against plain references.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "runtime/utf8.h"
#include "support/bytes.h"

namespace binconv {
namespace {

using test::Hex;

// Decoded units up to the first bad sequence, and its offset if there is one.
struct Decoded {
  std::u16string text;
  bool bad = false;
  std::size_t offset = 0;
};

// A sequence at a time, from the bit patterns, without range tables.
Decoded ReferenceDecode(std::string_view s) {
  Decoded d;
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<std::uint8_t>(s[i]);
    const int length = b < 0x80         ? 1
                       : (b >> 5) == 6  ? 2
                       : (b >> 4) == 14 ? 3
                       : (b >> 3) == 30 ? 4
                                        : 0;
    bool ok = length != 0 && i + static_cast<std::size_t>(length) <= s.size();
    char32_t c = length <= 1 ? b : b & (0x7F >> length);
    for (int k = 1; ok && k < length; ++k) {
      const auto cont = static_cast<std::uint8_t>(s[i + static_cast<std::size_t>(k)]);
      ok = (cont >> 6) == 2;
      c = c << 6 | (cont & 0x3F);
    }
    const char32_t min = length <= 1 ? 0 : length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      d.bad = true;
      d.offset = i;
      return d;
    }
    if (c >= 0x10000) {
      d.text += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      d.text += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      d.text += static_cast<char16_t>(c);
    }
    i += static_cast<std::size_t>(length);
  }
  return d;
}

std::string Describe(const Decoded& d) {
  return Hex(d.text) + (d.bad ? "| bad at " + std::to_string(d.offset) : "| good");
}

// Mostly three-byte characters, with ASCII runs, the edges of the ranges
// that are valid; a nonzero `corrupt` picks one bad sequence to put somewhere.
std::string RandomUtf8(std::mt19937& rng, std::size_t size, std::size_t corrupt) {
  static const std::string_view kGood[] = {"\xE3\x81\x82",
                                           "\xE6\xBC\xA2",
                                           "\xEF\xBD\x81",
                                           "\xE0\xA0\x80",
                                           "\xED\x9F\xBF",
                                           "\xEE\x80\x80",
                                           "\xEF\xBF\xBF",
                                           "\xC2\x80",
                                           "\xDF\xBF",
                                           "\xC3\x97",
                                           "\xF0\x90\x80\x80",
                                           "\xF4\x8F\xBF\xBF",
                                           "\r\n",
                                           "a",
                                           "0C01 ",
                                           "\x7F"};
  static const std::string_view kBad[] = {"\xE0\x9F\xBF",
                                          "\xED\xA0\x80",
                                          "\xC1\xBF",
                                          "\xC0\x80",
                                          "\xE3\x81",
                                          "\xE3\x41\x82",
                                          "\xF5\x80\x80\x80",
                                          "\xF0\x8F\xBF\xBF",
                                          "\xF4\x90\x80\x80",
                                          "\x80",
                                          "\xFF",
                                          "\xE3"};
  std::uniform_int_distribution<std::size_t> good(0, std::size(kGood) - 1);
  std::uniform_int_distribution<int> percent(0, 99);
  std::string s;
  while (s.size() < size) s += percent(rng) < 80 ? kGood[0] : kGood[good(rng)];
  if (corrupt != 0) {
    std::uniform_int_distribution<std::size_t> at(0, s.size());
    std::size_t cut = at(rng);
    // Inserted at a character boundary, so that the bad sequence is the first.
    while (cut < s.size() && (static_cast<std::uint8_t>(s[cut]) & 0xC0) == 0x80) ++cut;
    s.insert(cut, kBad[(corrupt - 1) % std::size(kBad)]);
  }
  return s;
}

class Utf8DecoderLongTest : public testing::TestWithParam<std::size_t> {};

// Max chunk size as the parameter: 1 takes every byte through the state
// machine, larger ones mostly through whole sequences.
TEST_P(Utf8DecoderLongTest, MatchesReferenceAndKeepsTextBeforeAnError) {
  const std::size_t max_chunk = GetParam();
  for (unsigned seed = 1; seed <= 40; ++seed) {
    std::mt19937 rng(seed);
    // Every bad sequence of the list, and clean input, at each chunk size.
    const std::string bytes = RandomUtf8(rng, 2000 + 100 * seed, seed % 3 == 0 ? 0 : seed);
    const Decoded expected = ReferenceDecode(bytes);

    Utf8Decoder decoder;
    Decoded actual;
    std::uniform_int_distribution<std::size_t> size(1, max_chunk);
    bool good = true;
    for (std::size_t at = 0; good && at < bytes.size();) {
      const std::size_t n = std::min(size(rng), bytes.size() - at);
      good = decoder.Feed(std::string_view(bytes).substr(at, n), actual.text);
      at += n;
    }
    good = good && decoder.Finish();
    actual.bad = !good;
    actual.offset = good ? 0 : decoder.error().offset;
    ASSERT_EQ(Describe(expected), Describe(actual)) << "seed " << seed << " " << Hex(bytes);
  }
}

INSTANTIATE_TEST_SUITE_P(ChunkSizes, Utf8DecoderLongTest, testing::Values(1, 5, 64, 100000));

// Bytes decoded elsewhere: how many a begun character still needs, and error
// offsets that count the skipped bytes.
TEST(Utf8DecoderSkip, MissingBytesAndOffsetsAfterSkipping) {
  Utf8Decoder decoder;
  std::u16string out;
  EXPECT_EQ(0u, decoder.missing());
  ASSERT_TRUE(decoder.Feed("a\xF0", out));
  EXPECT_EQ(3u, decoder.missing());
  ASSERT_TRUE(decoder.Feed("\x9F\x98", out));
  EXPECT_EQ(1u, decoder.missing());
  ASSERT_TRUE(decoder.Feed("\x80\xE3", out));
  EXPECT_EQ(2u, decoder.missing());
  ASSERT_TRUE(decoder.Feed("\x81\x82", out));
  EXPECT_EQ(0u, decoder.missing());
  EXPECT_EQ(Hex(u"a\U0001F600\u3042"), Hex(out));
  decoder.Skip(1000);
  EXPECT_FALSE(decoder.Feed("xy\x80", out));
  EXPECT_EQ(1010u, decoder.error().offset);
}

// ---------------------------------------------------------------------------

// One unit at a time, lone surrogates as U+FFFD.
std::string ReferenceEncode(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    const int length = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    static constexpr unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (int k = 0; k < length; ++k) {
      const int shift = 6 * (length - 1 - k);
      const auto bits = static_cast<unsigned char>((c >> shift) & (k == 0 ? 0xFF : 0x3F));
      out += static_cast<char>(k == 0 ? (length == 1 ? bits : kLead[length] | bits) : 0x80 | bits);
    }
  }
  return out;
}

// Listings: long ASCII runs broken by characters of every length, with
// surrogate pairs and lone halves landing on every offset of a block.
TEST(AppendUtf8Long, MatchesReferenceWhereverBlocksBreak) {
  static const std::u16string_view kPieces[] = {
      u"1A 20 3F 24\r\n", u"50 ",    u"\u5F41 ",    u"\u00D7", u"\u0080", u"\u07FF",
      u"\u0800",          u"\uFFFF", u"\U0001F600", u"\xD83D", u"\xDE00", u"\x7F"};
  for (unsigned seed = 1; seed <= 200; ++seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<std::size_t> piece(0, std::size(kPieces) - 1);
    std::uniform_int_distribution<int> percent(0, 99);
    std::u16string text;
    while (text.size() < 300) text += percent(rng) < 70 ? kPieces[0] : kPieces[piece(rng)];
    std::string out = "prefix";
    AppendUtf8(text, out);
    ASSERT_EQ(Hex("prefix" + ReferenceEncode(text)), Hex(out))
        << "seed " << seed << " " << Hex(text);
  }
}

}  // namespace
}  // namespace binconv
