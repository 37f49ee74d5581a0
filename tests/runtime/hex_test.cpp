#include "runtime/hex.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace binconv {
namespace {

struct NumberCase {
  const char* text;
  std::optional<std::uint64_t> value;
};

class ParseNumberTest : public testing::TestWithParam<NumberCase> {};

TEST_P(ParseNumberTest, DecimalOrHex) {
  EXPECT_EQ(ParseNumber(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseNumberTest,
    testing::Values(NumberCase{"0", 0}, NumberCase{"0123", 123}, NumberCase{"0x1f", 31},
                    NumberCase{"0X1F", 31}, NumberCase{"18446744073709551615", UINT64_MAX},
                    NumberCase{"0xFFFFFFFFFFFFFFFF", UINT64_MAX},
                    NumberCase{"18446744073709551616", std::nullopt},
                    NumberCase{"0x10000000000000000", std::nullopt}, NumberCase{"", std::nullopt},
                    NumberCase{"0x", std::nullopt}, NumberCase{"1f", std::nullopt},
                    NumberCase{"-1", std::nullopt}, NumberCase{"+1", std::nullopt},
                    NumberCase{" 1", std::nullopt}, NumberCase{"１", std::nullopt}));

struct ByteCase {
  const char* text;
  std::optional<std::uint8_t> value;
};

class ParseByteTest : public testing::TestWithParam<ByteCase> {};

TEST_P(ParseByteTest, TwoDigitsOfEitherCase) {
  EXPECT_EQ(ParseByte(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Cases, ParseByteTest,
                         testing::Values(ByteCase{"00", 0}, ByteCase{"fF", 255}, ByteCase{"0A", 10},
                                         ByteCase{"A", std::nullopt}, ByteCase{"100", std::nullopt},
                                         ByteCase{"0G", std::nullopt}, ByteCase{"", std::nullopt}));

TEST(HexTextTest, WritesUpperCase) {
  EXPECT_EQ(HexByte(0x0A), "0A");
  EXPECT_EQ(HexNumber(0), "0x0");
  EXPECT_EQ(HexNumber(UINT64_MAX), "0xFFFFFFFFFFFFFFFF");
  EXPECT_EQ(CodePointName(U'\t'), "U+0009");
  EXPECT_EQ(CodePointName(U'\U0001F600'), "U+1F600");
  // A width pads, never cuts; lower case only where asked.
  EXPECT_EQ(HexNumber(0x1F4A0, 7), "0x001F4A0");
  EXPECT_EQ(HexNumber(0x123456789, 7), "0x123456789");
  EXPECT_EQ(HexText(0xBEEF, 8, HexCase::kLower), "0000beef");
  std::u16string escaped = u"\\u";
  AppendHex(0x2028, 4, escaped);
  EXPECT_EQ(escaped, u"\\u2028");
  EXPECT_EQ(ParseDecimal("0123"), 123u);
  EXPECT_EQ(ParseDecimal("0x1F"), std::nullopt);
  EXPECT_EQ(ParseDecimal("18446744073709551616"), std::nullopt);
  for (unsigned b = 0; b < 256; ++b) {
    EXPECT_EQ(ParseByte(HexByte(static_cast<std::uint8_t>(b))), b);
    EXPECT_EQ(ParseNumber(HexNumber(b * 0x1000001ull)), b * 0x1000001ull);
  }
}

}  // namespace
}  // namespace binconv
