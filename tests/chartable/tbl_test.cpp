#include "chartable/tbl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "chartable/check.h"
#include "codec/decode.h"
#include "codec/encoder.h"
#include "codec/string_end.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"
#include "support/bytes.h"
#include "support/encoded.h"
#include "support/gtest_support.h"

namespace binconv {
namespace {

// The codes as a .tbl would write them back: kind mark, upper-case hex, the
// text in UTF-8 and a control's count; " | " between them.
std::string Written(const GameTable& table) {
  std::string out;
  for (const GameCode& code : table.codes()) {
    if (!out.empty()) out += " | ";
    constexpr std::string_view kMarks[] = {"", "/", "*", "$"};
    out += kMarks[static_cast<int>(code.kind)];
    for (const std::uint8_t b : code.bytes) AppendHexByte(b, out);
    out += "=" + EncodeUtf8(code.text);
    if (code.kind == GameCodeKind::kControl) out += "," + std::to_string(code.params);
    out += "@" + std::to_string(code.line);
  }
  return out;
}

struct ProblemAt {
  ProblemCode code;
  std::size_t line;
  std::size_t other_line = 0;
  std::size_t column = 0;
  friend bool operator==(const ProblemAt&, const ProblemAt&) = default;
};

void PrintTo(const ProblemAt& p, std::ostream* os) {
  *os << "{code " << static_cast<int>(p.code) << ", line " << p.line << ", other "
      << p.other_line << ", column " << p.column << "}";
}

std::vector<ProblemAt> At(const std::vector<Problem>& problems) {
  std::vector<ProblemAt> found;
  for (const Problem& p : problems) {
    EXPECT_EQ("g.tbl", p.file);
    found.push_back({p.code, p.line, p.other_line, p.column});
  }
  return found;
}

// The codes without their lines, in order: what a written .tbl keeps.
using CodeFacts = std::tuple<std::vector<std::uint8_t>, GameCodeKind, std::u16string, int>;
std::vector<CodeFacts> Facts(std::span<const GameCode> codes) {
  std::vector<CodeFacts> facts;
  for (const GameCode& c : codes) facts.emplace_back(c.bytes, c.kind, c.text, c.params);
  return facts;
}

// Lines for the codes `start` 00 to `start` FF but `except`, each with its own text.
std::string EveryByteAfter(const std::string& start, int except = -1) {
  std::string lines;
  for (int b = 0; b < 256; ++b) {
    if (b == except) continue;
    const std::string code = start + HexByte(static_cast<std::uint8_t>(b));
    lines += code + "=" + code + "\n";
  }
  return lines;
}

struct ParseCase {
  std::string_view name;
  std::string tbl;
  std::string written;                // when it loads; empty: not compared
  std::vector<ProblemAt> problems{};  // when it doesn't
  std::vector<ProblemAt> findings{};  // CheckGameTable's, when it loads
  std::string canonical{};            // WriteTbl's; empty: not compared
};

class ParseGameTableTest : public testing::TestWithParam<ParseCase> {};

// A table that loads is checked and written canonically, and the canonical
// form reads back to the same codes.
TEST_P(ParseGameTableTest, LoadsOrListsEveryProblem) {
  const ParseCase& c = GetParam();
  const auto table = ParseGameTable(c.tbl, "g.tbl");
  if (c.problems.empty()) {
    ASSERT_TRUE(table.has_value()) << table.error().size() << " problems, first on line "
                                   << table.error().front().line;
    if (!c.written.empty()) {
      EXPECT_EQ(c.written, Written(*table));
    }
    const std::vector<Problem> findings = CheckGameTable(*table, "g.tbl");
    EXPECT_EQ(c.findings, At(findings));
    // Decode is the oracle of a code never read: whatever follows, a longer
    // code wins. (Rows with findings give one code a line, from line 1.)
    for (const Problem& finding : findings) {
      const GameCode& code = table->codes()[finding.line - 1];
      for (int next = 0; finding.code == ProblemCode::kTblNeverRead && next < 256; ++next) {
        std::vector<std::uint8_t> bytes = code.bytes;
        bytes.resize(kMaxGameUnitBytes, static_cast<std::uint8_t>(next));
        EXPECT_GT(table->ReadUnit(bytes, true).size, code.bytes.size()) << next;
      }
    }
    // Another text of a code is typed as that code.
    for (const GameTextAlias& alias : table->aliases()) {
      EXPECT_EQ(test::Hex(table->codes()[alias.code].bytes),
                test::Hex(test::Encode(*table, LineBreaks::kAny, alias.text).bytes));
    }
    const std::string canonical =
        WriteTbl(table->codes(), TblEncoding::kUtf8, table->aliases()).bytes;
    if (!c.canonical.empty()) {
      EXPECT_EQ(c.canonical, canonical);
    }
    const auto again = ParseGameTable(canonical, "g.tbl");
    ASSERT_TRUE(again.has_value()) << canonical;
    EXPECT_EQ(Facts(table->codes()), Facts(again->codes())) << canonical;
    ASSERT_EQ(table->aliases().size(), again->aliases().size()) << canonical;
    for (std::size_t i = 0; i < table->aliases().size(); ++i) {
      EXPECT_U16_EQ(table->aliases()[i].text, again->aliases()[i].text);
      EXPECT_EQ(table->aliases()[i].code, again->aliases()[i].code);
    }
    return;
  }
  ASSERT_FALSE(table.has_value()) << Written(*table);
  EXPECT_EQ(c.problems, At(table.error()));
}

using P = ProblemCode;

// A code of 32 bytes, the most, and its start.
const std::string kLongest = "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F";
const std::string kStart = kLongest.substr(0, 62);

INSTANTIATE_TEST_SUITE_P(
    Entries, ParseGameTableTest,
    testing::Values(
        ParseCase{"EveryKind",
                  "41=A\n/00=[end]\n/FF\n*0a\n*0B=\xE2\x96\xBC\n$fe=<wait>,1\n$F0=<x>,0\n",
                  "41=A@1 | /00=[end]@2 | /FF=@3 | *0A=@4 | *0B=\xE2\x96\xBC@5 | "
                  "$FE=<wait>,1@6 | $F0=<x>,0@7",
                  {},
                  {},
                  "41=A\n/00=[end]\n/FF\n*0A\n*0B=\xE2\x96\xBC\n$FE=<wait>,1\n$F0=<x>,0\n"},
        ParseCase{"LongCodesAndTexts", "01020304=abc\nAbCd==a=b\n8140= \n",
                  "01020304=abc@1 | ABCD==a=b@2 | 8140= @3", {}, {},
                  "01020304=abc\nABCD==a=b\n8140= \n"},
        // Codes of 9 and of 32 bytes, the most, and one the start of another.
        ParseCase{"CodesOfManyBytes",
                  "d418734f470d734ad5=x\n" + kLongest + "=y\n" + kStart + "=z\n",
                  "D418734F470D734AD5=x@1 | " + kLongest + "=y@2 | " + kStart + "=z@3", {},
                  {{P::kTblBeginsLonger, 3, 2}},
                  "D418734F470D734AD5=x\n" + kLongest + "=y\n" + kStart + "=z\n"},
        ParseCase{"CommentsIdAndBlankSkipped",
                  "# c\n; c\n// c\n@main\n\n  \t\n41=A\n", "41=A@7"},
        ParseCase{"CrLfAndNoLastLineEnd", "41=A\r\n42=B\r\n43=C", "41=A@1 | 42=B@2 | 43=C@3"},
        ParseCase{"Utf8WithMark", "\xEF\xBB\xBF" "82A0=\xE3\x81\x82\n", "82A0=\xE3\x81\x82@1"},
        ParseCase{"Utf8WithoutMark", "82A0=\xE3\x81\x82\n", "82A0=\xE3\x81\x82@1"},
        ParseCase{"CodePage932", "82A0=\x82\xA0\r\n", "82A0=\xE3\x81\x82@1"},
        ParseCase{"DuplicateTextsAllowed", "41=A\n42=A\n", "41=A@1 | 42=A@2", {},
                  {{P::kTblSameText, 2, 1}}},
        ParseCase{"DuplicateTextsWarnedPerKind",
                  "41=A\n42=A\n/00=A\n/01=A\n*0A\n*0B\n$FE=w,0\n$FD=w,1\n43=A\n",
                  "",
                  {},
                  {{P::kTblSameText, 2, 1},
                   {P::kTblNotTypable, 3},  // "A" is typed as 41
                   {P::kTblSameText, 4, 3},
                   {P::kTblSameText, 8, 7},
                   {P::kTblSameText, 9, 1}}},
        ParseCase{"NeverReadWhenEveryNextByteMakesACode", "81=x\n" + EveryByteAfter("81"), "",
                  {}, {{P::kTblNeverRead, 1}}},
        ParseCase{"ReadWhenOneNextByteMakesNoCode", "81=x\n" + EveryByteAfter("81", 0x7F), "",
                  {}, {{P::kTblBeginsLonger, 1, 2}}},
        ParseCase{"NeverReadThroughALongerStart",
                  "81=x\n" + EveryByteAfter("81", 0x40) + EveryByteAfter("8140"), "", {},
                  {{P::kTblNeverRead, 1}}},
        // The longest code read under every byte after it: decode never reads it.
        ParseCase{"NeverReadBeforeTheLongestCodes", kStart + "=x\n" + EveryByteAfter(kStart), "",
                  {}, {{P::kTblNeverRead, 1}}},
        ParseCase{"ReadWhenALongerStartLeavesAByte",
                  "81=x\n" + EveryByteAfter("81", 0x40) + EveryByteAfter("8140", 0), "", {},
                  {{P::kTblBeginsLonger, 1, 2}}},
        // What encoding must work around, and a text decode can't show.
        // A long code made of its own characters' codes reads back either way.
        ParseCase{"LongCodeOfItsOwnCodes", "41=a\n42=bc\n414242=abcbc\n", "", {}, {}},
        ParseCase{"EncodingHazards", "41=A\n$F0=<AB>,0\nE4=<\n8141=Y\n81=X\n", "", {},
                  {{P::kTblHexLabel, 2}, {P::kTblNotTypable, 3}, {P::kTblBeginsLonger, 5, 4}}},
        ParseCase{"ControlPrefixOfItselfOnly", "$FE=w,2\nFF=x\n", "$FE=w,2@1 | FF=x@2"},
        // Two ways to type a code; decode shows the first. A tag is typed
        // as its label.
        ParseCase{"SecondTextsForACode", "41=A\n41=B\n42=C\n41=<b>\n", "41=A@1 | 42=C@3", {},
                  {{P::kTblSeveralTexts, 2, 1}, {P::kTblSeveralTexts, 4, 1}}},
        ParseCase{"Utf16LittleEndian", std::string("\xFF\xFE" "4\0001\0=\0B\x30\n\0", 12),
                  "41=\xE3\x81\x82@1"},
        ParseCase{"Utf16BigEndian", std::string("\xFE\xFF\0" "4\0001\0=\x30K\0\r\0\n", 14),
                  "41=\xE3\x81\x8B@1"},
        // "\n" ends a text with a break: HEX=\n is a line-break code; "\\"
        // is a backslash, and a lone one is itself.
        ParseCase{"LineBreaksEndTexts",
                  "FD=\\n\n/FF=<END>\\n\\n\nFE=a\\r\n5C=\\\n5D=\\\\n\n",
                  "*FD=@1 | /FF=<END>\n\n@2 | *FE=a@3 | 5C=\\@4 | 5D=\\n@5", {}, {},
                  "*FD\n/FF=<END>\\n\\n\n*FE=a\n5C=\\\n5D=\\\\n\n"},
        ParseCase{"LineBreakWithinAText", "41=a\\nb\n", "", {{P::kTblBreakInText, 1}}},
        ParseCase{"DuplicateCodes",
                  "41=A\n/41\n*41\n4142=x\n0102030405060708=a\n0202030405060708=b\n" +
                      kLongest + "=c\n/" + kLongest + "=d\n",
                  "",
                  {{P::kTblDuplicateCode, 2, 1},
                   {P::kTblDuplicateCode, 3, 1},
                   {P::kTblDuplicateCode, 8, 7}}},
        ParseCase{"BadCodes",
                  "123=x\n4G=x\n" + kLongest + "20=x\n=x\n/\n*=y\n",
                  "",
                  {{P::kTblBadCode, 1},
                   {P::kTblBadCode, 2},
                   {P::kTblCodeTooLong, 3},
                   {P::kTblEmptyCode, 4},
                   {P::kTblEmptyCode, 5},
                   {P::kTblEmptyCode, 6}}},
        ParseCase{"BadEntries",
                  "41\n42=\n$43\n$44=w\n$45=w,9\n$46=w,x\n!01=t2\n",
                  "",
                  {{P::kTblNotAnEntry, 1},
                   {P::kTblBadParams, 3},
                   {P::kTblBadParams, 4},
                   {P::kTblBadParams, 5},
                   {P::kTblBadParams, 6},
                   {P::kTblSwitch, 7}}},
        // decode would show its parameters as a tag that encode can't tell back.
        ParseCase{"ControlWithoutLabel", "41=A\n$FE=,1\n", "", {{P::kTblNoLabel, 2}}},
        ParseCase{"UnreachableAfterControl",
                  "FE01=x\n$FE=w,1\n/FE0203\n41=A\n$D418734F470D734AD5=v,0\n"
                  "D418734F470D734AD599=y\n",
                  "",
                  {{P::kTblUnreachable, 1, 2},
                   {P::kTblUnreachable, 3, 2},
                   {P::kTblUnreachable, 6, 5}}},
        ParseCase{"BadUtf8AfterUtf8", "\xEF\xBB\xBF" "41=A\n42=\xE3\x81\n",
                  "",
                  {{P::kBadUtf8, 2, 0, 4}}},
        // Every line that is not UTF-8 is listed, and the lines after it are read.
        ParseCase{"ReadsOnAfterBadUtf8", "\xEF\xBB\xBF" "4\xFF=A\n42\n\xC0=B\n41=A\n/41=C\n",
                  "",
                  {{P::kBadUtf8, 1, 0, 2},
                   {P::kTblNotAnEntry, 2},
                   {P::kBadUtf8, 3, 0, 1},
                   {P::kTblDuplicateCode, 5, 4}}}),
    test::CaseName<ParseCase>);

// Random tables of every kind: texts that several codes share (of one length
// and of others), several ends, line breaks with text and without, controls;
// texts of the characters a .tbl line treats specially ("=", ",", "#", "/",
// spaces) and of code page 932's doubtful bytes (backslash, tilde, yen, wave
// dashes). Written and read back, the table is the same codes in the same
// order, and so encodes every text, decodes every byte string and ends a
// string as the original does; a code whose text code page 932 can't hold is
// listed, and the others then write.
TEST(WriteTblTest, ReadsBackToATableThatEncodesAndDecodesTheSame) {
  constexpr std::u16string_view kChars = u"A=,#/;@$* \\~\u00A5\u3042\u301C\uFF5E";
  std::mt19937 rng(2026);
  for (int round = 0; round < 300; ++round) {
    std::vector<GameCode> codes;
    std::set<std::vector<std::uint8_t>> taken;
    for (int i = 0, n = static_cast<int>(rng() % 40); i < n; ++i) {
      GameCode code;
      code.kind = static_cast<GameCodeKind>(rng() % 4);
      // Controls begin F0 to FF and nothing else does, so none shadows a code.
      const bool control = code.kind == GameCodeKind::kControl;
      code.bytes.push_back(static_cast<std::uint8_t>(control ? 0xF0 + rng() % 16 : rng() % 0xF0));
      const std::size_t more = rng() % 8 == 0 ? rng() % kMaxGameCodeBytes : rng() % 4;
      for (std::size_t left = control ? 0 : more; left > 0; --left) {
        code.bytes.push_back(static_cast<std::uint8_t>(rng() % 3 == 0 ? 0 : rng()));
      }
      // Short texts over few characters, so that codes share them.
      for (std::size_t length = rng() % 3; length > 0; --length) {
        code.text += kChars[rng() % (round % 2 == 0 ? 4 : kChars.size())];
      }
      // A text and a control's label are never empty.
      if ((code.kind == GameCodeKind::kText || control) && code.text.empty()) code.text = u"t";
      if (control) code.params = static_cast<std::uint8_t>(rng() % (kMaxControlParams + 1));
      if (taken.insert(code.bytes).second) codes.push_back(std::move(code));
    }
    const GameTable table(codes);
    const std::string tbl = WriteTbl(codes).bytes;
    const auto again = ParseGameTable(tbl, "g.tbl");
    ASSERT_TRUE(again.has_value()) << tbl;
    ASSERT_EQ(Facts(codes), Facts(again->codes())) << tbl;
    EXPECT_EQ(tbl, WriteTbl(again->codes()).bytes);

    const GameCode* end = table.first_end();
    const GameCode* end_again = again->first_end();
    ASSERT_EQ(end == nullptr, end_again == nullptr) << tbl;
    if (end != nullptr) {
      EXPECT_EQ(end->bytes, end_again->bytes) << tbl;
    }
    Encoder encoder(table, LineBreaks::kAny);
    Encoder encoder_again(*again, LineBreaks::kAny);
    Decoder decoder(table);
    Decoder decoder_again(*again);
    for (int i = 0; i < 10; ++i) {
      std::u16string text;
      std::vector<std::uint8_t> bytes;
      for (std::size_t n = rng() % 8; n > 0 && !codes.empty(); --n) {
        const GameCode& code = codes[rng() % codes.size()];
        text += rng() % 4 == 0 ? u"\n" : code.text;
        bytes.insert(bytes.end(), code.bytes.begin(), code.bytes.end());
        if (rng() % 4 == 0) bytes.push_back(static_cast<std::uint8_t>(rng()));
      }
      ASSERT_EQ(test::Encode(encoder, text).Describe(), test::Encode(encoder_again, text).Describe())
          << test::Hex(text) << "\n" << tbl;
      std::u16string shown;
      std::u16string shown_again;
      decoder.Feed(bytes, shown);
      decoder.Finish(shown);
      decoder_again.Feed(bytes, shown_again);
      decoder_again.Finish(shown_again);
      ASSERT_EQ(EncodeUtf8(shown), EncodeUtf8(shown_again)) << test::Hex(bytes) << "\n" << tbl;
    }

    const TblWritten cp932 = WriteTbl(codes, TblEncoding::kCp932);
    std::vector<GameCode> writable;
    for (std::size_t i = 0; i < codes.size(); ++i) {
      if (std::find(cp932.unwritable.begin(), cp932.unwritable.end(), i) ==
          cp932.unwritable.end()) {
        writable.push_back(codes[i]);
      }
    }
    EXPECT_EQ(cp932.bytes.empty(), !cp932.unwritable.empty() || codes.empty());
    const TblWritten rest = WriteTbl(writable, TblEncoding::kCp932);
    ASSERT_TRUE(rest.unwritable.empty()) << tbl;
    const TblRead read = ReadTbl(rest.bytes, "g.tbl", TblEncoding::kCp932);
    EXPECT_TRUE(read.problems.empty()) << tbl;
    EXPECT_EQ(Facts(writable), Facts(read.codes)) << tbl;
  }
}

}  // namespace
}  // namespace binconv
