#include "chartable/game_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "chartable/check.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"
#include "support/bytes.h"
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

// The codes without their lines, in byte order: what a canonical .tbl keeps.
using CodeFacts = std::tuple<std::vector<std::uint8_t>, GameCodeKind, std::u16string, int>;
std::vector<CodeFacts> Facts(const GameTable& table) {
  std::vector<CodeFacts> facts;
  for (const GameCode& c : table.codes()) facts.emplace_back(c.bytes, c.kind, c.text, c.params);
  std::sort(facts.begin(), facts.end());
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
  std::string canonical{};            // GameTableToTbl's; empty: not compared
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
    const std::string canonical = GameTableToTbl(*table);
    if (!c.canonical.empty()) {
      EXPECT_EQ(c.canonical, canonical);
    }
    const auto again = ParseGameTable(canonical, "g.tbl");
    ASSERT_TRUE(again.has_value()) << canonical;
    EXPECT_EQ(Facts(*table), Facts(*again)) << canonical;
    return;
  }
  ASSERT_FALSE(table.has_value()) << Written(*table);
  EXPECT_EQ(c.problems, At(table.error()));
}

using P = ProblemCode;

INSTANTIATE_TEST_SUITE_P(
    Entries, ParseGameTableTest,
    testing::Values(
        ParseCase{"EveryKind",
                  "41=A\n/00=[end]\n/FF\n*0a\n*0B=\xE2\x96\xBC\n$fe=<wait>,1\n$F0=<x>,0\n",
                  "41=A@1 | /00=[end]@2 | /FF=@3 | *0A=@4 | *0B=\xE2\x96\xBC@5 | "
                  "$FE=<wait>,1@6 | $F0=<x>,0@7",
                  {},
                  {},
                  "/00=[end]\n*0A\n*0B=\xE2\x96\xBC\n41=A\n$F0=<x>,0\n$FE=<wait>,1\n/FF\n"},
        ParseCase{"LongCodesAndTexts", "01020304=abc\nAbCd==a=b\n8140= \n",
                  "01020304=abc@1 | ABCD==a=b@2 | 8140= @3", {}, {},
                  "01020304=abc\n8140= \nABCD==a=b\n"},
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
                   {P::kTblSameText, 4, 3},
                   {P::kTblSameText, 8, 7},
                   {P::kTblSameText, 9, 1}}},
        ParseCase{"NeverReadWhenEveryNextByteMakesACode", "81=x\n" + EveryByteAfter("81"), "",
                  {}, {{P::kTblNeverRead, 1}}},
        ParseCase{"ReadWhenOneNextByteMakesNoCode", "81=x\n" + EveryByteAfter("81", 0x7F), ""},
        ParseCase{"NeverReadThroughALongerStart",
                  "81=x\n" + EveryByteAfter("81", 0x40) + EveryByteAfter("8140"), "", {},
                  {{P::kTblNeverRead, 1}}},
        ParseCase{"ReadWhenALongerStartLeavesAByte",
                  "81=x\n" + EveryByteAfter("81", 0x40) + EveryByteAfter("8140", 0), ""},
        ParseCase{"ControlPrefixOfItselfOnly", "$FE=w,2\nFF=x\n", "$FE=w,2@1 | FF=x@2"},
        ParseCase{"DuplicateCodes",
                  "41=A\n/41\n*41\n4142=x\n",
                  "",
                  {{P::kTblDuplicateCode, 2, 1}, {P::kTblDuplicateCode, 3, 1}}},
        ParseCase{"BadCodes",
                  "123=x\n4G=x\n0102030405=x\n=x\n/\n*=y\n",
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
                   {P::kTblNoText, 2},
                   {P::kTblBadParams, 3},
                   {P::kTblBadParams, 4},
                   {P::kTblBadParams, 5},
                   {P::kTblBadParams, 6},
                   {P::kTblSwitch, 7}}},
        ParseCase{"UnreachableAfterControl",
                  "FE01=x\n$FE=w,1\n/FE0203\n41=A\n",
                  "",
                  {{P::kTblUnreachable, 1, 2}, {P::kTblUnreachable, 3, 2}}},
        ParseCase{"BadUtf8AfterUtf8", "\xEF\xBB\xBF" "41=A\n42=\xE3\x81\n",
                  "",
                  {{P::kBadUtf8, 2, 0, 4}}}),
    test::CaseName<ParseCase>);

// Random tables of every kind, with texts of the characters a .tbl line
// treats specially ("=", ",", "#", "/", spaces) and of code page 932's
// doubtful bytes (backslash, tilde, yen, wave dashes), read back from their
// canonical form; a text from a file holds no lone surrogate.
TEST(GameTableToTblTest, ReadsBackRandomTables) {
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
      for (std::size_t more = control ? 0 : rng() % kMaxGameCodeBytes; more > 0; --more) {
        code.bytes.push_back(static_cast<std::uint8_t>(rng() % 3 == 0 ? 0 : rng()));
      }
      for (std::size_t length = rng() % 5; length > 0; --length) {
        code.text += kChars[rng() % kChars.size()];
      }
      if (code.kind == GameCodeKind::kText && code.text.empty()) code.text = u"t";
      if (control) code.params = static_cast<std::uint8_t>(rng() % (kMaxControlParams + 1));
      if (taken.insert(code.bytes).second) codes.push_back(std::move(code));
    }
    const GameTable table(std::move(codes));
    const std::string tbl = GameTableToTbl(table);
    const auto again = ParseGameTable(tbl, "g.tbl");
    ASSERT_TRUE(again.has_value()) << tbl;
    ASSERT_EQ(Facts(table), Facts(*again)) << tbl;
    EXPECT_EQ(tbl, GameTableToTbl(*again));
  }
}

// The reader's tables answer as ReadUnit does, for every string of up to
// three bytes over few values, so that codes begin alike, cut or whole.
TEST(GameUnitReaderTest, AnswersAsReadUnit) {
  std::mt19937 rng(515);
  constexpr int kValues = 5;
  for (int round = 0; round < 200; ++round) {
    std::vector<GameCode> codes;
    std::set<std::vector<std::uint8_t>> taken;
    for (int i = 0, n = 1 + static_cast<int>(rng() % 12); i < n; ++i) {
      GameCode code;
      code.kind = static_cast<GameCodeKind>(rng() % 4);
      for (std::size_t length = 1 + rng() % kMaxGameCodeBytes; length > 0; --length) {
        code.bytes.push_back(static_cast<std::uint8_t>(rng() % kValues));
      }
      if (code.kind == GameCodeKind::kControl) code.params = static_cast<std::uint8_t>(rng() % 4);
      if (taken.insert(code.bytes).second) codes.push_back(std::move(code));
    }
    const GameTable table(std::move(codes));
    const GameUnitReader& reader = table.reader();
    std::vector<std::vector<std::uint8_t>> strings{{}};
    for (std::size_t at = 0; at < strings.size() && strings.size() < 200; ++at) {
      for (std::uint8_t b = 0; b <= kValues; ++b) {
        strings.push_back(strings[at]);
        strings.back().push_back(b);
      }
    }
    for (const std::vector<std::uint8_t>& bytes : strings) {
      for (const bool at_end : {false, true}) {
        if (bytes.empty()) continue;
        ASSERT_EQ(table.ReadUnit(bytes, at_end), reader.ReadUnit(bytes, at_end))
            << test::Hex(bytes) << " at_end " << at_end << "\n" << GameTableToTbl(table);
      }
    }
  }
}

}  // namespace
}  // namespace binconv
