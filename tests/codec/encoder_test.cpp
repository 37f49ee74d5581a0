#include "codec/encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "chartable/tbl.h"
#include "codec/decode.h"
#include "runtime/hex.h"
#include "support/bytes.h"
#include "support/encoded.h"
#include "support/files.h"
#include "support/gtest_support.h"
#include "support/random_text.h"
#include "support/reference.h"

namespace binconv {
namespace {

using test::Hex;
using Bytes = std::vector<std::uint8_t>;
using P = ProblemCode;

constexpr std::string_view kGameTbl =
    "41=A\n4142=AB\n43=ABC\n0043=ABC\n42=B\n/00=[end]\n/01\n*0A\n*0B=#\n*0C=<page>\n$FE=<wait>,1\n"
    "$FD=<go>,3\n$FC=<nop>,0\n8140=\xE3\x80\x80\n01020304=four\n5A=\xF0\xA0\x80\x8B\n";

// Texts that begin alike for the unit tables: a pair and a text of three,
// a text ending in a line break, a control with a parameter as a plain
// pair's text, and a pair of U+FFFF, the pair table's mark of an empty slot.
constexpr std::string_view kFastTbl =
    "41=A\n42=B\n4142=AB\n43=C\n44=D\n45=E\nE0=CDE\n*0A\n*0B=B\n$FD=DA,1\n"
    "F0=\xEF\xBF\xBF\xEF\xBF\xBF\nF1=\xEF\xBF\xBF\n";

// Codes longer than the fast path writes, for a unit alone, a pair's text,
// a text of three and a line break alone.
constexpr std::string_view kLongTbl =
    "41=A\nD418734F470D734AD5=C\n0102030405=E\nF0F1F2F3F4F5=CA\nE0E1E2E3E4=AEA\n"
    "*0A0B0C0D0E\n";

struct EncodeCase {
  const char* name;
  std::u16string text;
  Bytes bytes;
  std::vector<EncodeProblem> problems = {};
  LineBreaks line_breaks = LineBreaks::kAny;
  std::string_view tbl = kGameTbl;
  // What the problems' messages show beside their kind and place.
  std::vector<std::u16string> told = {};
};

class GameEncodeTest : public testing::TestWithParam<EncodeCase> {};

TEST_P(GameEncodeTest, BytesAtEverySplitAndAsTheReference) {
  const EncodeCase& c = GetParam();
  const GameTable table = ParseGameTable(c.tbl, "g.tbl").value();
  const std::string expected = test::Encoded{c.bytes, c.problems}.Describe();
  EXPECT_EQ(expected,
            test::ReferenceGameEncode(table.codes(), c.text, c.line_breaks, table.aliases())
                .Describe());
  Encoder encoder(table, c.line_breaks);
  for (std::size_t cut = 0; cut <= c.text.size(); ++cut) {
    bool first = true;
    const auto two = [&] { return std::exchange(first, false) ? cut : c.text.size(); };
    EXPECT_EQ(expected, test::Encode(encoder, c.text, two).Describe()) << "cut " << cut;
  }
  const test::Encoded unit_by_unit = test::Encode(encoder, c.text, [] { return 1; });
  EXPECT_EQ(expected, unit_by_unit.Describe());
  std::vector<std::u16string> told;
  for (const EncodeProblem& problem : unit_by_unit.problems) {
    if (!problem.text.empty()) told.push_back(problem.text);
  }
  EXPECT_EQ(told, c.told);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GameEncodeTest,
    testing::Values(
        EncodeCase{"Empty", u"", {}},
        EncodeCase{"LongestTextWins", u"ABCABA", {0x43, 0x41, 0x42, 0x41}},
        EncodeCase{"TieGoesToTheShorterCode", u"ABC", {0x43}},
        EncodeCase{"MoreCharactersInOneCode", u"four\u3000", {1, 2, 3, 4, 0x81, 0x40}},
        EncodeCase{"SurrogatePairText", u"\U0002000BA", {0x5A, 0x41}},
        EncodeCase{"EndTokenByItsText", u"A[end]", {0x41, 0x00}},
        EncodeCase{"HexTag", u"<00 01>A<ff>", {0x00, 0x01, 0x41, 0xFF}},
        EncodeCase{"FullWidthTagMarks", u"\uFF1C0a\uFF1E", {0x0A}},
        EncodeCase{"ControlLabelAndItsParameter", u"<wait><1E>A", {0xFE, 0x1E, 0x41}},
        EncodeCase{"LabelsFoldWidthAndCase", u"\uFF1CWAIT>\uFF1C1e\uFF1E", {0xFE, 0x1E}},
        EncodeCase{"ControlWithoutParameters", u"<nop>A", {0xFC, 0x41}},
        EncodeCase{"LineBreakIsTheFirstBreakCode",
                   u"A\r\nB\nA\rB",
                   {0x41, 0x0A, 0x42, 0x0A, 0x41, 0x0A, 0x42}},
        EncodeCase{"BreakCodeWithText", u"A#\nB", {0x41, 0x0B, 0x42}},
        // A break code reached by its label takes the break after it, as
        // decode writes it; a second break is one of its own.
        EncodeCase{"BreakCodeByItsLabel", u"A<page>\nB<page>\r\n\nA<page>", {0x41, 0x0C, 0x42, 0x0C, 0x0A, 0x41, 0x0C}},
        EncodeCase{"ExactLoneBreaksAreCharacters",
                   u"A\nB\r\n",
                   {0x41, 0x42, 0x0A},
                   {{P::kNoCode, 1, 2, u'\n'}},
                   LineBreaks::kCrLf},
        EncodeCase{"NoCodeWritesNothing",
                   u"AxB\n\U0001F600",
                   {0x41, 0x42, 0x0A},
                   {{P::kNoCode, 1, 2, u'x'}, {P::kNoCode, 2, 1, U'\U0001F600'}}},
        EncodeCase{"ParameterMissing",
                   u"B<go><01>A<wait>",
                   {0x42, 0xFD, 0x01, 0x41, 0xFE},
                   {{P::kNoParams, 1, 2, 0}, {P::kNoParams, 1, 11, 0}}},
        EncodeCase{"TextWhereAParameterIsDue", u"<wait>A", {0xFE, 0x41}, {{P::kNoParams, 1, 1, 0}}},
        EncodeCase{
            "LabelWhereAParameterIsDue", u"<wait><nop>", {0xFE, 0xFC}, {{P::kNoParams, 1, 1, 0}}},
        // The table has labels: a letter in a tag means one, mistyped.
        EncodeCase{.name = "MistypedLabel",
                   .text = u"<1x\U0001F600\n2>",
                   .bytes = {},
                   .problems = {{P::kUnknownLabel, 1, 1, u'<'},
                                {P::kLineBreakInTag, 1, 5, u'\u9C2F'}},
                   .told = {u"<1x\U0001F6002>"}},
        // A control's parameters typed as tags of their own are named as
        // the one tag to write, when they make up its bytes.
        EncodeCase{.name = "ParametersInTwoTags",
                   .text = u"<go><01><0203>",
                   .bytes = {0xFD, 1, 2, 3},
                   .problems = {{P::kNoParams, 1, 1, 0}},
                   .told = {u"<go><010203>"}},
        EncodeCase{"ParametersPastTheCount", u"<go><01><020304>", {0xFD, 1, 2, 3, 4},
                   {{P::kNoParams, 1, 1, 0}}},
        EncodeCase{.name = "TextBetweenParameterTags",
                   .text = u"<go><01>A<0203><x>",
                   .bytes = {0xFD, 1, 0x41, 2, 3},
                   .problems = {{P::kNoParams, 1, 1, 0}, {P::kUnknownLabel, 1, 16, u'<'}},
                   .told = {u"<x>"}},
        EncodeCase{"OddTag", u"A<123>", {0x41, 0x12}, {{P::kOddCount, 1, 2, 0}}},
        EncodeCase{"TagLeftOpen", u"<4142", {0x41, 0x42}, {{P::kUnclosedTag, 1, 1, u'<'}}},
        // A tag mark that forms no tag is never dropped nor taken for a text.
        EncodeCase{"BrokenTags",
                   u"A<>B>\uFF1C4<1>",
                   {0x41, 0x42, 0x41},
                   {{P::kEmptyTag, 1, 2, u'<'},
                    {P::kStrayTagClose, 1, 5, u'>'},
                    {P::kNestedTag, 1, 8, u'<'}},
                   LineBreaks::kAny,
                   "41=A\n42=B\nE4=<\nE5=>\n"},
        // A break alone needs a *HEX without text: one with text would add its text.
        EncodeCase{"FastPairs", u"ABAAB", {0x41, 0x42, 0x41, 0x41, 0x42}, {}, LineBreaks::kAny,
                   kFastTbl},
        EncodeCase{"FastTextOfThree", u"CDECDCE", {0xE0, 0x43, 0x44, 0x43, 0x45}, {},
                   LineBreaks::kAny, kFastTbl},
        EncodeCase{"FastTextBeforeALineBreak",
                   u"AB\r\nB\r\nB",
                   {0x41, 0x0B, 0x0B, 0x42},
                   {},
                   LineBreaks::kCrLf,
                   kFastTbl},
        EncodeCase{"FastControlAsAPair",
                   u"DA<05>DAD",
                   {0xFD, 0x05, 0xFD, 0x44},
                   {{P::kNoParams, 1, 7, 0}},
                   LineBreaks::kAny,
                   kFastTbl},
        EncodeCase{"FastPairOfTheEmptyMark", u"\uFFFF\uFFFF\uFFFF", {0xF0, 0xF1}, {},
                   LineBreaks::kAny, kFastTbl},
        EncodeCase{"FastPlacesAcrossLines",
                   u"AB\r\nAAx\rA\U0001F600",
                   {0x41, 0x0B, 0x41, 0x41, 0x0A, 0x41},
                   {{P::kNoCode, 2, 3, u'x'}, {P::kNoCode, 3, 2, U'\U0001F600'}},
                   LineBreaks::kAny,
                   kFastTbl},
        EncodeCase{"FastLongCodes",
                   u"ACECAAEA\nEA",
                   {0x41, 0xD4, 0x18, 0x73, 0x4F, 0x47, 0x0D, 0x73, 0x4A, 0xD5, 0x01, 0x02,
                    0x03, 0x04, 0x05, 0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xE0, 0xE1, 0xE2,
                    0xE3, 0xE4, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x01, 0x02, 0x03, 0x04, 0x05,
                    0x41},
                   {},
                   LineBreaks::kAny,
                   kLongTbl},
        EncodeCase{"NoLineBreakCode",
                   u"A\nA#\n",
                   {0x41, 0x41, 0x0B},
                   {{P::kNoLineBreakCode, 1, 2, u'\n'}},
                   LineBreaks::kAny,
                   "41=A\n*0B=#\n"}),
    test::CaseName<EncodeCase>);

// Where each unit went, fed in pieces of `piece` units: line, column, byte
// and the problems before it.
std::vector<std::tuple<std::size_t, std::size_t, std::size_t, std::size_t>> OffsetsOf(
    const GameTable& table, std::u16string_view text, LineBreaks line_breaks,
    std::size_t piece) {
  Encoder encoder(table, line_breaks);
  std::vector<UnitOffset> offsets;
  encoder.set_offsets(&offsets);
  std::vector<std::uint8_t> out;
  for (std::size_t at = 0; at < text.size(); at += piece) encoder.Feed(text.substr(at, piece), out);
  encoder.Finish(out);
  std::vector<std::tuple<std::size_t, std::size_t, std::size_t, std::size_t>> found;
  for (const UnitOffset& o : offsets) {
    found.emplace_back(o.place.line, o.place.column, o.byte, o.problems);
  }
  return found;
}

TEST(GameEncodeReferenceTest, RandomTablesTextsAndPieces) {
  std::mt19937 rng(777);
  int checked = 0;
  for (int round = 0; round < 300; ++round) {
    // The reference doesn't look at how bytes read back: no code begins another.
    const std::string tbl = test::RandomGameTbl(rng, false, true);
    const GameTable table = ParseGameTable(tbl, "r.tbl").value();
    const LineBreaks line_breaks = round % 2 == 0 ? LineBreaks::kAny : LineBreaks::kCrLf;
    Encoder encoder(table, line_breaks);
    for (int i = 0; i < 20; ++i) {
      const std::u16string text = test::RandomGameText(rng);
      const test::Encoded got = test::Encode(encoder, text, [&] { return rng() % 6; });
      // Typed bytes that end inside a code read back otherwise, which the
      // reference doesn't look at.
      if (std::any_of(got.problems.begin(), got.problems.end(), [](const EncodeProblem& p) {
            return p.kind == ProblemCode::kReadsAsOther;
          })) {
        continue;
      }
      ++checked;
      ASSERT_EQ(
          test::ReferenceGameEncode(table.codes(), text, line_breaks, table.aliases()).Describe(),
          got.Describe())
          << "table\n"
          << tbl << "text " << Hex(text);
      // The fast path, taking the text whole, tells the places the plain way
      // tells one unit at a time.
      ASSERT_EQ(OffsetsOf(table, text, line_breaks, 1),
                OffsetsOf(table, text, line_breaks, text.size() + 1))
          << "table\n"
          << tbl << "text " << Hex(text);
    }
  }
  EXPECT_GT(checked, 5000);  // not left vacuous
}

// With one code per text, no code the start of another and every text
// encoded without a problem, decoding gives the text back.
TEST(GameEncodeRoundTripTest, TextsOfTheTableComeBack) {
  std::mt19937 rng(99);
  int checked = 0;
  for (int round = 0; round < 200; ++round) {
    const std::string tbl = test::RandomGameTbl(rng, true);
    const GameTable table = ParseGameTable(tbl, "r.tbl").value();
    std::vector<std::u16string> pieces;
    for (const GameCode& code : table.codes()) {
      std::u16string piece = code.text;
      if (code.kind == GameCodeKind::kLineBreak) piece += u"\n";
      if (code.kind == GameCodeKind::kControl && code.params > 0) {
        AppendHexTag(Bytes(code.params, static_cast<std::uint8_t>(rng())), piece);
      }
      // A tag mark in a text is typed as its code's tag, not as itself.
      const bool marked = std::any_of(code.text.begin(), code.text.end(), [](char16_t ch) {
        return detail::ClassifySpecial(ch) == detail::Special::kTagOpen ||
               detail::ClassifySpecial(ch) == detail::Special::kTagClose;
      });
      // A label of hex digits is typed as those bytes.
      const bool hex = code.kind == GameCodeKind::kControl && code.text.size() % 2 == 0 &&
                       std::all_of(code.text.begin() + 1, code.text.end() - 1,
                                   [](char16_t ch) { return HexValue(ch) >= 0; });
      if (!piece.empty() && !hex && (!marked || code.kind == GameCodeKind::kControl)) {
        pieces.push_back(piece);
      }
    }
    Encoder encoder(table, LineBreaks::kAny);
    Decoder decoder(table, DecodeOptions{.line_break = u"\n", .utf8_file = false});
    for (int i = 0; i < 10 && !pieces.empty(); ++i) {
      std::u16string text;
      for (std::size_t n = rng() % 12; n > 0; --n) text += pieces[rng() % pieces.size()];
      const test::Encoded encoded = test::Encode(encoder, text, [&] { return rng() % 5; });
      if (!encoded.problems.empty()) continue;  // a longer text took part of the next piece
      std::u16string back;
      decoder.Feed(encoded.bytes, back);
      decoder.Finish(back);
      ASSERT_TRUE(test::SameUnits(text, back)) << Hex(encoded.bytes) << tbl;
      ++checked;
    }
  }
  EXPECT_GT(checked, 1000);  // not left vacuous by texts that fail to encode
}

// Whatever decode shows comes back, whatever the table: encoding it has no
// problem, reads back as the same text, and takes no more bytes than those
// it was shown from (the same bytes, unless fewer show the same text).
TEST(GameEncodeRoundTripTest, DecodedBytesComeBack) {
  std::mt19937 rng(2026);
  const DecodeOptions options{.line_break = u"\n", .utf8_file = false};
  for (int round = 0; round < 150; ++round) {
    const std::string tbl = test::RandomGameTbl(rng, false);
    const GameTable table = ParseGameTable(tbl, "r.tbl").value();
    Encoder encoder(table, LineBreaks::kAny);
    for (int i = 0; i < 20; ++i) {
      // Codes of the table and bytes that begin them, so that codes meet.
      Bytes bytes;
      for (std::size_t n = rng() % 16; n > 0; --n) {
        if (rng() % 2 == 0 || table.codes().empty()) {
          bytes.push_back(static_cast<std::uint8_t>(rng() % 6));
        } else {
          const Bytes& code = table.codes()[rng() % table.codes().size()].bytes;
          bytes.insert(bytes.end(), code.begin(), code.end());
        }
      }
      const std::u16string text = test::ReferenceGameDecode(table.codes(), bytes, options);
      const test::Encoded back = test::Encode(encoder, text, [&] { return rng() % 7; });
      const std::string trace = "table\n" + tbl + "bytes " + Hex(bytes) + "\ntext " + Hex(text) +
                                "\n" + back.Describe();
      ASSERT_TRUE(back.problems.empty()) << trace;
      ASSERT_TRUE(
          test::SameUnits(text, test::ReferenceGameDecode(table.codes(), back.bytes, options)))
          << trace;
      ASSERT_LE(back.bytes.size(), bytes.size()) << trace;
    }
  }
}

// Tables made by hand in the shapes real ones have (tag marks as characters,
// "\n" line breaks, blank entries, long codes made of short ones, codes that
// begin longer ones, labels of hex digits, second texts, code page 932,
// UTF-16): bytes of their codes decoded and encoded back read as the same
// text, with no problem and no more bytes.
class HandMadeTableTest : public testing::TestWithParam<const char*> {};

TEST_P(HandMadeTableTest, DecodedBytesComeBack) {
  const std::string tbl = test::ReadAll(
      std::filesystem::path(BINCONV_SOURCE_DIR) / "tests" / "data" / "tbl" / GetParam());
  const auto parsed = ParseGameTable(tbl, GetParam());
  ASSERT_TRUE(parsed.has_value());
  const GameTable& table = parsed.value();
  const DecodeOptions options{.line_break = u"\n", .utf8_file = false};
  Encoder encoder(table, LineBreaks::kAny);
  std::mt19937 rng(5);
  for (int i = 0; i < 2000; ++i) {
    Bytes bytes;
    for (std::size_t n = rng() % 12; n > 0; --n) {
      const Bytes& code = table.codes()[rng() % table.codes().size()].bytes;
      bytes.insert(bytes.end(), code.begin(), code.end());
      if (rng() % 4 == 0) bytes.push_back(static_cast<std::uint8_t>(rng()));
    }
    const std::u16string text = test::ReferenceGameDecode(table.codes(), bytes, options);
    const test::Encoded back = test::Encode(encoder, text, [&] { return rng() % 5; });
    const std::string trace = "bytes " + Hex(bytes) + "\n" + back.Describe();
    ASSERT_TRUE(back.problems.empty()) << trace;
    ASSERT_TRUE(
        test::SameUnits(text, test::ReferenceGameDecode(table.codes(), back.bytes, options)))
        << trace;
    ASSERT_LE(back.bytes.size(), bytes.size()) << trace;
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, HandMadeTableTest,
                         testing::Values("tag_marks.tbl", "breaks.tbl", "long_codes.tbl",
                                         "second_texts.tbl", "cp932.tbl", "utf16le.tbl"),
                         [](const testing::TestParamInfo<const char*>& p) {
                           std::string name = p.param;
                           return name.substr(0, name.find('.'));
                         });

}  // namespace
}  // namespace binconv
