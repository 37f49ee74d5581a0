#include "codec/report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "chartable/encoding.h"
#include "codec/encoder.h"
#include "support/bytes.h"

namespace binconv {
namespace {

using test::Hex;

using Bytes = std::vector<std::uint8_t>;
using Kind = EncodeProblem::Kind;

// A whole text through the streaming encoder with its coverage counter, fed
// in uneven chunks so that state carried between them is exercised.
struct EncodeOutcome {
  Bytes bytes;
  std::vector<EncodeProblem> problems;
  CoverageReport report;
};

EncodeOutcome EncodeWithReport(std::u16string_view text, const GameTable& table,
                               LineBreaks line_breaks) {
  EncodeOutcome outcome;
  Encoder encoder(table, line_breaks);
  CoverageCounter coverage;
  encoder.set_counts(&coverage.counts());
  for (std::size_t at = 0, step = 1; at < text.size(); at += step, step = step % 5 + 1) {
    encoder.Feed(text.substr(at, step), outcome.bytes);
    coverage.AddProblems(encoder.problems());
    outcome.problems.insert(outcome.problems.end(), encoder.problems().begin(),
                            encoder.problems().end());
    encoder.clear_problems();
  }
  encoder.Finish(outcome.bytes);
  coverage.AddProblems(encoder.problems());
  outcome.problems.insert(outcome.problems.end(), encoder.problems().begin(),
                          encoder.problems().end());
  outcome.report = coverage.Finish();
  return outcome;
}

std::string Describe(const MissingChar& m) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "%s U+%04X x%zu at %zu:%zu",
                m.kind == Kind::kNoCode ? "no-code" : "in-tag", static_cast<unsigned>(m.ch),
                m.count, m.first_line, m.first_column);
  return buf;
}

std::vector<std::string> Describe(const std::vector<MissingChar>& missing) {
  std::vector<std::string> out;
  for (const MissingChar& m : missing) out.push_back(Describe(m));
  return out;
}

// a on page 0, ア on page 2, カ on page 3, z on page 5, the low half U+DE01
// on page 1; A, Q and か have no code.
CharTable MakeTable() {
  CharTable t;
  t.SetCell(0, 1, 10, u"a");
  t.SetCell(2, 3, 4, u"\u30A2");
  t.SetCell(3, 0, 0, u"\u30AB");
  t.SetCell(5, 15, 15, u"z");
  t.SetCell(1, 0, 1, u"\xDE01");
  return t;
}

struct CoverageCase {
  const char* name;
  std::u16string text;
  std::array<std::size_t, kPages> by_page;
  std::size_t line_breaks;
  std::size_t spaces;
  std::size_t tag_digits;
  std::vector<std::string> missing;
  LineBreaks line_breaks_mode = LineBreaks::kAny;
};

class CoverageTest : public testing::TestWithParam<CoverageCase> {
 protected:
  GameTable table_ = GameTableOf(MakeTable());
};

TEST_P(CoverageTest, Counts) {
  const CoverageCase& c = GetParam();
  const EncodeOutcome outcome = EncodeWithReport(c.text, table_, c.line_breaks_mode);
  const CoverageReport& r = outcome.report;
  EXPECT_EQ(c.by_page, r.by_page);
  EXPECT_EQ(c.line_breaks, r.line_breaks);
  EXPECT_EQ(c.spaces, r.spaces);
  EXPECT_EQ(c.tag_digits, r.tag_digits);
  EXPECT_EQ(c.missing, Describe(r.missing));
  EXPECT_EQ(outcome.problems.size(), r.missing_total);
  std::size_t converted = 0;
  for (const std::size_t n : c.by_page) converted += n;
  EXPECT_EQ(converted, r.converted());
  // When nothing is missing, the counts account for every byte written.
  if (c.missing.empty()) {
    const std::size_t nibbles = 2 * r.by_page[0] + 4 * (converted - r.by_page[0]) +
                                2 * (r.line_breaks + r.spaces) + r.tag_digits;
    EXPECT_EQ(nibbles, 2 * outcome.bytes.size()) << Hex(outcome.bytes);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CoverageTest,
    testing::Values(
        CoverageCase{
            "EveryPage", u"aa\u30A2\u30AB z\u3000\r\nz\u9C2F", {2, 0, 1, 1, 0, 2}, 2, 2, 0, {}},
        CoverageCase{"MissingCountedWithFirstPlace",
                     u"aQ\r\n\u304BQ\nQ\u304B",
                     {1, 0, 0, 0, 0, 0},
                     2,
                     0,
                     0,
                     {"no-code U+0051 x3 at 1:2", "no-code U+304B x2 at 2:1"}},
        CoverageCase{"HexDigitWithoutCodeIsMissing",
                     u"A<A1>a",
                     {1, 0, 0, 0, 0, 0},
                     0,
                     0,
                     2,
                     {"no-code U+0041 x1 at 1:1"}},
        CoverageCase{"TagContents",
                     u"<0c 01>a<x\r\n2>z>",
                     {1, 0, 0, 0, 0, 1},
                     0,
                     0,
                     5,
                     {"in-tag U+0078 x1 at 1:10", "in-tag U+9C2F x1 at 1:11",
                      "in-tag U+003E x1 at 2:4", "in-tag U+0000 x1 at 1:9"}},
        CoverageCase{"PairWithoutCodeIsOneCharacter",
                     u"\xD83D\xDE00\xD83D\xDE01",
                     {0, 1, 0, 0, 0, 0},
                     0,
                     0,
                     0,
                     {"no-code U+1F600 x1 at 1:1", "no-code U+D83D x1 at 1:2"}},
        CoverageCase{"LoneBreaksLookedUpWhenExact",
                     u"a\nb\r\n",
                     {1, 0, 0, 0, 0, 0},
                     1,
                     0,
                     0,
                     {"no-code U+000A x1 at 1:2", "no-code U+0062 x1 at 2:1"},
                     LineBreaks::kCrLf}),
    [](const testing::TestParamInfo<CoverageCase>& p) { return std::string(p.param.name); });

struct DropCase {
  const char* name;
  std::u16string text;
  Bytes expected;  // the bytes with the problem characters left out
  std::size_t dropped;
  LineBreaks line_breaks = LineBreaks::kAny;
};

class KeepGoingTest : public testing::TestWithParam<DropCase> {
 protected:
  GameTable table_ = GameTableOf(MakeTable());
};

TEST_P(KeepGoingTest, DropsOnlyTheProblemCharacters) {
  const DropCase& c = GetParam();
  const EncodeOutcome outcome = EncodeWithReport(c.text, table_, c.line_breaks);
  EXPECT_EQ(c.dropped, outcome.problems.size());
  EXPECT_EQ(Hex(c.expected), Hex(outcome.bytes)) << "text " << Hex(c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeepGoingTest,
    testing::Values(DropCase{"NothingToDrop", u"a z", {0x1A, 0x50, 0x18, 0xFF}, 0},
                    // Left in, the digit A would shift every later byte by half.
                    DropCase{"HexDigitWithoutCode", u"aAa", {0x1A, 0x1A}, 1},
                    DropCase{"BreaksAroundADroppedCharStayTwo", u"\rQ\n", {0x24, 0x24}, 1},
                    DropCase{"CrLfStaysOne", u"Q\r\nQ", {0x24}, 2},
                    DropCase{"InTagBetweenLoneBreaks", u"<1\rx\n2>", {0x12}, 1, LineBreaks::kCrLf},
                    DropCase{"CrLfInTag", u"<1\r\n2>a", {0x12, 0x1A}, 1},
                    DropCase{"PairWithoutCode", u"a\xD83D\xDE00\x61", {0x1A, 0x1A}, 1},
                    DropCase{"HighBeforeCodedLow", u"\xD83D\xDE01", {0x20, 0x01}, 1},
                    DropCase{"SurrogatesInTag", u"<\xD83D\xDE00\xD83D>a", {0x1A}, 2}),
    [](const testing::TestParamInfo<DropCase>& p) { return std::string(p.param.name); });

// Texts made of tokens whose fate is known: the bytes kept must be those of
// the text without its problem tokens, and every byte must be accounted for.
TEST(KeepGoingRandomTest, EqualsTextWithoutProblemTokens) {
  const GameTable table = GameTableOf(MakeTable());
  struct Token {
    std::u16string text;
    bool problem;
  };
  const std::vector<Token> outside = {
      {u"a", false},      {u"\u30A2", false},      {u"z", false},     {u"\xDE01", false},
      {u" ", false},      {u"\u3000", false},      {u"\r\n", false},  {u"\n", false},
      {u"\u9C2F", false}, {u">", true},            {u"A", true},      {u"Q", true},
      {u"\u304B", true},  {u"\xD83D\xDE00", true}, {u"\xD83D", true}, {u"1", true}};
  const std::vector<Token> inside = {{u"0c", false}, {u"A1", false},   {u" ", false},
                                     {u"<", true},   {u"x", true},     {u"\r\n", true},
                                     {u"\n", true},  {u"\u304B", true}};
  std::mt19937 rng(4242);
  for (int round = 0; round < 3000; ++round) {
    std::u16string text;
    std::u16string kept;
    std::size_t problems = 0;
    bool in_tag = false;
    const int length = static_cast<int>(rng() % 30);
    for (int i = 0; i <= length; ++i) {
      Token token;
      // Tags are whole and never empty, each a problem of its own else.
      if (i == length ? in_tag : rng() % 8 == 0) {
        token = {in_tag ? u"0c>" : u"<", false};
        in_tag = !in_tag;
      } else if (i == length) {
        break;
      } else {
        const std::vector<Token>& pool = in_tag ? inside : outside;
        token = pool[rng() % pool.size()];
      }
      text += token.text;
      if (token.problem) {
        ++problems;
      } else {
        kept += token.text;
      }
    }
    SCOPED_TRACE("text " + Hex(text));
    const EncodeOutcome reference = EncodeWithReport(kept, table, LineBreaks::kAny);
    ASSERT_TRUE(reference.problems.empty());
    const EncodeOutcome lenient = EncodeWithReport(text, table, LineBreaks::kAny);
    EXPECT_EQ(problems, lenient.problems.size());
    EXPECT_EQ(problems, lenient.report.missing_total);
    EXPECT_EQ(Hex(reference.bytes), Hex(lenient.bytes));

    const CoverageReport& r = lenient.report;
    const std::size_t nibbles = 2 * r.by_page[0] + 4 * (r.converted() - r.by_page[0]) +
                                2 * (r.line_breaks + r.spaces) + r.tag_digits;
    EXPECT_EQ(nibbles, 2 * lenient.bytes.size());
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace binconv
