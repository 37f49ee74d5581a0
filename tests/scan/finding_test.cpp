// The scanners that find a game's script, fed through reads of every small
// size so that chunk borders fall everywhere, against plain scans of the
// whole input.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <tuple>

#include "scan/byte_scan.h"
#include "scan/pointer_tables.h"
#include "scan/relative_search.h"
#include "scan/string_runs.h"
#include "support/bytes.h"

namespace binconv {
namespace {

using test::RandomByteVector;

// Reads of at most `most` bytes, shorter at random, as a pipe gives them.
ReadInput ReaderOf(const std::vector<std::uint8_t>& data, std::size_t most, unsigned seed) {
  auto at = std::make_shared<std::size_t>(0);
  auto rng = std::make_shared<std::mt19937>(seed);
  return [&data, most, at, rng](std::span<std::uint8_t> buffer) -> Result<std::size_t, IoError> {
    std::size_t n = std::min({most, buffer.size(), data.size() - *at});
    if (n > 1) n = std::uniform_int_distribution<std::size_t>(1, n)(*rng);
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(*at), n, buffer.begin());
    *at += n;
    return n;
  };
}

constexpr std::size_t kChunks[] = {1, 2, 3, 5, 8, 64, kScanChunkSize};

// Bytes from a few values, lead bytes among them, so that matches are common.
std::vector<std::uint8_t> Noise(std::size_t size, unsigned seed) {
  std::vector<std::uint8_t> data = RandomByteVector(size, seed);
  for (std::uint8_t& b : data) b = static_cast<std::uint8_t>(0x1E + b % 8);
  return data;
}

TEST(SearchBytesTest, FindsWhatAPlainScanFindsWhereverTheChunksEnd) {
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
    for (const std::size_t chunk : kChunks) {
      std::vector<std::tuple<std::uint64_t, std::size_t, bool>> got;
      const auto scanned =
          SearchBytes(ReaderOf(data, chunk, seed), patterns, chunk, [&](const ByteMatch& m) {
            got.emplace_back(m.offset, m.pattern, m.after_lead);
            return true;
          });
      ASSERT_TRUE(scanned.has_value());
      EXPECT_EQ(expected, got) << "seed " << seed << ", chunk " << chunk;
    }
  }
}

// About a quarter of the cells of every page (or of page 0 only) hold a
// character; a few are repeats, which decode never shows, and one is a lone
// surrogate.
CharTable SparseTable(int pages = kPages) {
  CharTable table;
  std::mt19937 rng(7);
  for (int page = 0; page < pages; ++page) {
    for (int cell = 0; cell < kRows * kColumns; ++cell) {
      if (rng() % 4 != 0) continue;
      const char16_t ch =
          rng() % 16 == 0 ? u'\u4E00' : static_cast<char16_t>(0x4E01 + rng() % 5000);
      table.SetCell(page, cell / kColumns, cell % kColumns, std::u16string(1, ch));
    }
  }
  table.SetCell(0, 0, 5, u"\xD800");
  return table;
}

// The unit of `byte` in `page`, after the page's lead byte unless page 0.
GameUnit UnitOf(int page, std::uint8_t byte) {
  std::vector<std::uint8_t> bytes;
  if (page != 0) bytes.push_back(kLeadBytes[page]);
  bytes.push_back(byte);
  return ReadUnit(bytes);
}

TEST(StringRunsTest, ByteClassesFollowThePlainRule) {
  const CharTable table = SparseTable();
  const ProducibleCells cells(table);
  const detail::ByteClasses classes = detail::DeriveByteClasses(cells, 0x00);
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<std::uint8_t>(b);
    const auto expected = b == 0                                    ? detail::ByteClass::kEnd
                          : PageOfLeadByte(byte) != 0               ? detail::ByteClass::kLead
                          : IsCharacterUnit(cells, UnitOf(0, byte)) ? detail::ByteClass::kCharacter
                                                                    : detail::ByteClass::kNone;
    EXPECT_EQ(expected, classes.first[b]) << b;
    for (int page = 1; page < kPages; ++page) {
      EXPECT_EQ(IsCharacterUnit(cells, UnitOf(page, byte)), classes.trail[page][b])
          << page << " " << b;
    }
  }
  EXPECT_TRUE(IsCharacterUnit(cells, UnitOf(0, kLineBreakByte)));
  EXPECT_TRUE(IsCharacterUnit(cells, UnitOf(0, kSpaceByte)));
  EXPECT_FALSE(IsCharacterUnit(cells, UnitOf(0, 0x05)));  // the lone surrogate
}

// The runs as a walk over decode's units with the plain rule gives them.
std::string PlainRuns(const std::vector<std::uint8_t>& data, const CharTable& table,
                      const StringRunOptions& options) {
  const ProducibleCells cells(table);
  std::ostringstream out;
  std::size_t start = 0;
  std::size_t chars = 0;
  auto close = [&](std::size_t end, bool with_end) {
    if (chars >= options.min_chars && (with_end || !options.end)) {
      const std::size_t text_end = std::min(with_end ? end - 1 : end, start + options.keep_bytes);
      out << start << "+" << end - start << "/" << chars << ":"
          << test::Hex(std::vector<std::uint8_t>(data.begin() + start, data.begin() + text_end))
          << (text_end < (with_end ? end - 1 : end) ? "cut" : "") << "\n";
    }
    chars = 0;
  };
  for (std::size_t p = 0; p < data.size();) {
    const int page = PageOfLeadByte(data[p]);
    if (chars == 0) start = p;
    if (options.end && data[p] == *options.end) {
      close(p + 1, true);
      ++p;
    } else if (page != 0) {
      if (p + 1 < data.size() && IsCharacterUnit(cells, UnitOf(page, data[p + 1]))) {
        ++chars;
      } else {
        close(p, false);
      }
      p += 2;
    } else if (IsCharacterUnit(cells, UnitOf(0, data[p]))) {
      ++chars;
      ++p;
    } else {
      close(p, false);
      ++p;
    }
  }
  close(data.size(), false);
  return out.str();
}

TEST(StringRunsTest, RunsAreThoseOfDecodesUnitsWhereverTheChunksEnd) {
  const StringRunOptions shapes[] = {
      {4, std::nullopt, 1 << 20}, {1, std::nullopt, 3}, {2, 0x00, 1 << 20}, {3, 0x24, 4}};
  // With page 0 only, no lead byte can begin a character: blocks are skipped
  // over them.
  for (unsigned seed = 1; seed <= 8; ++seed) {
    const CharTable table = SparseTable(seed <= 4 ? kPages : 1);
    std::vector<std::uint8_t> data = RandomByteVector(3000, seed);
    // Stretches of characters only, lead bytes and line breaks among them.
    for (std::size_t i = 0; i < data.size(); ++i) {
      if ((i / 97) % 3 == 0)
        data[i] = static_cast<std::uint8_t>(i % 5 == 0 ? 0x24 : data[i] | 0x20);
    }
    for (const StringRunOptions& options : shapes) {
      const std::string expected = PlainRuns(data, table, options);
      for (const std::size_t chunk : kChunks) {
        std::ostringstream got;
        StringRunFinder finder(table, options);
        auto found = [&](const StringRun& run) {
          got << run.offset << "+" << run.length << "/" << run.chars << ":"
              << test::Hex(std::vector<std::uint8_t>(run.bytes.begin(), run.bytes.end()))
              << (run.cut ? "cut" : "") << "\n";
        };
        for (std::size_t at = 0; at < data.size(); at += chunk) {
          finder.Feed(std::span(data).subspan(at, std::min(chunk, data.size() - at)), found);
        }
        finder.Finish(found);
        EXPECT_EQ(expected, got.str()) << "seed " << seed << ", chunk " << chunk;
      }
    }
  }
}

PointerFormat FormatOf(std::initializer_list<std::string_view> words) {
  auto format = ParsePointerFormat(std::vector<std::string_view>(words));
  EXPECT_TRUE(format.has_value());
  return format.has_value() ? format.value() : PointerFormat{};
}

TEST(SearchPointersTest, FindsWhatReadingEveryOffsetFinds) {
  const PointerFormat formats[] = {FormatOf({"u16le"}),
                                   FormatOf({"u16be", "base=0x8000"}),
                                   FormatOf({"u24le", "relative=self"}),
                                   FormatOf({"u32be", "header=0x10", "base=0x80000000"}),
                                   FormatOf({"u16le", "relative=self"}),
                                   FormatOf({"u24be", "map=lorom"})};
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
    for (const std::size_t chunk : kChunks) {
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

TEST(SearchRelativeTest, FindsAWordInEitherOrderWhereverTheChunksEnd) {
  std::vector<std::uint8_t> data = RandomByteVector(1200, 9);
  const std::u16string word = u"ゆうしゃ";  // ゃ lies outside the gojuon order
  const auto jis = RelativeWordOf(word, KanaOrder::kJis);
  const auto gojuon = RelativeWordOf(word, KanaOrder::kGojuon);
  ASSERT_TRUE(jis.has_value() && gojuon.has_value());
  for (std::size_t i = 0; i < word.size(); ++i) {
    data[500 + i] = static_cast<std::uint8_t>(0x35 - 1 + *KanaIndex(KanaOrder::kJis, word[i]));
    if (auto g = KanaIndex(KanaOrder::kGojuon, word[i]))
      data[1000 + i] = static_cast<std::uint8_t>(0x80 + *g);
  }
  const std::vector<RelativeWord> words = {jis.value(), gojuon.value()};
  for (const std::size_t chunk : kChunks) {
    std::vector<std::tuple<std::uint64_t, std::size_t, int>> got;
    const auto scanned =
        SearchRelative(ReaderOf(data, chunk, 1), words, chunk, [&](const RelativeMatch& m) {
          got.emplace_back(m.offset, m.word, m.code_of_a);
          return true;
        });
    ASSERT_TRUE(scanned.has_value());
    const std::vector<std::tuple<std::uint64_t, std::size_t, int>> expected = {{500, 0, 0x35},
                                                                               {1000, 1, 0x80}};
    EXPECT_EQ(expected, got) << "chunk " << chunk;
  }
  EXPECT_FALSE(RelativeWordOf(u"ああー", KanaOrder::kJis).has_value());
}

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

}  // namespace
}  // namespace binconv
