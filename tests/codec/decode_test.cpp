#include "codec/decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <utility>
#include <string>
#include <vector>

#include "chartable/encoding.h"
#include "chartable/load.h"
#include "chartable/tbl.h"
#include "codec/encode.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"
#include "support/bytes.h"
#include "support/encoded.h"
#include "support/files.h"
#include "support/gtest_support.h"
#include "support/reference.h"

namespace binconv {
namespace {

using test::DecodeBytes;
using test::Hex;

using Bytes = std::vector<std::uint8_t>;

std::u16string DecodeWith(Decoder& decoder, const Bytes& bytes) {
  std::u16string text;
  decoder.Feed(bytes, text);
  decoder.Finish(text);
  return text;
}

// Checks encode(decode(bytes)) == bytes, printing both sides on failure.
void ExpectRoundTrip(const Bytes& bytes, Decoder& decoder, const GameTable& table,
                     LineBreaks line_breaks) {
  const std::u16string text = DecodeWith(decoder, bytes);
  const test::Encoded back = test::Encode(table, line_breaks, text);
  EXPECT_EQ(test::Encoded{bytes}.Describe(), back.Describe()) << "text " << Hex(text);
}

void ExpectRoundTrip(const Bytes& bytes, const CharTable& table, DecodeOptions options,
                     LineBreaks line_breaks) {
  const GameTable encoding = GameTableOf(table);
  Decoder decoder(encoding, options);
  ExpectRoundTrip(bytes, decoder, encoding, line_breaks);
}

CharTable MakeTable() {
  CharTable t;
  t.SetCell(0, 4, 1, u"A");        // 41: a hex digit with a code
  t.SetCell(0, 3, 1, u"1");        // 31
  t.SetCell(0, 1, 10, u"\u3042");  // 1A
  t.SetCell(2, 1, 7, u"\u3042");   // 21 17: shadowed by 1A
  t.SetCell(1, 2, 3, u"x");        // 20 23
  t.SetCell(0, 7, 7, u"xy");       // 77: two characters
  t.SetCell(0, 6, 0, u" ");        // 60: intercepted, as are the next six
  t.SetCell(0, 6, 1, u"\u3000");   // 61
  t.SetCell(0, 6, 2, u"<");        // 62
  t.SetCell(0, 6, 3, u">");        // 63
  t.SetCell(0, 6, 4, u"\uFF1C");   // 64
  t.SetCell(0, 6, 5, u"\uFF1E");   // 65
  t.SetCell(0, 6, 6, u"\u9C2F");   // 66
  t.SetCell(0, 6, 7, u"\r");       // 67
  t.SetCell(0, 6, 8, u"\n");       // 68
  t.SetCell(0, 0, 1, u"\uFEFF");   // 01
  t.SetCell(0, 0, 2, u"\xD83D");   // 02: a lone high surrogate
  t.SetCell(2, 2, 4, u"\u30A2");   // 21 24: a second byte that alone is a line break
  t.SetCell(5, 5, 0, u"\u30A4");   // 18 50
  t.SetCell(0, 2, 1, u"\u30A6");   // 21 on page 0: always read as a lead byte
  return t;
}

// The text of `bytes` fed in pieces of the sizes `cuts` gives, in turn.
template <class AnyDecoder>
std::u16string DecodeInPieces(AnyDecoder& decoder, std::span<const std::uint8_t> bytes,
                              const std::function<std::size_t()>& cuts) {
  std::u16string out;
  while (!bytes.empty()) {
    const std::size_t piece = std::min(cuts(), bytes.size());
    decoder.Feed(bytes.first(piece), out);
    bytes = bytes.subspan(piece);
  }
  decoder.Finish(out);
  return out;
}

// Bytes fed in two chunks, cut at every place, and a byte at a time.
template <class AnyDecoder, class Table>
void ExpectSameInAnyChunks(const Table& table, DecodeOptions options, const Bytes& bytes,
                           std::u16string_view expected) {
  for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
    AnyDecoder decoder(table, options);
    bool first = true;
    const auto two = [&] { return std::exchange(first, false) ? cut : bytes.size(); };
    EXPECT_U16_EQ(expected, DecodeInPieces(decoder, bytes, two)) << "cut at " << cut;
  }
  AnyDecoder decoder(table, options);
  EXPECT_U16_EQ(expected, DecodeInPieces(decoder, bytes, [] { return 1; })) << "byte by byte";
}

struct DecodeCase {
  const char* name;
  Bytes bytes;
  std::u16string expected;
  DecodeOptions options = {};
};

class DecodeTest : public testing::TestWithParam<DecodeCase> {
 protected:
  CharTable table_ = MakeTable();
};

TEST_P(DecodeTest, TextAndRoundTripAtEverySplit) {
  const DecodeCase& c = GetParam();
  EXPECT_EQ(Hex(c.expected), Hex(DecodeBytes(c.bytes, table_, c.options)));
  ExpectSameInAnyChunks<Decoder>(GameTableOf(table_), c.options, c.bytes, c.expected);
  const bool crlf = c.options.line_break == u"\r\n";
  ExpectRoundTrip(c.bytes, table_, c.options, LineBreaks::kAny);
  if (crlf) ExpectRoundTrip(c.bytes, table_, c.options, LineBreaks::kCrLf);
}

constexpr DecodeOptions kCrLfOptions{u"\r\n", true};
constexpr DecodeOptions kUtf16Options{u"\n", false};

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeTest,
    testing::Values(DecodeCase{"Empty", {}, u""},
                    DecodeCase{"FixedCodes", {0x1A, 0x24, 0x50, 0x24}, u"\u3042\n\u3000\n"},
                    DecodeCase{"CrLf", {0x24, 0x24}, u"\r\n\r\n", kCrLfOptions},
                    DecodeCase{"EmptyCellPage0", {0x42}, u"<42>"},
                    DecodeCase{"EmptyCellOtherPage", {0x22, 0x99}, u"<2299>"},
                    DecodeCase{"FirstOfDuplicates", {0x20, 0x23}, u"x"},
                    DecodeCase{"ShadowedOnLaterPage", {0x21, 0x17}, u"<2117>"},
                    DecodeCase{"MultiChar", {0x77}, u"<77>"},
                    DecodeCase{"Intercepted",
                               {0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68},
                               u"<60><61><62><63><64><65><66><67><68>"},
                    DecodeCase{"LeadAtEnd", {0x1A, 0x21}, u"\u3042<21>"},
                    DecodeCase{"SecondByteIsFixedCode", {0x21, 0x24, 0x18, 0x50}, u"\u30A2\u30A4"},
                    DecodeCase{"LeadAfterLead", {0x21, 0x21, 0x21}, u"<2121><21>"},
                    DecodeCase{"HexDigitCharsAfterTag", {0x42, 0x41, 0x31, 0x42}, u"<42>A1<42>"},
                    DecodeCase{"ByteOrderMarkFirst", {0x01, 0x01}, u"<01>\uFEFF"},
                    DecodeCase{"ByteOrderMarkAfterBreak", {0x24, 0x01}, u"\n\uFEFF"},
                    DecodeCase{"ByteOrderMarkKeptInUtf16", {0x01}, u"\uFEFF", kUtf16Options},
                    DecodeCase{"LoneSurrogate", {0x02, 0x1A}, u"<02>\u3042"},
                    DecodeCase{
                        "LoneSurrogateKeptInUtf16", {0x02, 0x1A}, u"\xD83D\u3042", kUtf16Options}),
    [](const testing::TestParamInfo<DecodeCase>& p) { return std::string(p.param.name); });

// Tables built to provoke every way a cell can fail to come back: few distinct
// characters (so duplicates are common), intercepted ones, CR and LF, hex
// digits, surrogates, a byte order mark, two-unit cells and empty cells.
CharTable RandomTable(std::mt19937& rng) {
  static const std::u16string alphabet =
      u"ab\u3042\u30A2A1< >\u3000\uFF1C\uFF1E\u9C2F\r\n\uFEFF\xD83D\xDE00";
  std::uniform_int_distribution<int> pick(0, static_cast<int>(alphabet.size()) - 1);
  std::uniform_int_distribution<int> kind(0, 9);
  CharTable t;
  for (int page = 0; page < kPages; ++page) {
    for (int row = 0; row < kRows; ++row) {
      for (int column = 0; column < kColumns; ++column) {
        const int k = kind(rng);
        if (k < 3) continue;
        std::u16string cell(1, alphabet[static_cast<std::size_t>(pick(rng))]);
        if (k == 3) cell += alphabet[static_cast<std::size_t>(pick(rng))];
        if (k >= 7) cell = std::u16string(1, static_cast<char16_t>(0x4E00 + rng() % 400));
        t.SetCell(page, row, column, cell);
      }
    }
  }
  return t;
}

// Byte strings rich in lead bytes, fixed codes and lead bytes at the end.
Bytes RandomBytes(std::mt19937& rng) {
  static const std::uint8_t special[] = {0x18, 0x20, 0x21, 0x22, 0x23, 0x24, 0x50};
  Bytes bytes(rng() % 40);
  for (std::uint8_t& b : bytes) {
    b = rng() % 3 == 0 ? special[rng() % 7] : static_cast<std::uint8_t>(rng());
  }
  return bytes;
}

TEST(DecodeRoundTripTest, RandomTablesAndBytes) {
  std::mt19937 rng(20240607);
  for (int round = 0; round < 200; ++round) {
    const CharTable table = RandomTable(rng);
    const GameTable game = GameTableOf(table);
    Decoder lf(game), crlf(game, kCrLfOptions), utf16(game, kUtf16Options);
    for (int i = 0; i < 20; ++i) {
      const Bytes bytes = RandomBytes(rng);
      SCOPED_TRACE("round " + std::to_string(round) + " bytes " + Hex(bytes));
      ExpectRoundTrip(bytes, lf, game, LineBreaks::kAny);
      ExpectRoundTrip(bytes, crlf, game, LineBreaks::kCrLf);
      ExpectRoundTrip(bytes, crlf, game, LineBreaks::kAny);
      ExpectRoundTrip(bytes, utf16, game, LineBreaks::kAny);
      // What a UTF-8 file carries back must be the same text.
      const std::u16string text = DecodeWith(lf, bytes);
      auto reread = DecodeUtf8(EncodeUtf8(text));
      ASSERT_TRUE(reread.has_value());
      EXPECT_EQ(Hex(text), Hex(reread.value()));
      if (HasFailure()) return;
    }
  }
}

// A cell must come back as its character exactly when encoding that
// character alone gives the cell's bytes; otherwise a tag is needed.
TEST(DecodeRoundTripTest, CharacterWrittenExactlyWhenItEncodesBack) {
  std::mt19937 rng(77);
  for (int round = 0; round < 20; ++round) {
    const CharTable table = RandomTable(rng);
    const GameTable encoding = GameTableOf(table);
    Decoder decoder(encoding, kUtf16Options);
    for (int page = 0; page < kPages; ++page) {
      for (int byte = 0; byte < 256; ++byte) {
        const auto b = static_cast<std::uint8_t>(byte);
        if (page == 0 && IsReservedByte(b)) continue;
        Bytes unit;
        if (page != 0) unit.push_back(page == 5 ? 0x18 : static_cast<std::uint8_t>(0x1F + page));
        unit.push_back(b);
        const std::u16string& cell = table.Cell(page, byte >> 4, byte & 15);
        const test::Encoded alone = test::Encode(encoding, LineBreaks::kAny, cell);
        const bool encodes_back = cell.size() == 1 && alone.problems.empty() && alone.bytes == unit;
        const std::u16string text = DecodeWith(decoder, unit);
        EXPECT_EQ(encodes_back, text == cell) << "page " << page << " byte " << Hex(Bytes{b})
                                              << " cell " << Hex(cell) << " text " << Hex(text);
      }
    }
  }
}

TEST(DecodeRoundTripTest, DefaultTablesEveryUnit) {
  const CharTable& table = test::DefaultTables();
  Bytes all;
  std::size_t units = 0;
  std::size_t filled = 0;
  for (int page = 0; page < kPages; ++page) {
    for (int byte = 0; byte < 256; ++byte) {
      if (page == 0 && IsReservedByte(static_cast<std::uint8_t>(byte))) continue;
      if (page != 0) all.push_back(page == 5 ? 0x18 : static_cast<std::uint8_t>(0x1F + page));
      all.push_back(static_cast<std::uint8_t>(byte));
      ++units;
      if (!table.Cell(page, byte >> 4, byte & 15).empty()) ++filled;
    }
  }
  ExpectRoundTrip(all, table, {}, LineBreaks::kAny);
  ExpectRoundTrip(all, table, kCrLfOptions, LineBreaks::kCrLf);
  // The default tables have no unusable cells: every filled cell reads back
  // as its character, every tag is an empty cell.
  const std::u16string text = DecodeBytes(all, table);
  const std::size_t tags = static_cast<std::size_t>(std::count(text.begin(), text.end(), u'<'));
  EXPECT_GT(filled, 900u);
  EXPECT_EQ(tags + filled, units) << "filled " << filled << " tags " << tags;
}

// A game's own table: codes that begin alike, of every kind.
constexpr std::string_view kGameTbl =
    "41=A\n4142=[AB]\n414243=<ABC>\n42=B\n/00=[end]\n/01\n*0A\n*0B=#\n$FE=<wait>,1\n"
    "$FD=<go>,3\n$FC=<nop>,0\n8140=\xE3\x80\x80\n01020304=four\nEF=\xEF\xBB\xBF\nE4=<\n43=B\n"
    // A long code that a control of the most bytes goes on from.
    "D418734F470D734AD5=\xE3\x83\x9C\xE3\x83\xBC\xE3\x83\x8A\xE3\x82\xB9"
    "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF\n"
    "$D418734F470D734AD59999999999999999999999999999999999999999999999=<long>,8\n";

const GameTable& TestGameTable() {
  static const GameTable table = ParseGameTable(kGameTbl, "g.tbl").value();
  return table;
}

class GameDecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(GameDecodeTest, TextAtEverySplitAndAsTheReference) {
  const DecodeCase& c = GetParam();
  const GameTable& table = TestGameTable();
  ExpectSameInAnyChunks<Decoder>(table, c.options, c.bytes, c.expected);
  EXPECT_U16_EQ(c.expected, test::ReferenceGameDecode(table.codes(), c.bytes, c.options));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GameDecodeTest,
    testing::Values(
        DecodeCase{"Empty", {}, u""},
        DecodeCase{"LongestWins", {0x41, 0x42, 0x43, 0x41, 0x42, 0x41}, u"<ABC>[AB]A"},
        DecodeCase{"ShorterWhenTheLongerBreaksOff", {0x41, 0x42, 0x44}, u"[AB]<44>"},
        DecodeCase{"LongerCutByTheEnd", {0x41, 0x42}, u"[AB]"},
        DecodeCase{"NoCodeIsATag", {0x44, 0x41, 0x81}, u"<44>A<81>"},
        // What would be typed back as other bytes is a tag of its own bytes:
        // an end without text, a tag mark, a text another code wins.
        DecodeCase{"EndTokens", {0x00, 0x01, 0x41}, u"[end]<01>A"},
        DecodeCase{"ShownOnlyWhereTypedBack", {0xE4, 0x43, 0x42}, u"<E4><43>B"},
        DecodeCase{"LineBreaks", {0x0A, 0x0B, 0x41}, u"\n#\nA"},
        DecodeCase{"LineBreaksCrLf", {0x0A, 0x0B}, u"\r\n#\r\n", kCrLfOptions},
        DecodeCase{"ControlAndItsParameter", {0xFE, 0x1E}, u"<wait><1E>"},
        DecodeCase{"ParametersNeverStartACode", {0xFE, 0x41, 0x42}, u"<wait><41>B"},
        DecodeCase{"ThreeParametersOneTag", {0xFD, 0x41, 0xFE, 0x00, 0x41}, u"<go><41FE00>A"},
        DecodeCase{"NoParameters", {0xFC, 0x41}, u"<nop>A"},
        // Short of its parameters, its label would be typed back with too few.
        DecodeCase{"ControlCutByTheEnd", {0xFD, 0x01}, u"<FD01>"},
        DecodeCase{"ControlAtTheEnd", {0xFE}, u"<FE>"},
        DecodeCase{"FourByteCode", {0x01, 0x02, 0x03, 0x04, 0x81, 0x40}, u"four\u3000"},
        DecodeCase{"FourByteCodeCut", {0x01, 0x02, 0x03}, u"<01><02><03>"},
        DecodeCase{"NineByteCode", {0xD4, 0x18, 0x73, 0x4F, 0x47, 0x0D, 0x73, 0x4A, 0xD5, 0x41},
                   u"\u30DC\u30FC\u30CA\u30B9\u30C7\u30FC\u30BFA"},
        DecodeCase{"LongCodeWhenTheLongerBreaksOff",
                   {0xD4, 0x18, 0x73, 0x4F, 0x47, 0x0D, 0x73, 0x4A, 0xD5, 0x99, 0x99, 0x41},
                   u"\u30DC\u30FC\u30CA\u30B9\u30C7\u30FC\u30BF<99><99>A"},
        DecodeCase{"LongestControlAndAllItsParameters",
                   {0xD4, 0x18, 0x73, 0x4F, 0x47, 0x0D, 0x73, 0x4A, 0xD5,
                    0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99,
                    0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99,
                    1, 2, 3, 4, 5, 6, 7, 8, 0x41},
                   u"<long><0102030405060708>A"},
        DecodeCase{"ByteOrderMarkFirstIsATag", {0xEF, 0xEF}, u"<EF>\uFEFF"},
        DecodeCase{"ByteOrderMarkKeptInUtf16", {0xEF}, u"\uFEFF", kUtf16Options}),
    test::CaseName<DecodeCase>);

// A .tbl line for a random code over few byte values, so that codes begin
// alike; its text names its code, so that a wrong match shows. Mostly of up
// to 4 bytes, now and then longer.
std::string RandomTblLine(std::mt19937& rng) {
  constexpr std::string_view kMarks[] = {"", "/", "*", "$"};
  const std::size_t kind = rng() % 4;
  std::string code;
  for (std::size_t n = rng() % 6 == 0 ? 5 + rng() % 8 : 1 + rng() % 4; n > 0; --n) {
    AppendHexByte(static_cast<std::uint8_t>(rng() % 6), code);
  }
  std::string line = std::string(kMarks[kind]) + code;
  if (kind == 1 && rng() % 2 == 0) return line;  // an end token without text
  line += "={" + code + "}";
  if (kind == 3) line += "," + std::to_string(rng() % 4);
  return line;
}

TEST(GameDecodeReferenceTest, RandomTablesBytesAndPieces) {
  std::mt19937 rng(4242);
  for (int round = 0; round < 300; ++round) {
    // Lines the parser refuses (a code again, one a control shadows) are left out.
    std::string tbl;
    for (int i = 0; i < 14; ++i) {
      const std::string with = tbl + RandomTblLine(rng) + "\n";
      if (ParseGameTable(with, "r.tbl")) tbl = with;
    }
    const GameTable table = ParseGameTable(tbl, "r.tbl").value();
    const DecodeOptions options = round % 3 == 0 ? kCrLfOptions : kUtf16Options;
    Decoder decoder(table, options);
    for (int i = 0; i < 20; ++i) {
      // Random bytes and codes of the table, whole or cut, so that long
      // codes are met too.
      Bytes bytes;
      for (std::size_t n = rng() % 24; n > 0; --n) {
        if (rng() % 3 != 0 || table.codes().empty()) {
          bytes.push_back(static_cast<std::uint8_t>(rng() % 8));
          continue;
        }
        const Bytes& code = table.codes()[rng() % table.codes().size()].bytes;
        const std::size_t take = rng() % 2 == 0 ? code.size() : 1 + rng() % code.size();
        bytes.insert(bytes.end(), code.begin(), code.begin() + static_cast<std::ptrdiff_t>(take));
      }
      const std::u16string got =
          DecodeInPieces(decoder, bytes, [&] { return std::size_t{rng() % 6}; });
      ASSERT_TRUE(test::SameUnits(
          test::ReferenceGameDecode(table.codes(), bytes, options), got))
          << "table\n" << tbl << "bytes " << Hex(bytes);
    }
  }
}

}  // namespace
}  // namespace binconv
