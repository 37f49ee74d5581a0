// The byte and pointer searches, fed through reads of every small size so
// that chunk borders fall everywhere, against plain scans of the whole input.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "chartable/encoding.h"
#include "scan/byte_scan.h"
#include "support/scan_input.h"

namespace binconv {
namespace {

using test::FormatOf;
using test::kScanChunks;
using test::Noise;
using test::ReaderOf;

TEST(SearchBytesTest, FindsWhatAPlainScanFindsWhereverTheChunksEnd) {
  const GameTable lead_bytes = GameTableOf(CharTable());
  for (unsigned seed = 1; seed <= 6; ++seed) {
    const std::vector<std::uint8_t> data = Noise(1500, seed);
    std::mt19937 rng(seed);
    std::vector<std::vector<std::uint8_t>> patterns;
    for (std::size_t length : {1u, 2u, 3u, 5u, 9u}) {
      const std::size_t at = rng() % (data.size() - length);
      patterns.emplace_back(data.begin() + at, data.begin() + at + length);
    }
    patterns.push_back(patterns[1]);  // the same bytes twice: both are listed
    patterns.push_back(std::vector<std::uint8_t>(2000, 0x20));  // longer than the input
    std::vector<std::tuple<std::uint64_t, std::size_t, bool>> expected;
    for (std::size_t p = 0; p < data.size(); ++p) {
      for (std::size_t i = 0; i < patterns.size(); ++i) {
        const auto& pat = patterns[i];
        if (p + pat.size() <= data.size() && std::equal(pat.begin(), pat.end(), data.begin() + p)) {
          expected.emplace_back(p, i, p > 0 && PageOfLeadByte(data[p - 1]) != 0);
        }
      }
    }
    for (const std::size_t chunk : kScanChunks) {
      std::vector<std::tuple<std::uint64_t, std::size_t, bool>> got;
      const auto scanned = SearchBytes(ReaderOf(data, chunk, seed), &lead_bytes, patterns, chunk,
                                       [&](const ByteMatch& m) {
                                         got.emplace_back(m.offset, m.pattern, m.after_lead);
                                         return true;
                                       });
      ASSERT_TRUE(scanned.has_value());
      EXPECT_EQ(expected, got) << "seed " << seed << ", chunk " << chunk;
    }
  }
}

TEST(SearchPointersTest, FindsWhatReadingEveryOffsetFinds) {
  const PointerFormat formats[] = {FormatOf({"u16le"}),
                                   FormatOf({"u16be", "base=0x8000"}),
                                   FormatOf({"u24le", "relative=self"}),
                                   FormatOf({"u32be", "header=0x10", "base=0x80000000"}),
                                   FormatOf({"u16le", "relative=self"}),
                                   FormatOf({"u24be", "map=lorom"}),
                                   // One self-relative search per type.
                                   FormatOf({"u16be", "relative=self"}),
                                   FormatOf({"u24be", "relative=self"}),
                                   FormatOf({"u32le", "relative=self"}),
                                   FormatOf({"u32be", "relative=self"})};
  for (const PointerFormat& format : formats) {
    const unsigned width = WidthOf(format.type);
    std::vector<std::uint8_t> data = Noise(2000, width);
    const std::vector<std::uint64_t> targets = {0x40, 0x123, 0x7CF};
    std::mt19937 rng(width);
    for (int n = 0; n < 40; ++n) {
      const std::uint64_t at = rng() % (data.size() - width);
      const auto value = ValueOfTarget(format, targets[n % 3], PointerSite{at, 0});
      if (value) WritePointer(format.type, value.value(), data.data() + at);
    }
    std::vector<std::tuple<std::uint64_t, std::uint64_t, std::uint64_t>> expected;
    for (std::size_t p = 0; p + width <= data.size(); ++p) {
      const std::uint64_t value = ReadPointer(format.type, data.data() + p);
      const auto target = TargetOfValue(format, value, PointerSite{p, 0});
      if (target && std::count(targets.begin(), targets.end(), target.value()) != 0) {
        expected.emplace_back(p, value, target.value());
      }
    }
    EXPECT_GE(expected.size(), 20u);
    for (const std::size_t chunk : kScanChunks) {
      std::vector<std::tuple<std::uint64_t, std::uint64_t, std::uint64_t>> got;
      const auto scanned = SearchPointers(ReaderOf(data, chunk, 3), format, targets, chunk,
                                          [&](const PointerHit& h) {
                                            got.emplace_back(h.offset, h.value, h.target);
                                            return true;
                                          });
      ASSERT_TRUE(scanned.has_value());
      EXPECT_EQ(expected, got) << "width " << width << ", chunk " << chunk;
    }
  }
}

// A target past the end is told as such, whatever the format; one inside
// only when an address format has no value for it. A pipe's end is unknown.
TEST(UnreachableTargetsTest, PastTheEndOrWithoutAValue) {
  PointerFormat address;
  address.type = PointerType::kU16le;
  address.header = 0x10;
  PointerFormat relative = address;
  relative.header = 0;
  relative.relative = PointerBase::kSelf;
  const std::vector<std::uint64_t> targets = {0x8, 0x20, 0x10000 + 0x10, 0x100};
  auto told = [&](const PointerFormat& format, std::optional<std::uint64_t> size) {
    std::string out;
    for (const UnreachableTarget& t : UnreachableTargets(format, targets, size)) {
      out += OffsetHex(t.offset) + (t.why ? "/value " : "/end ");
    }
    return out;
  };
  EXPECT_EQ(told(address, 0x100), "0x0000008/value 0x0010010/end 0x0000100/end ");
  EXPECT_EQ(told(address, std::nullopt), "0x0000008/value 0x0010010/value ");
  EXPECT_EQ(told(relative, 0x100), "0x0010010/end 0x0000100/end ");
}

}  // namespace
}  // namespace binconv
