#include "codec/game_listing.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "chartable/tbl.h"
#include "codec/listing.h"
#include "support/encoded.h"
#include "support/gtest_support.h"
#include "support/random_text.h"

namespace binconv {
namespace {

using test::Hex;
using P = ProblemCode;

// Codes of one to four bytes, texts of one to four characters (so that the
// encoder holds several units back), a line-break code with and without
// text, and a control code with one parameter byte.
constexpr std::string_view kTbl =
    "41=A\n42=B\n8140=\xE3\x81\x82\n*0A\n*0B=#\n$FE=<wait>,1\n01020304=four\n";

struct Mark {
  std::size_t offset;
  std::size_t line;
  std::size_t column;
  char32_t ch;
  friend bool operator==(const Mark&, const Mark&) = default;
  friend std::ostream& operator<<(std::ostream& os, const Mark& m) {
    return os << m.offset << "@" << m.line << ":" << m.column << " U+" << std::hex
              << static_cast<std::uint32_t>(m.ch) << std::dec;
  }
};

struct Listed {
  std::u16string listing;
  std::vector<UncodedChar> uncoded;
  std::vector<Mark> marks;
  std::vector<EncodeProblem> problems;
};

// The listing fed in pieces as long as `next_size` says, then finished.
Listed List(GameCodeConverter& converter, std::u16string_view text,
            const std::function<std::size_t()>& next_size) {
  Listed listed;
  converter.set_uncoded(&listed.uncoded);
  while (!text.empty()) {
    const std::size_t size = std::min(text.size(), next_size());
    converter.Feed(text.substr(0, size), listed.listing);
    text.remove_prefix(size);
  }
  converter.Finish(listed.listing);
  for (const UncodedChar& u : listed.uncoded) {
    listed.marks.push_back({u.offset, u.line, u.column, u.ch});
  }
  listed.problems = converter.problems();
  converter.clear_problems();
  return listed;
}

struct ListingCase {
  const char* name;
  std::u16string text;
  std::u16string listing;
  std::vector<Mark> marks = {};
  std::string_view tbl = kTbl;
};

class GameListingTest : public testing::TestWithParam<ListingCase> {};

TEST_P(GameListingTest, WholeAndAtEverySplit) {
  const ListingCase& c = GetParam();
  const GameTable table = ParseGameTable(c.tbl, "g.tbl").value();
  EXPECT_EQ(Hex(c.listing), Hex(ConvertToCode(c.text, table, LineBreaks::kAny)));
  GameCodeConverter converter(table, LineBreaks::kAny);
  for (std::size_t cut = 0; cut <= c.text.size(); ++cut) {
    bool first = true;
    const Listed listed =
        List(converter, c.text, [&] { return std::exchange(first, false) ? cut : c.text.size(); });
    EXPECT_EQ(Hex(c.listing), Hex(listed.listing)) << "cut " << cut;
    EXPECT_EQ(c.marks, listed.marks) << "cut " << cut;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GameListingTest,
    testing::Values(
        ListingCase{"Empty", u"", u""},
        ListingCase{"EachByteOfACodeAsItsPair", u"A\u3042four", u"41 81 40 01 02 03 04 "},
        ListingCase{"LineBreakCodesEndTheirLine", u"A\nB#\r\nA", u"41 0A\r\n42 0B\r\n41 "},
        ListingCase{"LabelAndParameterTag", u"<wait><1e>B", u"FE 1E 42 "},
        ListingCase{"HexTagBytes", u"<00 ff>", u"00 FF "},
        ListingCase{"NoCodeStaysWhereItStood", u"AxB", u"41 x 42 ", {{3, 1, 2, u'x'}}},
        ListingCase{"NoCodeBeforeTheEnd", u"Ax", u"41 x ", {{3, 1, 2, u'x'}}},
        ListingCase{"NoCodeBeforeATag", u"AxB<00>", u"41 x 42 00 ", {{3, 1, 2, u'x'}}},
        ListingCase{"HexDigitWithoutCode", u"B\nc", u"42 0A\r\nc ", {{7, 2, 1, u'c'}}},
        ListingCase{"SurrogatePairWithoutCode",
                    u"\U0001F600A",
                    u"\U0001F600 41 ",
                    {{0, 1, 1, U'\U0001F600'}}},
        ListingCase{"MissingParameterTag",
                    u"<wait>B<wait>",
                    u"FE \uFF1F 42 FE \uFF1F ",
                    {{3, 1, 1, kProblemMark}, {11, 1, 8, kProblemMark}}},
        ListingCase{"ParameterTagOfTheWrongSize",
                    u"<wait><1E2F>",
                    u"FE \uFF1F 1E 2F ",
                    {{3, 1, 1, kProblemMark}}},
        ListingCase{"NotHexInTag", u"<1g2>", u"g 12 ", {{0, 1, 3, u'g'}}},
        ListingCase{"OddCountInTag", u"<123>", u"\uFF1F 12 ", {{0, 1, 1, kProblemMark}}},
        ListingCase{
            "NoLineBreakCode", u"A\nA", u"41 \uFF1F 41 ", {{3, 1, 2, kProblemMark}}, "41=A\n"}),
    test::CaseName<ListingCase>);

// The listing without its marks is what the writer makes the encoder's bytes
// from, and the problems are the encoder's, on random tables and texts.
TEST(GameListingTest, WithoutItsMarksWritesTheEncodersBytes) {
  std::mt19937 rng(4242);
  for (int round = 0; round < 200; ++round) {
    const std::string tbl = test::RandomGameTbl(rng, false);
    const GameTable table = ParseGameTable(tbl, "r.tbl").value();
    const LineBreaks line_breaks = round % 2 == 0 ? LineBreaks::kAny : LineBreaks::kCrLf;
    GameEncoder encoder(table, line_breaks);
    GameCodeConverter converter(table, line_breaks);
    for (int i = 0; i < 20; ++i) {
      const std::u16string text = test::RandomGameText(rng);
      const test::Encoded encoded = test::Encode(encoder, text);
      const Listed listed = List(converter, text, [&] { return rng() % 6; });
      const auto bytes = test::BytesWithoutMarks(listed.listing, listed.uncoded);
      ASSERT_TRUE(bytes.has_value()) << Hex(listed.listing) << "\n" << tbl;
      ASSERT_EQ((test::Encoded{*bytes, false, listed.problems}.Describe()), encoded.Describe())
          << "table\n"
          << tbl << "text " << Hex(text);
      ASSERT_EQ(encoded.problems.size(), listed.marks.size());
    }
  }
}

TEST(GameListingTest, Utf8ListingIsTheUtf16One) {
  const GameTable table = ParseGameTable(kTbl, "g.tbl").value();
  GameCodeConverter converter(table);
  std::string listing;
  EXPECT_TRUE(
      converter.FeedUtf8("\xEF\xBB\xBF"
                         "A\xE3\x81",
                         listing));
  EXPECT_TRUE(converter.FeedUtf8("\x82x", listing));
  EXPECT_TRUE(converter.FinishUtf8(listing));
  EXPECT_EQ("41 81 40 x ", listing);
  EXPECT_FALSE(converter.FeedUtf8("A\xFF", listing));
  EXPECT_EQ(1u, converter.utf8_error().offset);
}

}  // namespace
}  // namespace binconv
