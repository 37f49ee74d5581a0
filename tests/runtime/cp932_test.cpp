#include "runtime/cp932.h"

#include <errno.h>
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "support/bytes.h"

namespace binconv {
namespace {

using detail::IsCp932LeadByte;
using test::Hex;

// Single bytes that Windows decodes and glibc rejects.
const std::map<std::uint8_t, char16_t> kWindowsOnly = {
    {0x80, u'\u0080'}, {0xA0, u'\uF8F0'}, {0xFD, u'\uF8F1'}, {0xFE, u'\uF8F2'}, {0xFF, u'\uF8F3'}};

[[maybe_unused]] bool InTrailRange(int b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

#ifdef _WIN32
// Windows' own code page 932 is the reference the table was made to match:
// every pair it decodes strictly must come out the same.
TEST(Cp932AgainstWindows, EveryValidPair) {
  int compared = 0;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (!IsCp932LeadByte(static_cast<std::uint8_t>(lead))) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      wchar_t out[4];
      const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, pair, 2, out, 4);
      if (n <= 0) continue;
      ++compared;
      ASSERT_EQ(Hex(DecodeCp932(std::string_view(pair, 2))), Hex(std::u16string(out, out + n)))
          << Hex(std::string_view(pair, 2));
    }
  }
  EXPECT_GT(compared, 7000);
}
#else
// glibc's own CP932 converter, as an independent reference for the table.
class Iconv {
 public:
  Iconv() : cd_(iconv_open("UTF-16LE", "CP932")) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  struct Outcome {
    std::optional<std::u16string> text;  // set when all input was taken
    int error = 0;
  };

  Outcome Decode(std::string_view bytes) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string in(bytes);
    std::vector<char> out(bytes.size() * 4 + 8);
    char* in_ptr = in.data();
    char* out_ptr = out.data();
    std::size_t in_left = in.size();
    std::size_t out_left = out.size();
    if (iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<std::size_t>(-1)) {
      return {std::nullopt, errno};
    }
    std::u16string text;
    for (char* p = out.data(); p < out_ptr; p += 2) {
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(p[0]) |
                                           static_cast<unsigned char>(p[1]) << 8));
    }
    return {text, 0};
  }

  // What Windows gives for one byte that is not a lead byte.
  std::u16string ExpectedSingle(std::uint8_t b) {
    Outcome r = Decode(std::string(1, static_cast<char>(b)));
    if (r.text) return *r.text;
    auto it = kWindowsOnly.find(b);
    return it == kWindowsOnly.end() ? u"<iconv rejects, no Windows value>"
                                    : std::u16string(1, it->second);
  }

 private:
  iconv_t cd_;
};

class Cp932AgainstIconv : public ::testing::Test {
 protected:
  void SetUp() override {
    // The reference of every case below: a glibc without it (no gconv
    // modules) is a broken test machine, not a pass.
    ASSERT_TRUE(iconv_.ok()) << "glibc has no CP932 converter (gconv modules missing)";
  }
  Iconv iconv_;
};

TEST_F(Cp932AgainstIconv, EverySingleByte) {
  for (int b = 0; b < 256; ++b) {
    const std::string bytes(1, static_cast<char>(b));
    const Iconv::Outcome r = iconv_.Decode(bytes);
    // glibc calls a lone byte incomplete exactly when it starts a pair.
    EXPECT_EQ(IsCp932LeadByte(static_cast<std::uint8_t>(b)), r.error == EINVAL) << Hex(bytes);
    const std::u16string expected = IsCp932LeadByte(static_cast<std::uint8_t>(b))
                                        ? std::u16string(1, kCp932DefaultChar)
                                        : iconv_.ExpectedSingle(static_cast<std::uint8_t>(b));
    EXPECT_EQ(Hex(DecodeCp932(bytes)), Hex(expected)) << Hex(bytes);
  }
}

TEST_F(Cp932AgainstIconv, EveryLeadWithEverySecondByte) {
  for (int lead = 0; lead < 256; ++lead) {
    if (!IsCp932LeadByte(static_cast<std::uint8_t>(lead))) continue;
    for (int second = 0; second < 256; ++second) {
      const std::string bytes{static_cast<char>(lead), static_cast<char>(second)};
      std::u16string expected(1, kCp932DefaultChar);
      if (InTrailRange(second)) {
        const Iconv::Outcome r = iconv_.Decode(bytes);
        if (r.text) expected = *r.text;
      } else {
        expected += iconv_.ExpectedSingle(static_cast<std::uint8_t>(second));
      }
      ASSERT_EQ(Hex(DecodeCp932(bytes)), Hex(expected)) << Hex(bytes);
    }
  }
}

// A long run of valid characters decodes as glibc decodes it in one call.
TEST_F(Cp932AgainstIconv, RandomValidTextInOneCall) {
  std::vector<std::string> valid;
  for (int b = 0; b < 256; ++b) {
    if (!IsCp932LeadByte(static_cast<std::uint8_t>(b)) &&
        !kWindowsOnly.count(static_cast<std::uint8_t>(b))) {
      valid.emplace_back(1, static_cast<char>(b));
    }
  }
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
      if (IsCp932LeadByte(static_cast<std::uint8_t>(lead)) && iconv_.Decode(pair).text) {
        valid.push_back(pair);
      }
    }
  }
  std::mt19937 rng(932);
  std::uniform_int_distribution<std::size_t> pick(0, valid.size() - 1);
  for (int round = 0; round < 20; ++round) {
    std::string text;
    while (text.size() < 20000) text += valid[pick(rng)];
    const Iconv::Outcome r = iconv_.Decode(text);
    ASSERT_TRUE(r.text.has_value()) << "round " << round;
    ASSERT_EQ(DecodeCp932(text), *r.text) << "round " << round;
  }
}

#endif

struct Example {
  std::string bytes;
  std::u16string expected;
};

class Cp932Example : public ::testing::TestWithParam<Example> {};

TEST_P(Cp932Example, DecodesAsWindows) {
  EXPECT_EQ(Hex(DecodeCp932(GetParam().bytes)), Hex(GetParam().expected)) << Hex(GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, Cp932Example,
    ::testing::Values(Example{"\x5C", u"\u005C"}, Example{"\x7E", u"\u007E"},
                      Example{"\x81\x5F", u"\uFF3C"}, Example{"\x81\x60", u"\uFF5E"},
                      Example{"\x81\x61", u"\u2225"}, Example{"\x81\x7C", u"\uFF0D"},
                      Example{"\x81\x91", u"\uFFE0"}, Example{"\x81\x92", u"\uFFE1"},
                      Example{"\x81\xCA", u"\uFFE2"}, Example{"\x87\x40", u"\u2460"},
                      Example{"\xED\x40", u"\u7E8A"}, Example{"\xFA\x40", u"\u2170"},
                      Example{"\xF0\x40", u"\uE000"}, Example{"\xF9\xFC", u"\uE757"},
                      Example{"\xA1", u"\uFF61"}, Example{"\xDF", u"\uFF9F"},
                      Example{"\x80\xA0\xFD\xFE\xFF", u"\u0080\uF8F0\uF8F1\uF8F2\uF8F3"},
                      Example{"\x82\xA0\x82\xA2", u"\u3042\u3044"},
                      Example{std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
                      // Undefined pair: one default character for both bytes.
                      Example{"\x85\x40"
                              "A",
                              u"\u30FB"
                              "A"},
                      // Stray lead bytes keep the line end and the byte after.
                      Example{"\x81\r\n", u"\u30FB\r\n"}, Example{"\x81\x7F", u"\u30FB\u007F"},
                      Example{"\x81", u"\u30FB"}, Example{"A\x9F", u"A\u30FB"},
                      // A lead byte is also a trail byte.
                      Example{"\x81\x81\x40", u"\uFF1D@"}, Example{"", u""}));

// Every unit code page 932 holds comes back from DecodeCp932; the others are
// refused rather than written as some other character.
TEST(Cp932Encode, EveryUnitDecodesBack) {
  std::size_t held = 0;
  for (std::uint32_t c = 0; c <= 0xFFFF; ++c) {
    std::string bytes;
    if (!AppendCp932(static_cast<char16_t>(c), bytes)) {
      EXPECT_TRUE(bytes.empty());
      continue;
    }
    ++held;
    ASSERT_EQ(DecodeCp932(bytes), std::u16string(1, static_cast<char16_t>(c)))
        << "U+" << std::hex << c << " as " << Hex(std::string_view(bytes));
  }
  // JIS X 0208 with the NEC and IBM extensions, the ASCII and half-width
  // katakana bytes and the user-defined area: a little under eight thousand
  // distinct characters plus 1880 private-use ones.
  EXPECT_GT(held, 9000u);
  EXPECT_LT(held, 10000u);
}

TEST(Cp932Encode, PicksTheBytesWindowsPicks) {
  const std::pair<char16_t, std::string> examples[] = {
      {u'あ', "\x82\xA0"},    {u'A', "A"}, {u'ｱ', "\xB1"},
      {u'ⅰ', "\xFA\x40"},   // IBM extension over its NEC-selected copy at EEEF
      {u'∵', "\x81\xE6"},   // JIS row 2 over the NEC row 13 copy at 879A
      {u'￢', "\x81\xCA"},  // JIS row 2 over the IBM copy at FA54
      {u'\u3000', "\x81\x40"}};
  for (const auto& [ch, expected] : examples) {
    std::string bytes;
    ASSERT_TRUE(AppendCp932(ch, bytes)) << Hex(std::u16string_view(&ch, 1));
    EXPECT_EQ(Hex(std::string_view(bytes)), Hex(std::string_view(expected)))
        << Hex(std::u16string_view(&ch, 1));
  }
  for (const char16_t ch : {u'€', char16_t{0xD800}, u'\uFEFF', u'한'}) {
    std::string bytes;
    EXPECT_FALSE(AppendCp932(ch, bytes)) << Hex(std::u16string_view(&ch, 1));
  }
}

}  // namespace
}  // namespace binconv
