#include "runtime/compare.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cwctype>
#include <string>

namespace binconv {
namespace {

std::string Hex(char32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

// The folding rule, written independently: wide compatibility forms and the
// ideographic space onto ASCII, then the C library's lower-case mapping.
char16_t ExpectedFold(char16_t c) {
  char32_t w = c;
  if (c >= 0xFF01 && c <= 0xFF5E) w = c - 0xFEE0;
  if (c == 0x3000) w = 0x20;
  if (w >= 0xD800 && w <= 0xDFFF) return static_cast<char16_t>(w);
  const wint_t lower = std::towlower(static_cast<wint_t>(w));
  // wint_t has 16 bits on Windows, where every result fits.
#if WINT_MAX > 0xFFFF
  if (lower > 0xFFFF) return static_cast<char16_t>(w);
#endif
  return static_cast<char16_t>(lower);
}

TEST(TextCompareTest, FoldMatchesTheRuleForEveryCodeUnit) {
#ifdef _WIN32
  GTEST_SKIP() << "the reference is glibc's lower-case mapping; the fold table itself is the "
                  "same code on every system and is checked on Linux";
#endif
  ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr) << "C.UTF-8 locale missing";
  int mismatches = 0;
  for (char32_t u = 0; u <= 0xFFFF; ++u) {
    const char16_t c = static_cast<char16_t>(u);
    const char16_t got = FoldForTextCompare(c);
    const char16_t want = ExpectedFold(c);
    if (got != want && ++mismatches <= 20) {
      ADD_FAILURE() << Hex(u) << ": folded to " << Hex(got) << ", expected " << Hex(want);
    }
  }
  EXPECT_EQ(mismatches, 0);
  std::setlocale(LC_CTYPE, "C");
}

TEST(TextCompareTest, FoldIsIdempotentForEveryCodeUnit) {
  for (char32_t u = 0; u <= 0xFFFF; ++u) {
    const char16_t once = FoldForTextCompare(static_cast<char16_t>(u));
    ASSERT_EQ(FoldForTextCompare(once), once) << Hex(u) << " -> " << Hex(once);
  }
}

TEST(TextCompareTest, OnlyTheWideFormAndItselfEqualEachDelimiter) {
  // The delimiters the tool compares; anything else equal to them would change parsing.
  const struct {
    char16_t narrow;
    char16_t wide;
  } kDelimiters[] = {
      {u'<', 0xFF1C}, {u'>', 0xFF1E}, {u',', 0xFF0C}, {u'/', 0xFF0F}, {u' ', 0x3000}};
  for (const auto& d : kDelimiters) {
    for (char32_t u = 0; u <= 0xFFFF; ++u) {
      const char16_t c = static_cast<char16_t>(u);
      const bool expected = c == d.narrow || c == d.wide;
      ASSERT_EQ(TextEqual(c, d.narrow), expected) << Hex(u) << " vs " << Hex(d.narrow);
    }
  }
}

struct PairCase {
  std::u16string a;
  std::u16string b;
  bool text_equal;
};

class TextComparePairs : public testing::TestWithParam<PairCase> {};

TEST_P(TextComparePairs, ComparesAsFolded) {
  const PairCase& p = GetParam();
  EXPECT_EQ(TextCompare(p.a, p.b), p.text_equal);
  EXPECT_EQ(TextCompare(p.b, p.a), p.text_equal);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, TextComparePairs,
    testing::Values(PairCase{u"A", u"a", true}, PairCase{u"\uFF21", u"a", true},
                    PairCase{u"\uFF41", u"A", true}, PairCase{u"\u00C0", u"\u00E0", true},
                    PairCase{u"\u0391", u"\u03B1", true}, PairCase{u"\u0416", u"\u0436", true},
                    PairCase{u"\u3042", u"\u30A2", false},  // hiragana and katakana stay apart
                    PairCase{u"\uFF71", u"\u30A2", false},  // half-width katakana is not folded
                    PairCase{u"\u9C2F", u"\r\n", false}, PairCase{u"\r\n", u"\r\n", true},
                    PairCase{u"ab", u"a", false}, PairCase{u"", u"", true},
                    PairCase{u"\uFF1C\uFF1E", u"<>", true}));

}  // namespace
}  // namespace binconv
