#include "codec/convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <span>
#include <string>

#include "chartable/encoding.h"
#include "codec/encoder.h"
#include "runtime/utf16.h"
#include "runtime/utf8.h"
#include "chartable/tbl.h"
#include "codec/listing.h"
#include "support/encoded.h"
#include "support/gtest_support.h"
#include "support/random_text.h"
#include "support/reference.h"

namespace binconv {
namespace {

using test::Hex;
using test::SameUnits;

// あ on page 0 and ア on page 2 as in the worked example, plus cells that
// probe page order, exact lookup and the fixed codes.
CharTable MakeTable() {
  CharTable t;
  t.SetCell(0, 1, 10, u"\u3042");  // あ
  t.SetCell(2, 3, 4, u"\u30A2");   // ア
  t.SetCell(3, 0, 0, u"\u30AB");   // カ only; か has no code
  t.SetCell(1, 2, 3, u"x");        // first of two
  t.SetCell(4, 0, 1, u"x");
  t.SetCell(5, 15, 15, u"z");
  t.SetCell(0, 0, 0, u"\uFF21");  // full-width A only
  t.SetCell(0, 5, 0, u"\u3000");  // never used: the space code wins
  t.SetCell(0, 6, 0, u"\u9C2F");  // never used: the line-break code wins
  t.SetCell(0, 7, 7, u"xy");      // longer cells never match
  t.SetCell(0, 0, 11, u"Q");
  t.SetCell(0, 2, 5, u"\xD83E");  // high half of U+1F900..U+1F9FF
  t.SetCell(0, 2, 6, u"\xDE01");  // low half of U+1F601
  return t;
}

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
Listed List(CodeConverter& converter, std::u16string_view text,
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

// The listing whole, at every split of the text (one converter, used again
// after each Finish), and one unit at a time; with `marks`, the characters
// without a code where they were listed.
void ExpectListing(const GameTable& table, std::u16string_view text, LineBreaks line_breaks,
                   std::u16string_view listing, const std::vector<Mark>* marks = nullptr) {
  EXPECT_U16_EQ(listing, ConvertToCode(text, table, line_breaks));
  CodeConverter converter(table, line_breaks);
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    bool first = true;
    const Listed listed =
        List(converter, text, [&] { return std::exchange(first, false) ? cut : text.size(); });
    EXPECT_U16_EQ(listing, listed.listing) << "cut " << cut;
    if (marks != nullptr) {
      EXPECT_EQ(*marks, listed.marks) << "cut " << cut;
    }
  }
  EXPECT_U16_EQ(listing, List(converter, text, [] { return std::size_t{1}; }).listing)
      << "one unit at a time";
}

struct ConvertCase {
  const char* name;
  std::u16string input;
  std::u16string expected;
  LineBreaks line_breaks = LineBreaks::kCrLf;
};

void PrintTo(const ConvertCase& c, std::ostream* os) { *os << c.name; }

class ConvertTest : public testing::TestWithParam<ConvertCase> {
 protected:
  GameTable encoding_ = GameTableOf(MakeTable());
};

TEST_P(ConvertTest, OneShotAndEverySplit) {
  const ConvertCase& c = GetParam();
  ExpectListing(encoding_, c.input, c.line_breaks, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConvertTest,
    testing::Values(
        ConvertCase{"Empty", u"", u""},
        ConvertCase{"WorkedExample", u"\u3042\r\n\u30A2\u3000<0C01>", u"1A 24\r\n21 34 50 0C01 "},
        ConvertCase{"LoneCrAndLfPassThrough", u"\r\u3042\n", u"\r 1A \n "},
        ConvertCase{"CrCrLf", u"\r\r\n", u"\r 24\r\n"},
        ConvertCase{"CrLfLf", u"\r\n\n", u"24\r\n\n "}, ConvertCase{"LfCr", u"\n\r", u"\n \r "},
        ConvertCase{"TypedMarkIsLineBreak", u"\u9C2F\u3042", u"24\r\n1A "},
        ConvertCase{"SpacesGiveFifty", u"\u3000 ", u"50 50 "},
        ConvertCase{"LineBreakInTagBecomesMark", u"<1\r\n2>", u"1\u9C2F2 "},
        ConvertCase{"UnclosedTagCopiesRest", u"<ab \r\n\u3042\u3000", u"ab \u9C2F\u3042\u3000"},
        ConvertCase{"SecondOpenInTagDropped", u"<<AB>", u"AB "},
        ConvertCase{"CloseOutsideTag", u">>", u"  "},
        ConvertCase{"FullWidthTagMarks", u"\uFF1C1\uFF1C2\uFF1E\u3042", u"12 1A "},
        ConvertCase{"TagThenCode", u"<1>Q", u"1 0B "},
        ConvertCase{"ExactLookup", u"\u304B\u30AB\u0041\uFF21", u"\u304B 22 00 A 00 "},
        ConvertCase{"FirstOfTwoCellsAndPageFive", u"xz", u"20 23 18 FF "},
        ConvertCase{"LongCellNeverMatches", u"xy", u"20 23 y "},
        ConvertCase{"TagContentIsVerbatim", u"<\u3042\u9C2F >", u"\u3042\u9C2F  "},
        ConvertCase{"AnyLineBreaks", u"\u3042\r\u3042\n\u3042\r\n\r",
                    u"1A 24\r\n1A 24\r\n1A 24\r\n24\r\n", LineBreaks::kAny},
        ConvertCase{"AnyLineBreaksInTag", u"<1\r2\n3\r\n>", u"1\u9C2F2\u9C2F3\u9C2F ",
                    LineBreaks::kAny},
        // A pair no cell holds stays whole, with one space after it.
        ConvertCase{"PairWithoutCodeStaysWhole", u"\U0001F600\u3042", u"\U0001F600 1A "},
        ConvertCase{"PairAtEnd", u"\u3042\U0001F600", u"1A \U0001F600 "},
        ConvertCase{"PairInTagVerbatim", u"<\U0001F600>", u"\U0001F600 "},
        ConvertCase{"HighWithCodeLowAlone", u"\U0001F900", u"25 \xDD00 "},
        ConvertCase{"LowWithCodeHighAlone", u"\U0001F601", u"\xD83D 26 "},
        ConvertCase{"LoneHighBeforeChar", std::u16string(u"\xD83D") + u"\u3042", u"\xD83D 1A "},
        ConvertCase{"LoneHighAtEnd", u"\xD83D", u"\xD83D "},
        ConvertCase{"LoneHighBeforeLineBreak", u"\xD83D\r\n", u"\xD83D 24\r\n"},
        ConvertCase{"LoneHighBeforeTag", u"\xD83D<\xDE00>", u"\xD83D \xDE00 "},
        ConvertCase{"LoneLow", u"\xDE00\u3042", u"\xDE00 1A "}),
    test::CaseName<ConvertCase>);

// Feed lists at once all that no later text can change: under kAny a CR is a
// line break whatever follows, so the listing before a bad UTF-8 byte holds it.
TEST(ConvertTest, FeedListsWhatIsSettled) {
  const GameTable table = GameTableOf(MakeTable());
  const struct {
    std::string utf8;  // ends at a bad byte
    LineBreaks line_breaks;
    std::u16string settled;
  } cases[] = {{"\xE3\x81\x82\r\x82", LineBreaks::kAny, u"1A 24\r\n"},
               {"\xE3\x81\x82\r\x82", LineBreaks::kCrLf, u"1A "},
               {"\xE3\x81\x82\r\n\r\x82", LineBreaks::kAny, u"1A 24\r\n24\r\n"},
               {"\xE3\x81\x82\r\n\x82", LineBreaks::kCrLf, u"1A 24\r\n"}};
  for (const auto& c : cases) {
    CodeConverter converter(table, c.line_breaks);
    std::u16string listing;
    converter.Feed(DecodeUtf8(c.utf8.substr(0, c.utf8.size() - 1)).value(), listing);
    EXPECT_U16_EQ(c.settled, listing) << Hex(c.utf8);
    std::string listing8;
    EXPECT_FALSE(CodeConverter(table, c.line_breaks).FeedUtf8(c.utf8, listing8));
    EXPECT_U16_EQ(c.settled, DecodeUtf8(listing8).value()) << Hex(c.utf8);
  }
}

TEST(ConvertTest, CellWithLineBreakCharacterIsUsedForLoneOnly) {
  CharTable cells;
  cells.SetCell(0, 3, 13, u"\r");
  cells.SetCell(0, 3, 10, u"\n");
  const GameTable table = GameTableOf(cells);
  EXPECT_U16_EQ(u"3D 24\r\n3A ", ConvertToCode(u"\r\r\n\n", table));
  EXPECT_U16_EQ(u"24\r\n24\r\n24\r\n", ConvertToCode(u"\r\r\n\n", table, LineBreaks::kAny));
}

TEST(ConvertTest, ConverterIsReusableAfterFinish) {
  const GameTable table = GameTableOf(MakeTable());
  CodeConverter converter(table);
  std::u16string first;
  converter.Feed(u"<12\r", first);  // ends inside a tag with a CR pending
  converter.Finish(first);
  EXPECT_U16_EQ(u"12\r", first);
  std::u16string second;
  converter.Feed(u"\n\u3042", second);
  converter.Finish(second);
  EXPECT_U16_EQ(u"\n 1A ", second);
}

// ---------------------------------------------------------------------------
// Differential: the streaming converter against the reference model.

// Characters chosen to hit every branch, and their half- and full-width
// twins; half of the texts have surrogates, paired and alone, as well.
constexpr std::u16string_view kPieces[] = {
    u"<",          u">",          u"\uFF1C",     u"\uFF1E", u"\r",     u"\n",     u"\r\n",   u" ",
    u"\u3000",     u"\u9C2F",     u"\u3042",     u"\u30A2", u"\u30AB", u"\u304B", u"x",      u"z",
    u"Q",          u"q",          u"1",          u"A",      u"\uFF21", u"\t",     u"xy",     u"0C",
    u"\U0001F600", u"\U0001F900", u"\U0001F601", u"\xD83D", u"\xDE00", u"\xD83E", u"\xDE01",
};
constexpr std::size_t kWithoutSurrogates = 24;

std::u16string ConvertInRandomChunks(std::u16string_view text, const GameTable& table,
                                     LineBreaks line_breaks, std::mt19937& rng,
                                     std::size_t max_chunk) {
  CodeConverter converter(table, line_breaks);
  std::u16string out;
  std::uniform_int_distribution<std::size_t> size(0, max_chunk);
  while (!text.empty()) {
    const std::size_t n = std::min(size(rng), text.size());
    converter.Feed(text.substr(0, n), out);
    text.remove_prefix(n);
  }
  converter.Finish(out);
  return out;
}

class ConvertDifferentialTest : public testing::TestWithParam<LineBreaks> {};

TEST_P(ConvertDifferentialTest, MatchesProcedureAndChunking) {
  const CharTable cells = MakeTable();
  const GameTable table = GameTableOf(cells);
  const LineBreaks line_breaks = GetParam();
  for (unsigned seed = 1; seed <= 1500; ++seed) {
    std::mt19937 rng(seed);
    const bool with_surrogates = seed % 2 == 0;
    const bool long_text = seed % 100 < 2;
    const std::u16string text = test::RandomText(
        rng, std::span(kPieces).first(with_surrogates ? std::size(kPieces) : kWithoutSurrogates),
        long_text);
    const std::u16string whole = ConvertToCode(text, table, line_breaks);
    // Surrogate-free texts meet the procedure exactly as written.
    ASSERT_TRUE(SameUnits(test::ReferenceConvert(text, cells, line_breaks, with_surrogates), whole))
        << "seed " << seed << " input " << Hex(text);
    ASSERT_TRUE(SameUnits(
        whole, ConvertInRandomChunks(text, table, line_breaks, rng, long_text ? 3000 : 5)))
        << "seed " << seed << " input " << Hex(text);

    // The uncoded characters are the encoder's characters without a code and
    // the line-break marks in tags (typed or not), each standing at its
    // offset in the unchanged listing.
    std::vector<UncodedChar> uncoded;
    ASSERT_TRUE(SameUnits(whole, ConvertToCode(text, table, line_breaks, &uncoded)));
    Encoder encoder(table, line_breaks);
    std::vector<std::uint8_t> bytes;
    encoder.Feed(text, bytes);
    encoder.Finish(bytes);
    std::vector<EncodeProblem> no_code;
    for (EncodeProblem p : encoder.problems()) {
      if (p.kind == ProblemCode::kNotHexInTag && p.ch == kLineBreakMark) {
        p.kind = ProblemCode::kLineBreakInTag;
      }
      if (p.kind == ProblemCode::kNoCode || p.kind == ProblemCode::kLineBreakInTag) {
        no_code.push_back(p);
      }
    }
    ASSERT_EQ(uncoded.size(), no_code.size()) << "seed " << seed << " input " << Hex(text);
    // The UTF-8 paths, in random pieces, note the same characters at the same places.
    std::vector<std::size_t> no_code_offsets;
    for (const UncodedChar& u : uncoded) no_code_offsets.push_back(u.offset);
    if (!with_surrogates) {
      std::vector<UncodedChar> from_utf8;
      CodeConverter converter(table, line_breaks);
      converter.set_uncoded(&from_utf8);
      const std::string utf8 = EncodeUtf8(text);
      std::string listing;
      std::uniform_int_distribution<std::size_t> size(0, long_text ? 70000 : 7);
      for (std::size_t at = 0; at < utf8.size();) {
        const std::size_t n = std::min(size(rng), utf8.size() - at);
        ASSERT_TRUE(converter.FeedUtf8(std::string_view(utf8).substr(at, n), listing));
        at += n;
      }
      ASSERT_TRUE(converter.FinishUtf8(listing));
      ASSERT_EQ(listing, EncodeUtf8(whole));
      ASSERT_EQ(from_utf8.size(), uncoded.size()) << "seed " << seed;
      for (std::size_t i = 0; i < uncoded.size(); ++i) {
        EXPECT_EQ(from_utf8[i].offset, uncoded[i].offset) << "seed " << seed;
        EXPECT_EQ(from_utf8[i].line, uncoded[i].line) << "seed " << seed;
        EXPECT_EQ(from_utf8[i].column, uncoded[i].column) << "seed " << seed;
      }
    }
    for (std::size_t i = 0; i < uncoded.size(); ++i) {
      const UncodedChar& u = uncoded[i];
      EXPECT_EQ(u.ch, no_code[i].ch);
      EXPECT_EQ(u.line, no_code[i].line);
      // Columns agree while every character is one unit.
      if (!with_surrogates) {
        EXPECT_EQ(u.column, no_code[i].column);
      }
      EXPECT_EQ(u.kind, no_code[i].kind);
      EXPECT_EQ(u.offset, no_code_offsets[i]);
      EXPECT_EQ(whole.substr(u.offset, u.length), Utf16Of(u.ch));
      // A tag's units are copied as they come, with no space between them.
      if (u.kind == ProblemCode::kNoCode) {
        ASSERT_LE(u.offset + u.length, whole.size() - 1);
        EXPECT_EQ(whole[u.offset + u.length], u' ');
      }
    }
  }
}

TEST(ConvertTest, UncodedCharactersKnowTheirPlaceInCodePoints) {
  const GameTable table = GameTableOf(MakeTable());
  std::vector<UncodedChar> uncoded;
  CodeConverter converter(table, LineBreaks::kCrLf);
  converter.set_uncoded(&uncoded);
  std::u16string out;
  // Fed in two pieces: the second's offsets count on from the first's listing.
  converter.Feed(u"\U0001F600\u3042\u304B\r\n1", out);
  converter.Feed(u"<2>\n\xD83D", out);
  converter.Finish(out);
  EXPECT_U16_EQ(u"\U0001F600 1A \u304B 24\r\n1 2 \n \xD83D ", out);
  ASSERT_EQ(uncoded.size(), 5u);
  const std::size_t expected[][4] = {{0, 2, 1, 1}, {6, 1, 1, 3}, {12, 1, 2, 1}, {16, 1, 2, 5},
                                     {18, 1, 3, 1}};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(uncoded[i].offset, expected[i][0]) << i;
    EXPECT_EQ(uncoded[i].length, expected[i][1]) << i;
    EXPECT_EQ(uncoded[i].line, expected[i][2]) << i;
    EXPECT_EQ(uncoded[i].column, expected[i][3]) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, ConvertDifferentialTest,
                         testing::Values(LineBreaks::kCrLf, LineBreaks::kAny),
                         [](const testing::TestParamInfo<LineBreaks>& p) {
                           return p.param == LineBreaks::kAny ? "Any" : "CrLf";
                         });

// ---------------------------------------------------------------------------
// Through a game's own table: a code of several bytes, labels, controls.

using P = ProblemCode;

// Codes of one to four bytes, texts of one to four characters (so that the
// encoder holds several units back), a line-break code with and without
// text, and a control code with one parameter byte.
constexpr std::string_view kTbl =
    "41=A\n42=B\n8140=\xE3\x81\x82\n*0A\n*0B=#\n$FE=<wait>,1\n01020304=four\n";

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
  ExpectListing(ParseGameTable(c.tbl, "g.tbl").value(), c.text, LineBreaks::kAny, c.listing,
                &c.marks);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GameListingTest,
    testing::Values(
        ListingCase{"Empty", u"", u""},
        ListingCase{"EachByteOfACodeAsItsPair", u"A\u3042four", u"41 81 40 01 02 03 04 "},
        ListingCase{"LineBreakCodesEndTheirLine", u"A\nB#\r\nA", u"41 0A\r\n42 0B\r\n41 "},
        ListingCase{"LabelAndParameterTag", u"<wait><1e>B", u"FE 1e 42 "},
        ListingCase{"HexTagBytes", u"<00 ff>", u"00 ff "},
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
                    u"FE \uFF1F 1E2F ",
                    {{3, 1, 1, kProblemMark}}},
        // A tag no label matches is copied as typed, for the writer to read.
        ListingCase{"NotHexInTag", u"<1g2>", u"1g2 "},
        ListingCase{"OddCountInTag", u"<123>", u"123 "},
        ListingCase{"UnclosedLabelIsCopied", u"A<wait", u"41 wait"},
        ListingCase{"LineBreakInTagIsMarked", u"<1\n2>", u"1\u9C2F2 ", {{1, 1, 3, kLineBreakMark}}},
        ListingCase{
            "NoLineBreakCode", u"A\nA", u"41 \uFF1F 41 ", {{3, 1, 2, kProblemMark}}, "41=A\n"}),
    test::CaseName<ListingCase>);

// The listing without its marks is what the writer makes the encoder's bytes
// from, and the problems are the encoder's, on random tables and texts whose
// tags are well formed (the listing keeps the others as typed).
TEST(GameListingTest, WithoutItsMarksWritesTheEncodersBytes) {
  std::mt19937 rng(4242);
  int checked = 0;
  for (int round = 0; round < 200; ++round) {
    const std::string tbl = test::RandomGameTbl(rng, false);
    const GameTable table = ParseGameTable(tbl, "r.tbl").value();
    const LineBreaks line_breaks = round % 2 == 0 ? LineBreaks::kAny : LineBreaks::kCrLf;
    Encoder encoder(table, line_breaks);
    CodeConverter converter(table, line_breaks);
    for (int i = 0; i < 20; ++i) {
      const std::u16string text = test::RandomGameText(rng);
      const test::Encoded encoded = test::Encode(encoder, text);
      const Listed listed = List(converter, text, [&] { return rng() % 6; });
      const auto in_tag = [](const EncodeProblem& p) { return test::IsKeptAsTyped(p.kind); };
      if (std::any_of(encoded.problems.begin(), encoded.problems.end(), in_tag)) continue;
      ++checked;
      const auto bytes = test::BytesWithoutMarks(listed.listing, listed.uncoded);
      ASSERT_TRUE(bytes.has_value()) << Hex(listed.listing) << "\n" << tbl;
      ASSERT_EQ((test::Encoded{*bytes, listed.problems}.Describe()), encoded.Describe())
          << "table\n"
          << tbl << "text " << Hex(text);
      ASSERT_EQ(encoded.problems.size(), listed.marks.size());
    }
  }
  EXPECT_GT(checked, 500);  // not vacuous
}

TEST(GameListingTest, Utf8ListingIsTheUtf16One) {
  const GameTable table = ParseGameTable(kTbl, "g.tbl").value();
  CodeConverter converter(table);
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
