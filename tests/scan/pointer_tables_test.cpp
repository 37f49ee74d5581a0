// The pointer tables of a made-up file, found through reads of every small
// size; the string starts on either side of 4 GiB.

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "scan/pointer_tables.h"
#include "support/gtest_support.h"
#include "support/scan_input.h"

namespace binconv {
namespace {

// A table of `values` one every `stride` bytes from `start`, in a file of
// 0xEE, which no format here reads as a pointer to a string.
struct PlacedTable {
  std::uint64_t start = 0;
  unsigned stride = 0;
  std::vector<std::uint64_t> values;
};

struct TableCase {
  const char* name;
  std::vector<std::string_view> format;
  std::vector<PlacedTable> tables;
  std::string expected;  // "start stride count: first targets" per table found, in order
  std::size_t most_candidates = 100;
  std::uint64_t left_out = 0;
};

constexpr std::uint64_t kFileSize = 0x180;
// Four entries make a table; three targets are shown.
constexpr TableSearchOptions kOptions{4, 3, 100};
constexpr std::uint64_t kEE = 0xEEEE;

// The strings start every six bytes from 0x100.
StringStarts StartsEverySixBytes() {
  StringStarts starts;
  for (std::uint64_t at = 0x100; at < kFileSize; at += 6) starts.Add(at);
  return starts;
}

std::string Listed(const std::vector<TableCandidate>& found) {
  std::ostringstream out;
  out << std::hex;  // counts too: 0xc entries read "c"
  for (const TableCandidate& t : found) {
    out << "0x" << t.start << " " << t.stride << " " << t.count << ":";
    for (const std::uint64_t target : t.first_targets) out << " 0x" << target;
    for (const std::uint64_t skip : t.skips) out << " skip 0x" << skip;
    out << "\n";
  }
  return out.str();
}

class FindPointerTablesTest : public testing::TestWithParam<TableCase> {};

TEST_P(FindPointerTablesTest, FindsTheTablesWhereverTheChunksEnd) {
  const TableCase& c = GetParam();
  const PointerFormat format = ParsePointerFormat(c.format).value();
  std::vector<std::uint8_t> data(kFileSize, 0xEE);
  for (const PlacedTable& table : c.tables) {
    for (std::size_t i = 0; i < table.values.size(); ++i) {
      WritePointer(format.type, table.values[i], data.data() + table.start + i * table.stride);
    }
  }
  const StringStarts starts = StartsEverySixBytes();
  for (const std::size_t chunk : test::kScanChunks) {
    TableSearchOptions options = kOptions;
    options.most_candidates = c.most_candidates;
    const auto found = FindPointerTables(test::ReaderOf(data, chunk, 5), format, kFileSize,
                                         starts, chunk, options);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(c.expected, Listed(found->candidates)) << "chunk " << chunk;
    EXPECT_EQ(c.left_out, found->left_out) << "chunk " << chunk;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, FindPointerTablesTest,
    testing::Values(
        // Every other entry of it is a run at stride 4 too, which is left out.
        TableCase{"OneTable",
                  {"u16le"},
                  {{0x20, 2, {0x100, 0x106, 0x10C, 0x112, 0x118, 0x11E, 0x124, 0x12A}}},
                  "0x20 2 8: 0x100 0x106 0x10c\n"},
        TableCase{"ShorterThanMinEntries", {"u16le"}, {{0x20, 2, {0x100, 0x106, 0x10C}}}, ""},
        // Entries of one value that point at no string are a gap the run
        // goes on over, no longer than the entries since the last gap.
        TableCase{"GapsOfOneValue",
                  {"u16le"},
                  {{0x20, 2, {0x100, 0x106, 0x10C, 0x112, kEE, kEE, 0x118, 0x11E, 0, 0x124, 0x12A, 0x130}}},
                  "0x20 2 c: 0x100 0x106 0x10c skip 0x0 skip 0xeeee\n"},
        TableCase{"GapOfTwoValues",
                  {"u16le"},
                  {{0x20, 2, {0x100, 0x106, 0x10C, 0x112, kEE, 0, 0x118, 0x11E, 0x124, 0x12A, 0x130}}},
                  "0x2c 2 5: 0x118 0x11e 0x124\n0x20 2 4: 0x100 0x106 0x10c\n"},
        TableCase{"GapLongerThanTheRunBefore",
                  {"u16le"},
                  {{0x20, 2, {0x100, 0x106, 0, 0, 0, 0x112, 0x118, 0x11E, 0x124}}},
                  "0x2a 2 4: 0x112 0x118 0x11e\n"},
        // The first string starts right after the table, where the strings
        // found run into it from the table; any other byte is no string.
        TableCase{"StringRightAfterTheTable",
                  {"u16le"},
                  {{0x20, 2, {0x2A, 0x100, 0x106, 0x10C, 0x112}}},
                  "0x20 2 5: 0x2a 0x100 0x106\n"},
        TableCase{"NoStringBeforeTheTableEnds",
                  {"u16le"},
                  {{0x20, 2, {0x28, 0x100, 0x106, 0x10C, 0x112}}},
                  "0x22 2 4: 0x100 0x106 0x10c\n"},
        // Every entry leads to one string: no table.
        TableCase{"AllToOneString", {"u16le"}, {{0x20, 2, {0x100, 0x100, 0x100, 0x100, 0x100}}}, ""},
        // The stride-2 run breaks at an odd entry too soon for a gap, so the
        // even entries are a run of their own.
        TableCase{"StrideFourAcrossABreak",
                  {"u16le"},
                  {{0x20, 2, {0x100, kEE, 0x10C, 0x112, 0x118, 0x11E, 0x124, 0x12A, 0x130}}},
                  "0x24 2 7: 0x10c 0x112 0x118\n0x20 4 5: 0x100 0x10c 0x118\n"},
        // A middle entry leads to the byte right after the table, where the
        // strings found run into the first one: an entry, not a gap, whether
        // the run went on over it or began again after it.
        TableCase{"MiddleEntryToTheEnd",
                  {"u16le"},
                  {{0x20, 2, {0x100, 0x106, 0x2C, 0x10C, 0x112, 0x118}}},
                  "0x20 2 6: 0x100 0x106 0x2c\n"},
        TableCase{"SecondEntryToTheEnd",
                  {"u16le"},
                  {{0x20, 2, {0x100, 0x2C, 0x106, 0x10C, 0x112, 0x118}}},
                  "0x20 2 6: 0x100 0x2c 0x106\n"},
        // An entry leading further on, but not to the end, cuts the table.
        TableCase{"AheadButNotTheEnd",
                  {"u16le"},
                  {{0x20, 2, {0x100, 0x106, 0x10C, 0x112, kEE, 0x150, 0x118, 0x11E, 0x124, 0x12A, 0x130}}},
                  "0x2c 2 5: 0x118 0x11e 0x124\n0x20 2 4: 0x100 0x106 0x10c\n"},
        // Every fourth or eighth entry of a table is a run too, left out.
        TableCase{"WideStridesOverStrideTwo",
                  {"u16le"},
                  {{0x20, 2, {0x100, 0x106, 0x10C, 0x112, 0x118, 0x11E, 0x124, 0x12A,
                              0x130, 0x136, 0x13C, 0x142, 0x148, 0x14E, 0x154, 0x15A}}},
                  "0x20 2 10: 0x100 0x106 0x10c\n"},
        TableCase{"StrideEightOverStrideFour",
                  {"u32le"},
                  {{0x20, 4, {0x100, 0x106, 0x10C, 0x112, 0x118, 0x11E, 0x124, 0x12A}}},
                  "0x20 4 8: 0x100 0x106 0x10c\n"},
        // A pointer and another value in each entry.
        TableCase{"StrideEight",
                  {"u32le"},
                  {{0x20, 8, {0x100, 0x106, 0x10C, 0x112, 0x118}}},
                  "0x20 8 5: 0x100 0x106 0x10c\n"},
        // Only the best two are kept, the one of fewest entries counted.
        TableCase{"KeepsTheBest",
                  {"u16le"},
                  {{0x10, 2, {0x100, 0x106, 0x10C, 0x112}},
                   {0x40, 2, {0x100, 0x106, 0x10C, 0x112, 0x118, 0x11E}},
                   {0x70, 2, {0x100, 0x106, 0x10C, 0x112, 0x118}}},
                  "0x40 2 6: 0x100 0x106 0x10c\n0x70 2 5: 0x100 0x106 0x10c\n",
                  2,
                  1},
        TableCase{"StrideThree",
                  {"u16be"},
                  {{0x30, 3, {0x100, 0x106, 0x10C, 0x112, 0x118}}},
                  "0x30 3 5: 0x100 0x106 0x10c\n"},
        TableCase{"StrideFourOnlyForFourBytes",
                  {"u32le"},
                  {{0x40, 4, {0x100, 0x106, 0x10C, 0x112, 0x118}}},
                  "0x40 4 5: 0x100 0x106 0x10c\n"},
        TableCase{"BaseAndHeader",
                  {"u16be", "header=0x10", "base=0x8000"},
                  {{0x20, 2, {0x80F0, 0x80F6, 0x80FC, 0x8102, 0x8108}}},
                  "0x20 2 5: 0x100 0x106 0x10c\n"},
        TableCase{"RelativeToItself",
                  {"u16le", "relative=self"},
                  {{0x20, 2, {0xE0, 0xE4, 0xE8, 0xEC, 0xF0}}},
                  "0x20 2 5: 0x100 0x106 0x10c\n"},
        // The same values from another table's start point elsewhere.
        TableCase{"RelativeToTheTable",
                  {"u16le", "relative=table"},
                  {{0x20, 2, {0xE0, 0xE6, 0xEC, 0xF2, 0xF8}}, {0x50, 2, {0xB0, 0xB6, 0xBC, 0xC2}}},
                  "0x20 2 5: 0x100 0x106 0x10c\n0x50 2 4: 0x100 0x106 0x10c\n"}),
    test::CaseName<TableCase>);

TEST(StringStartsTest, FindsOffsetsOnEitherSideOfEvery4GiB) {
  const std::vector<std::uint64_t> offsets = {5, 0xFFFFFFFF, 0x100000003, 0x300000000, 0x3FFFFFFFF};
  StringStarts starts;
  for (const std::uint64_t o : offsets) starts.Add(o);
  std::vector<std::uint64_t> listed;
  starts.ForEach([&](std::uint64_t o) { listed.push_back(o); });
  EXPECT_EQ(offsets, listed);
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    EXPECT_EQ(std::optional<std::size_t>(i), starts.Find(offsets[i])) << offsets[i];
    EXPECT_EQ(std::nullopt, starts.Find(offsets[i] + 1)) << offsets[i];
  }
  EXPECT_EQ(std::nullopt, starts.Find(0x200000000 + 5));
  EXPECT_EQ(std::nullopt, starts.Find(0x500000000));
}

// The finder's bits of string starts answer as the list they come from,
// around every block and group edge and at the file's end.
TEST(StringStartsTest, BitsAnswerAsTheList) {
  for (const std::uint64_t size : {std::uint64_t{1}, std::uint64_t{64}, std::uint64_t{4097}, std::uint64_t{20000}}) {
    std::mt19937 random(static_cast<unsigned>(size));
    StringStarts starts;
    for (std::uint64_t at = 0; at < size + 70; at += 1 + random() % 90) starts.Add(at);
    const detail::StartBits bits(starts, size);
    for (std::uint64_t at = 0; at < size + 70; ++at) {
      EXPECT_EQ(at < size && starts.Find(at).has_value(), bits.Has(at)) << size << " " << at;
    }
  }
}

// Each 16-bit value's target and hit, from the table, as the plain rule and
// the list give them; other formats have no table.
TEST(StringStartsTest, ValueTargetsAnswerAsThePlainRule) {
  const StringStarts starts = StartsEverySixBytes();
  const detail::StartBits bits(starts, kFileSize);
  for (const auto& words : {std::vector<std::string_view>{"u16le"},
                           std::vector<std::string_view>{"u16be", "header=0x10", "base=0x8000"},
                           std::vector<std::string_view>{"u16le", "map=lorom", "base=0x8000"}}) {
    const PointerFormat format = ParsePointerFormat(words).value();
    const detail::ValueTargets values(format, bits);
    ASSERT_FALSE(values.empty());
    for (std::uint64_t value = 0; value <= 0xFFFF; ++value) {
      const auto target = TargetOfValue(format, value, PointerSite{});
      EXPECT_EQ(target ? target.value() : detail::ValueTargets::kNoTarget, values.TargetOf(value)) << value;
      EXPECT_EQ(target && target.value() < kFileSize && starts.Find(target.value()), values.Hits(value))
          << value;
    }
  }
  for (const auto& words : {std::vector<std::string_view>{"u32le"},
                           std::vector<std::string_view>{"u16le", "relative=self"}}) {
    EXPECT_TRUE(detail::ValueTargets(ParsePointerFormat(words).value(), bits).empty());
  }
}

}  // namespace
}  // namespace binconv
