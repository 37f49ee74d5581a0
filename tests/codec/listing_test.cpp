#include "codec/listing.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "codec/convert.h"
#include "runtime/strings.h"
#include "support/bytes.h"
#include "support/reference.h"

namespace binconv {
namespace {

using test::Hex;

// One comparable line for a parse outcome, so that failures show both sides.
std::string Describe(const std::vector<std::uint8_t>& bytes, const std::optional<Problem>& error) {
  if (!error) return "bytes " + Hex(bytes);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s at %zu:%zu U+%04X",
                error->code == ProblemCode::kListingOddCount ? "odd" : "bad", error->line,
                error->column, static_cast<unsigned>(error->ch));
  return buf;
}

std::string Describe(const Result<std::vector<std::uint8_t>, Problem>& result) {
  return result ? Describe(result.value(), std::nullopt) : Describe({}, result.error());
}

struct ListingCase {
  const char* name;
  std::u16string listing;
  std::string expected;  // as Describe gives it
};

void PrintTo(const ListingCase& c, std::ostream* os) { *os << c.name; }

class ListingParserTest : public testing::TestWithParam<ListingCase> {};

TEST_P(ListingParserTest, OneShotAndEverySplit) {
  const ListingCase& c = GetParam();
  EXPECT_EQ(c.expected, Describe(ParseListing(c.listing))) << Hex(c.listing);
  for (std::size_t cut = 0; cut <= c.listing.size(); ++cut) {
    ListingParser parser;
    std::vector<std::uint8_t> bytes;
    parser.Feed(std::u16string_view(c.listing).substr(0, cut), bytes);
    parser.Feed(std::u16string_view(c.listing).substr(cut), bytes);
    const std::optional<Problem> error = parser.Finish();
    EXPECT_EQ(c.expected, Describe(bytes, error)) << "cut at " << cut;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListingParserTest,
    testing::Values(ListingCase{"Empty", u"", "bytes (empty)"},
                    ListingCase{"SeparatorsOnly", u" \r\n\u3000\r\n\r", "bytes (empty)"},
                    ListingCase{"TwoPairs", u"1a 2B", "bytes 1A 2B "},
                    ListingCase{"MixedCase", u"aBcD eF09", "bytes AB CD EF 09 "},
                    ListingCase{"LineBreakInsidePair", u"1\r\nA", "bytes 1A "},
                    ListingCase{"LoneCrInsidePair", u"1\rA", "bytes 1A "},
                    ListingCase{"LoneLfInsidePair", u"1\nA", "bytes 1A "},
                    ListingCase{"IdeographicSpaceInsidePair", u"1\u3000A", "bytes 1A "},
                    ListingCase{"ConvertedListing", u"1A 24\r\n21 34 50 0C01 ",
                                "bytes 1A 24 21 34 50 0C 01 "},
                    ListingCase{"OddSingle", u"1", "odd at 1:1 U+0031"},
                    ListingCase{"OddLastOnLaterLine", u"12\r\n 3 ", "odd at 2:2 U+0033"},
                    // The count comes first: bad characters do not hide an odd count.
                    ListingCase{"OddWinsOverBadChar", u"1\t2", "odd at 1:3 U+0032"},
                    ListingCase{"OddWithPairLast", u"1\U0001F600", "odd at 1:2 U+1F600"},
                    ListingCase{"BadFirstChar", u"G1", "bad at 1:1 U+0047"},
                    ListingCase{"TabIsNotSeparator", u"1\t2 3", "bad at 1:2 U+0009"},
                    ListingCase{"FullWidthDigits", u"\uFF11\uFF12", "bad at 1:1 U+FF11"},
                    ListingCase{"FirstBadOnly", u"12gH", "bad at 1:3 U+0067"},
                    ListingCase{"SpacesCountAsColumns", u"12 \u3000zz", "bad at 1:5 U+007A"},
                    // Columns count characters: a pair is one.
                    ListingCase{"PairIsOneColumn", u"\U0001F600\U0001F600\u20AC",
                                "odd at 1:3 U+20AC"},
                    ListingCase{"BadOnThirdLineCrLf", u"12\r\n34\r\n5x", "bad at 3:2 U+0078"},
                    ListingCase{"BadAfterLoneBreaks", u"12\r34\n5x", "bad at 3:2 U+0078"},
                    ListingCase{"CrThenCrLfIsTwoBreaks", u"12\r\r\n3x", "bad at 3:2 U+0078"},
                    ListingCase{"LfCrIsTwoBreaks", u"1\n\r2x3", "bad at 3:2 U+0078"},
                    ListingCase{"PairReportedWhole", u"12\U0001F600", "bad at 1:3 U+1F600"},
                    ListingCase{"LoneHigh",
                                u"12\xD83D"
                                u"3 ",
                                "bad at 1:3 U+D83D"},
                    ListingCase{"HighSpaceLowIsNoPair", u"12\xD83D \xDE00", "bad at 1:3 U+D83D"},
                    ListingCase{"LineBreakMarkFromTag", u"12\u9C2F3", "bad at 1:3 U+9C2F"},
                    ListingCase{"ControlChar", u"\x01\x02", "bad at 1:1 U+0001"}),
    [](const testing::TestParamInfo<ListingCase>& p) { return std::string(p.param.name); });

TEST(ListingParserTest, EveryByteInBothCases) {
  std::u16string upper;
  std::u16string lower;
  std::vector<std::uint8_t> expected;
  for (int b = 0; b < 256; ++b) {
    upper += HexDigits[b >> 4];
    upper += HexDigits[b & 15];
    upper += u' ';
    lower += static_cast<char16_t>(std::tolower(HexDigits[b >> 4]));
    lower += static_cast<char16_t>(std::tolower(HexDigits[b & 15]));
    expected.push_back(static_cast<std::uint8_t>(b));
  }
  EXPECT_EQ(Hex(expected), Describe(ParseListing(upper)).substr(6));
  EXPECT_EQ(Hex(expected), Describe(ParseListing(lower)).substr(6));
}

// Every unit that is not an ASCII hex digit or a separator stops the parse.
TEST(ListingParserTest, OnlyAsciiHexDigitsAreAccepted) {
  for (char32_t u = 0; u <= 0xFFFF; ++u) {
    const char16_t ch = static_cast<char16_t>(u);
    if (ch == u' ' || ch == u'\u3000' || ch == u'\r' || ch == u'\n') continue;
    const bool hex =
        (ch >= u'0' && ch <= u'9') || (ch >= u'A' && ch <= u'F') || (ch >= u'a' && ch <= u'f');
    const std::u16string listing{u'0', ch};
    ASSERT_EQ(hex, ParseListing(listing).has_value())
        << "U+" << std::hex << static_cast<unsigned>(u);
  }
}

TEST(ListingParserTest, ReusableAfterFinish) {
  ListingParser parser;
  std::vector<std::uint8_t> bytes;
  parser.Feed(u"1\r", bytes);
  ASSERT_TRUE(parser.Finish().has_value());
  bytes.clear();
  parser.Feed(u"\nx1", bytes);  // a fresh text: the LF starts line 2 on its own
  EXPECT_EQ("bad at 2:1 U+0078", Describe(bytes, parser.Finish()));
}

// ---------------------------------------------------------------------------
// Differential: against the procedure as written (strip spaces, CR LF, CR, LF
// in that order, count, then walk), and against random chunking.

std::string ReferenceOutcome(std::u16string_view listing) {
  using test::ReplaceAll;
  std::u16string s = ReplaceAll(listing, u" ", u"");
  s = ReplaceAll(ReplaceAll(ReplaceAll(s, u"\r\n", u""), u"\r", u""), u"\n", u"");
  if (s.size() % 2 != 0) return "odd";
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < s.size(); i += 2) {
    const int hi = HexValue(s[i]);
    const int lo = HexValue(s[i + 1]);
    if (hi < 0 || lo < 0) return "bad";
    bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  return Describe(bytes, std::nullopt);
}

TEST(ListingParserDifferentialTest, MatchesProcedureAndChunking) {
  static const std::u16string_view kPieces[] = {
      u"0",      u"7",  u"9",  u"a",    u"F", u"c",  u"E",      u" ",
      u"\u3000", u"\r", u"\n", u"\r\n", u"g", u"\t", u"\uFF10", u"\U0001F600"};
  for (unsigned seed = 1; seed <= 3000; ++seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> length(0, 30);
    // Bad pieces are rare so that many texts get through to the bytes.
    std::uniform_int_distribution<std::size_t> good(0, 11);
    std::uniform_int_distribution<std::size_t> any(0, std::size(kPieces) - 1);
    std::uniform_int_distribution<int> percent(0, 99);
    std::u16string listing;
    for (int n = length(rng); n > 0; --n) {
      listing += kPieces[percent(rng) < 5 ? any(rng) : good(rng)];
    }
    const Result<std::vector<std::uint8_t>, Problem> whole = ParseListing(listing);
    std::string outcome = Describe(whole);
    if (!whole) outcome = outcome.substr(0, 3);
    ASSERT_EQ(ReferenceOutcome(listing), outcome) << "seed " << seed << ": " << Hex(listing);

    ListingParser parser;
    std::vector<std::uint8_t> bytes;
    std::uniform_int_distribution<std::size_t> size(0, 4);
    for (std::u16string_view rest = listing; !rest.empty();) {
      const std::size_t n = std::min(size(rng), rest.size());
      parser.Feed(rest.substr(0, n), bytes);
      rest.remove_prefix(n);
    }
    const std::optional<Problem> error = parser.Finish();
    ASSERT_EQ(Describe(whole), error ? Describe({}, error) : Describe(bytes, error))
        << "seed " << seed << ": " << Hex(listing);
  }
}

}  // namespace
}  // namespace binconv
