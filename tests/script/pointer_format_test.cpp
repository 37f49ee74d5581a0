#include "script/pointer_format.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace binconv {
namespace {

std::vector<std::string_view> Words(const std::string& text, std::vector<std::string>& store) {
  std::istringstream in(text);
  for (std::string word; in >> word;) store.push_back(word);
  return {store.begin(), store.end()};
}

PointerFormat Format(const std::string& text) {
  std::vector<std::string> store;
  const auto words = Words(text, store);
  auto format = ParsePointerFormat(words);
  EXPECT_TRUE(format.has_value()) << text;
  return format.has_value() ? format.value() : PointerFormat{};
}

// A target offset, where its pointer stands, and the value it must get (or
// the error, as a negative code).
struct MapCase {
  const char* format;
  std::uint64_t target;
  std::uint64_t site;
  std::int64_t value;  // < 0: -1 - the error code
};

constexpr std::int64_t Err(PointerMapErrorCode code) {
  return -1 - static_cast<std::int64_t>(code);
}

class PointerMapTest : public testing::TestWithParam<MapCase> {};

TEST_P(PointerMapTest, ValueOfTargetAndBack) {
  const MapCase& c = GetParam();
  const PointerFormat format = Format(c.format);
  const PointerSite site{c.site, c.site};
  const auto value = ValueOfTarget(format, c.target, site);
  if (c.value < 0) {
    ASSERT_FALSE(value.has_value()) << c.format << " 0x" << std::hex << value.value();
    EXPECT_EQ(Err(value.error()), c.value) << c.format;
    return;
  }
  ASSERT_TRUE(value.has_value()) << c.format << " error " << static_cast<int>(value.error());
  EXPECT_EQ(value.value(), static_cast<std::uint64_t>(c.value)) << c.format;
  const auto back = TargetOfValue(format, value.value(), site);
  ASSERT_TRUE(back.has_value()) << c.format;
  EXPECT_EQ(back.value(), c.target) << c.format;
}

INSTANTIATE_TEST_SUITE_P(
    Maps, PointerMapTest,
    testing::Values(MapCase{"u16le header=0x10 base=0x8000", 0x2010, 0, 0xA000},
                    MapCase{"u16le header=0x10 base=0x8000", 0x7FFF + 0x10, 0, 0xFFFF},
                    MapCase{"u16le header=0x10 base=0x8000", 0x8000 + 0x10, 0,
                            Err(PointerMapErrorCode::kDoesNotFit)},
                    MapCase{"u16le header=0x10", 0x0F, 0, Err(PointerMapErrorCode::kBelowHeader)},
                    MapCase{"u32le base=0x08000000", 0x123456, 0, 0x08123456},
                    MapCase{"u24be map=lorom", 0x7FFF, 0, 0xFFFF},
                    MapCase{"u24be map=lorom", 0x8000, 0, 0x018000},
                    MapCase{"u24be map=lorom base=0x800000", 0x1234, 0, 0x809234},
                    MapCase{"u24le map=hirom", 0x3FFFFF, 0, 0xFFFFFF},
                    MapCase{"u24le map=hirom", 0x400000, 0,
                            Err(PointerMapErrorCode::kNotMappedBack)},
                    MapCase{"u32le map=hirom", 0x1000000, 0, 0x1C00000},
                    MapCase{"u16be relative=self", 0x10100, 0x10000, 0x100},
                    MapCase{"u16be relative=self", 0xFF00, 0x10000, 0xFF00},
                    MapCase{"u16be relative=self", 0x10000 + 0x7FFF, 0x10000, 0x7FFF},
                    MapCase{"u16be relative=self", 0x10000 + 0x8000, 0x10000,
                            Err(PointerMapErrorCode::kDoesNotFit)},
                    MapCase{"u16be relative=self", 0x10000 - 0x8000, 0x10000, 0x8000},
                    MapCase{"u16be relative=self", 0x10000 - 0x8001, 0x10000,
                            Err(PointerMapErrorCode::kDoesNotFit)},
                    MapCase{"u32be relative=table", 0, 0x20, 0xFFFFFFE0},
                    MapCase{"u32le", 0xFFFFFFFF, 0, 0xFFFFFFFF},
                    MapCase{"u32le", 0x100000000, 0, Err(PointerMapErrorCode::kDoesNotFit)},
                    MapCase{"u32le base=1", 0xFFFFFFFF, 0, Err(PointerMapErrorCode::kDoesNotFit)},
                    MapCase{"u32le", UINT64_MAX, 0, Err(PointerMapErrorCode::kDoesNotFit)},
                    // A Game Boy bank: values 4000..7FFF reach 34000..37FFF only.
                    MapCase{"u16le header=0x34000 base=0x4000 window=0x4000..0x7FFF", 0x37FFF, 0,
                            0x7FFF},
                    MapCase{"u16le header=0x34000 base=0x4000 window=0x4000..0x7FFF", 0x38000, 0,
                            Err(PointerMapErrorCode::kOutsideWindow)}));

// Every value a format reads as a target gives that value back, and no other
// value of the type reads as the same target: a map never wraps, even with a
// header or a pointer near 2^64.
TEST(PointerMapTest, EveryValueMapsBackExactly) {
  std::mt19937_64 random(7);
  for (const char* text : {"u16le header=0x10 base=0x8000", "u24be map=lorom base=0x800000",
                           "u24le map=hirom", "u32be map=lorom", "u16le relative=self",
                           "u24be relative=table", "u32le base=0x08000000",
                           "u16le header=0xFFFFFFFFFFFFFF00", "u32be header=0xFFFFFFFFFFFF0000"}) {
    const PointerFormat format = Format(text);
    const std::uint64_t mask = (std::uint64_t{1} << (8 * WidthOf(format.type))) - 1;
    for (int i = 0; i < 20000; ++i) {
      const std::uint64_t value = random() & mask;
      // A pointer near the last offset too, where a sum would wrap.
      const std::uint64_t near = i % 4 == 0 ? UINT64_MAX - 0x10000 : 0;
      const std::uint64_t span = near != 0 ? 0x10000 : 0x200000;
      const PointerSite site{near + random() % span, near + random() % span};
      const auto target = TargetOfValue(format, value, site);
      if (!target.has_value()) continue;
      const auto again = ValueOfTarget(format, target.value(), site);
      ASSERT_TRUE(again.has_value()) << text << " value 0x" << std::hex << value;
      ASSERT_EQ(again.value(), value) << text;
    }
  }
}

// Bank boundaries lie every bank past the header: a text may end at one but
// not run over it; lorom and hirom have their own, bank= any map's.
TEST(PointerBankTest, CrossesOnlyOverABoundary) {
  struct Case {
    const char* format;
    std::uint64_t at;
    std::uint64_t size;
    bool crosses;
    std::uint64_t next;  // NextBankStart(at)
  };
  for (const Case& c : {Case{"u24le map=lorom", 0x7FF8, 8, false, 0x8000},
                        Case{"u24le map=lorom", 0x7FF8, 13, true, 0x8000},
                        Case{"u24le map=hirom", 0x8000, 0x8000, false, 0x10000},
                        Case{"u24le map=hirom", 0xFFFF, 2, true, 0x10000},
                        Case{"u16le header=0x200 bank=0x4000", 0x41FE, 2, false, 0x4200},
                        Case{"u16le header=0x200 bank=0x4000", 0x41FE, 3, true, 0x4200}}) {
    const PointerFormat format = Format(c.format);
    EXPECT_EQ(CrossesBank(format, c.at, c.size), c.crosses) << c.format << " " << c.at;
    EXPECT_EQ(NextBankStart(format, c.at), c.next) << c.format << " " << c.at;
  }
  EXPECT_FALSE(CrossesBank(Format("u32le"), 0xFFFF, 0x10000));
}

struct BytesCase {
  PointerType type;
  std::uint64_t value;
  std::vector<std::uint8_t> bytes;
};

class PointerBytesTest : public testing::TestWithParam<BytesCase> {};

TEST_P(PointerBytesTest, ReadAndWrite) {
  const BytesCase& c = GetParam();
  std::vector<std::uint8_t> out(c.bytes.size(), 0xEE);
  WritePointer(c.type, c.value, out.data());
  EXPECT_EQ(out, c.bytes);
  EXPECT_EQ(ReadPointer(c.type, c.bytes.data()), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Endianness, PointerBytesTest,
    testing::Values(BytesCase{PointerType::kU16le, 0x1234, {0x34, 0x12}},
                    BytesCase{PointerType::kU16be, 0x1234, {0x12, 0x34}},
                    BytesCase{PointerType::kU24le, 0x123456, {0x56, 0x34, 0x12}},
                    BytesCase{PointerType::kU24be, 0x123456, {0x12, 0x34, 0x56}},
                    BytesCase{PointerType::kU32le, 0x12345678, {0x78, 0x56, 0x34, 0x12}},
                    BytesCase{PointerType::kU32be, 0x12345678, {0x12, 0x34, 0x56, 0x78}}));

struct WordsCase {
  const char* words;
  ProblemDetail detail;
  std::size_t word;  // 1-based; 0: none is at fault
};

class FormatWordsTest : public testing::TestWithParam<WordsCase> {};

TEST_P(FormatWordsTest, NamesTheWord) {
  std::vector<std::string> store;
  const auto words = Words(GetParam().words, store);
  const auto format = ParsePointerFormat(words);
  ASSERT_FALSE(format.has_value()) << GetParam().words;
  EXPECT_EQ(format.error().detail, GetParam().detail) << GetParam().words;
  EXPECT_EQ(format.error().number, GetParam().word) << GetParam().words;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, FormatWordsTest,
    testing::Values(WordsCase{"", ProblemDetail::kFormatNoType, 0},
                    WordsCase{"u8", ProblemDetail::kFormatUnknownType, 1},
                    WordsCase{"u16le base", ProblemDetail::kFormatUnknownWord, 2},
                    WordsCase{"u16le page=1", ProblemDetail::kFormatUnknownWord, 2},
                    WordsCase{"u16le bank=0", ProblemDetail::kFormatBadRange, 2},
                    WordsCase{"u16le window=0x4000", ProblemDetail::kFormatBadRange, 2},
                    WordsCase{"u16le window=0x8000..0x4000", ProblemDetail::kFormatBadRange, 2},
                    WordsCase{"u16le window=1..2 window=1..2", ProblemDetail::kFormatRepeated, 3},
                    WordsCase{"u16le header=0x", ProblemDetail::kFormatBadNumber, 2},
                    WordsCase{"u16le map=exhirom", ProblemDetail::kFormatBadValue, 2},
                    WordsCase{"u16le relative=file", ProblemDetail::kFormatBadValue, 2},
                    WordsCase{"u16le base=1 base=2", ProblemDetail::kFormatRepeated, 3},
                    WordsCase{"u16le base=1 relative=self", ProblemDetail::kFormatRelativeWith,
                              3}));

// The words after --format stop at the first argument that is no format
// word, so that GAME's name may hold "="; runs of spaces give no empty word.
TEST(FormatWordsOfTest, TakesOnlyFormatWords) {
  struct Case {
    const char* given;
    std::vector<std::string> more;
    std::vector<std::string> words;
    std::size_t taken;
  };
  const std::vector<Case> cases = {
      {"u16le", {"base=0x8000", "map=lorom", "game.bin", "0x10"},
       {"u16le", "base=0x8000", "map=lorom"}, 2},
      {" u16le  base=1 ", {"a=b.bin", "base=2"}, {"u16le", "base=1"}, 0},
      {"u24be", {}, {"u24be"}, 0},
      {"", {"relative=self", "page=1"}, {"relative=self"}, 1},
  };
  for (const Case& c : cases) {
    const GivenFormatWords given = FormatWordsOf(c.given, c.more);
    EXPECT_EQ(given.words, c.words) << c.given;
    EXPECT_EQ(given.taken, c.taken) << c.given;
  }
  EXPECT_EQ(FormatWordsOf(" u16le  base=1 ", std::vector<std::string>{"map=hirom"}).text(),
            "u16le base=1 map=hirom");
}

}  // namespace
}  // namespace binconv
