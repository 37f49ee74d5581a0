#include "codec/encode.h"

#include "chartable/encoding.h"
#include "codec/convert.h"
#include "codec/encoder.h"
#include "codec/listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "runtime/utf16.h"
#include "support/bytes.h"
#include "support/encoded.h"
#include "support/random_text.h"

namespace binconv {
namespace {

using test::Hex;

using Kind = EncodeProblem::Kind;

using test::Encode;
using Outcome = test::Encoded;

// Bytes and problems on one line, so that failures show both sides.
std::string Describe(const std::vector<std::uint8_t>& bytes,
                     const std::vector<EncodeProblem>& problems) {
  return Outcome{bytes, problems}.Describe();
}

Outcome EncodeWhole(const GameTable& table, LineBreaks line_breaks, std::u16string_view text) {
  return Encode(table, line_breaks, text);
}

CharTable MakeTable() {
  CharTable t;
  t.SetCell(0, 1, 10, u"\u3042");  // あ
  t.SetCell(2, 3, 4, u"\u30A2");   // ア
  t.SetCell(3, 0, 0, u"\u30AB");   // カ
  t.SetCell(1, 2, 3, u"x");
  t.SetCell(4, 0, 1, u"x");
  t.SetCell(5, 15, 15, u"z");
  t.SetCell(0, 0, 0, u"\uFF21");
  t.SetCell(0, 0, 11, u"Q");
  t.SetCell(0, 2, 5, u"\xD83E");
  t.SetCell(0, 2, 6, u"\xDE01");
  return t;
}

struct EncodeCase {
  const char* name;
  std::u16string input;
  std::string expected;  // as Describe gives it
  LineBreaks line_breaks = LineBreaks::kCrLf;
};

void PrintTo(const EncodeCase& c, std::ostream* os) { *os << c.name; }

class EncoderTest : public testing::TestWithParam<EncodeCase> {
 protected:
  GameTable table_ = GameTableOf(MakeTable());
};

TEST_P(EncoderTest, OneShotAndEverySplit) {
  const EncodeCase& c = GetParam();
  EXPECT_EQ(c.expected, EncodeWhole(table_, c.line_breaks, c.input).Describe());
  for (std::size_t cut = 0; cut <= c.input.size(); ++cut) {
    bool first = true;
    const Outcome split = Encode(table_, c.line_breaks, c.input, [&] {
      return std::exchange(first, false) ? cut : c.input.size();
    });
    EXPECT_EQ(c.expected, split.Describe()) << "cut at " << cut;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncoderTest,
    testing::Values(
        EncodeCase{"Empty", u"", "bytes"},
        EncodeCase{"WorkedExample", u"\u3042\r\n\u30A2\u3000<0C01>", "bytes 1A 24 21 34 50 0C 01"},
        // A tag's bytes are its own: half a byte is refused at its mark.
        EncodeCase{"TagThenCodeLeavesOddDigit", u"<1>Q", "bytes 0B | odd 1:1 U+0000"},
        EncodeCase{"TagOnlyOdd", u"<1>", "bytes | odd 1:1 U+0000"},
        EncodeCase{"NoCode", u"\u3042\u304B", "bytes 1A | nocode 1:2 U+304B"},
        EncodeCase{"HexLookingNoCodeIsDropped", u"<12>a", "bytes 12 | nocode 1:5 U+0061"},
        EncodeCase{"LoneCrNoCode", u"\u3042\r\u3042", "bytes 1A 1A | nocode 1:2 U+000D"},
        EncodeCase{"LoneLfNoCodeThenNextLine", u"\u3042\n\u304B",
                   "bytes 1A | nocode 1:2 U+000A | nocode 2:1 U+304B"},
        EncodeCase{"AnyLoneBreaks", u"\u3042\r\u3042\n\u3042", "bytes 1A 24 1A 24 1A",
                   LineBreaks::kAny},
        EncodeCase{"CrLfInTagAtCr", u"<1\r\n2>", "bytes 12 | break-in-tag 1:3 U+9C2F"},
        EncodeCase{"LoneLfInTagIsDropped", u"<1\n2\r>\u3042", "bytes 12 1A"},
        EncodeCase{"AnyLoneLfInTag", u"<1\n2>", "bytes 12 | break-in-tag 1:3 U+9C2F", LineBreaks::kAny},
        EncodeCase{"TypedMarkInTag", u"<1\u9C2F2>", "bytes 12 | intag 1:3 U+9C2F"},
        EncodeCase{"TypedMarkOutside", u"\u9C2F", "bytes 24"},
        EncodeCase{"InTagNotHex", u"<G\uFF11>", "bytes | intag 1:2 U+0047 | intag 1:3 U+FF11"},
        EncodeCase{"InTagSeparators", u"<1 \u30002>", "bytes 12"},
        EncodeCase{"UnclosedTag", u"<12\r\n", "bytes 12 | break-in-tag 1:4 U+9C2F | unclosed 1:1 U+003C"},
        EncodeCase{"FullWidthTags", u"\uFF1C1\uFF1C2\uFF1E\u3042", "bytes 12 1A | nested 1:3 U+FF1C"},
        EncodeCase{"SpacesAndClose", u"\u3000 >", "bytes 50 50 | stray 1:3 U+003E"},
        EncodeCase{"EmptyTag", u"<>\u3042< >", "bytes 1A | empty 1:1 U+003C | empty 1:4 U+003C"},
        EncodeCase{"LeadCodesAndFirstCell", u"xz\u30AB", "bytes 20 23 18 FF 22 00"},
        EncodeCase{"PairNoCode", u"\U0001F600\u3042", "bytes 1A | nocode 1:1 U+1F600"},
        EncodeCase{"PairInTag", u"<\U0001F600>", "bytes | intag 1:2 U+1F600"},
        // The low unit is part of the one character at column 1.
        EncodeCase{"HighWithCodeLowAlone", u"\U0001F900", "bytes 25 | nocode 1:1 U+DD00"},
        EncodeCase{"ColumnsCountCharacters", u"\U0001F600\U0001F600\u20AC",
                   "bytes | nocode 1:1 U+1F600 | nocode 1:2 U+1F600 | nocode 1:3 U+20AC"},
        EncodeCase{"LowWithCodeHighAlone", u"\U0001F601", "bytes 26 | nocode 1:1 U+D83D"},
        EncodeCase{"LoneHighInTagAtClose", u"<\xD83D>", "bytes | intag 1:2 U+D83D"},
        EncodeCase{"HighOpenLowIsNoPair", u"\xD83D<\xDE00>",
                   "bytes | nocode 1:1 U+D83D | intag 1:3 U+DE00"},
        EncodeCase{"LaterLines", u"\u3042\r\n\u3042\u304B", "bytes 1A 24 1A | nocode 2:2 U+304B"},
        EncodeCase{"CrThenCrLf", u"\r\r\n\u304B",
                   "bytes 24 | nocode 1:1 U+000D | nocode 3:1 U+304B"},
        EncodeCase{"AnyCrThenCrLf", u"\r\r\n\u304B", "bytes 24 24 | nocode 3:1 U+304B",
                   LineBreaks::kAny}),
    [](const testing::TestParamInfo<EncodeCase>& p) { return std::string(p.param.name); });

TEST(EncoderTest, NextTextStartsAfresh) {
  Encoder encoder(GameTableOf(MakeTable()));
  std::vector<std::uint8_t> bytes;
  encoder.Feed(u"<1\u304B", bytes);
  encoder.Finish(bytes);
  EXPECT_EQ("bytes | intag 1:3 U+304B | odd 1:1 U+0000 | unclosed 1:1 U+003C",
            Describe(bytes, encoder.problems()));
  bytes.clear();
  encoder.clear_problems();
  encoder.Feed(u"22\u3042", bytes);  // not in a tag any more, and no digit left over
  encoder.Finish(bytes);
  EXPECT_EQ("bytes 1A | nocode 1:1 U+0032 | nocode 1:2 U+0032",
            Describe(bytes, encoder.problems()));
}

// ---------------------------------------------------------------------------
// Differential: the one pass against ConvertToCode followed by ParseListing.

// Characters chosen to hit every branch, hex digits and surrogates among them.
constexpr std::u16string_view kPieces[] = {
    u"<",      u">",      u"<",      u">",          u"\uFF1C",     u"\uFF1E",
    u"\r",     u"\n",     u"\r\n",   u"\r\n",       u" ",          u"\u3000",
    u"\u9C2F", u"\u3042", u"\u30A2", u"\u30AB",     u"\u304B",     u"x",
    u"z",      u"Q",      u"q",      u"1",          u"7",          u"a",
    u"A",      u"f",      u"\uFF21", u"\t",         u"0C",         u"\uFF11",
    u"G",      u"\xD83D", u"\xDE00", u"\U0001F600", u"\U0001F900", u"\U0001F601"};

// A broken tag's shape leaves the listing's digits as they are, and the
// writer drops a lone line break as the encoder does.
bool Benign(const EncodeProblem& p) {
  if (test::IsTagShape(p.kind)) return true;
  return p.kind == Kind::kNoCode && (p.ch == U'\r' || p.ch == U'\n');
}

// A hex digit without a code: the encoder drops it, while the listing keeps
// it among the digits, where the writer can't tell it from one.
bool HexDigitNoCode(const EncodeProblem& p) {
  return p.kind == Kind::kNoCode && p.ch < 0x80 && HexValue(static_cast<char16_t>(p.ch)) >= 0;
}

void AppendUnits(char32_t ch, std::u16string& out) {
  if (ch < 0x10000) {
    out += static_cast<char16_t>(ch);
  } else {
    out += static_cast<char16_t>(0xD800 + ((ch - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((ch - 0x10000) & 0x3FF));
  }
}

class EncoderDifferentialTest : public testing::TestWithParam<LineBreaks> {};

TEST_P(EncoderDifferentialTest, MatchesListingPath) {
  const GameTable table = GameTableOf(MakeTable());
  const LineBreaks line_breaks = GetParam();
  int clean = 0;
  for (unsigned seed = 1; seed <= 4000; ++seed) {
    std::mt19937 rng(seed);
    const bool long_text = seed % 200 == 0;
    const std::u16string text = test::RandomText(rng, kPieces, long_text);
    const Outcome whole = EncodeWhole(table, line_breaks, text);
    const auto context = [&] { return "seed " + std::to_string(seed) + " input " + Hex(text); };

    std::uniform_int_distribution<std::size_t> size(0, long_text ? 3000 : 4);
    ASSERT_EQ(whole.Describe(),
              Encode(table, line_breaks, text, [&] { return size(rng); }).Describe())
        << context();

    const std::u16string listing = ConvertToCode(text, table, line_breaks);
    const Result<std::vector<std::uint8_t>, Problem> parsed = ParseListing(listing);

    // Problems that leave only digits and separators in the listing keep the
    // two paths in step, unless a tag holds half a byte: the encoder refuses
    // it where it stands, while its digit pairs with the next in the listing.
    const auto odd = [](const EncodeProblem& p) { return p.kind == Kind::kOddCount; };
    if (std::all_of(whole.problems.begin(), whole.problems.end(), Benign)) {
      clean += whole.problems.empty();
      ASSERT_TRUE(parsed.has_value()) << context();
      ASSERT_EQ(Describe(parsed.value(), {}), Describe(whole.bytes, {}))
          << context() << " listing " << Hex(listing);
    }

    // The other problems are exactly what the listing carries besides digits
    // and separators, in order.
    std::u16string reported;
    for (const EncodeProblem& p : whole.problems) {
      if (!Benign(p) && !odd(p) && !HexDigitNoCode(p)) AppendUnits(p.ch, reported);
    }
    std::u16string carried;
    for (const char16_t ch : listing) {
      if (HexValue(ch) < 0 && ch != u' ' && ch != u'\u3000' && ch != u'\r' && ch != u'\n') {
        carried += ch;
      }
    }
    ASSERT_EQ(Hex(carried), Hex(reported)) << context();

    // Each problem points at its character in the text.
    const test::Places places(text);
    for (const EncodeProblem& p : whole.problems) {
      if (odd(p)) continue;  // at its tag's mark
      std::size_t at = places.At(p.line, p.column);
      // A low unit reported alone shares the column of its pair.
      if (at != std::u16string_view::npos && IsLowSurrogate(p.ch) && IsHighSurrogate(text[at])) {
        ++at;
      }
      ASSERT_NE(at, std::u16string_view::npos)
          << context() << " problem at " << p.line << ":" << p.column;
      std::u16string expected;
      AppendUnits(p.ch, expected);
      std::u16string found(text.substr(at, expected.size()));
      if (p.ch == kLineBreakMark && (found == u"\r" || found == u"\n")) found = expected;
      ASSERT_EQ(Hex(expected), Hex(found))
          << context() << " problem at " << p.line << ":" << p.column;
    }
  }
  // The comparison of bytes must not be vacuous.
  EXPECT_GT(clean, 100);
}

INSTANTIATE_TEST_SUITE_P(Modes, EncoderDifferentialTest,
                         testing::Values(LineBreaks::kCrLf, LineBreaks::kAny),
                         [](const testing::TestParamInfo<LineBreaks>& p) {
                           return p.param == LineBreaks::kAny ? "Any" : "CrLf";
                         });

}  // namespace
}  // namespace binconv
