// The string runs, fed in chunks of every small size, against a plain walk
// over the table's units; the byte classes against the plain rule.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <utility>

#include "chartable/encoding.h"
#include "chartable/tbl.h"
#include "scan/string_runs.h"
#include "support/bytes.h"
#include "support/scan_input.h"
#include "support/script_game.h"

namespace binconv {
namespace {

using test::kScanChunks;
using test::RandomByteVector;

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

TEST(StringRunsTest, ByteClassesFollowThePlainRule) {
  const GameTable table = GameTableOf(SparseTable());
  const std::optional<detail::ByteClasses> classes = detail::DeriveByteClasses(table, 0x00);
  ASSERT_TRUE(classes);
  auto class_of = [&](std::span<const std::uint8_t> bytes) {
    const GameTableUnit unit = table.ReadUnit(bytes, true);
    if (unit.size == 1 && bytes[0] == 0x00) return detail::ByteClass::kEnd;
    return IsCharacterUnit(table, unit) ? detail::ByteClass::kCharacter : detail::ByteClass::kNone;
  };
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<std::uint8_t>(b);
    if (PageOfLeadByte(byte) == 0) {
      EXPECT_EQ(class_of(std::span(&byte, 1)), classes->first[b]) << b;
      continue;
    }
    ASSERT_EQ(detail::ByteClass::kLead, classes->first[b]) << b;
    for (int t = 0; t < 256; ++t) {
      const std::array<std::uint8_t, 2> pair{byte, static_cast<std::uint8_t>(t)};
      EXPECT_EQ(class_of(pair), classes->trail[classes->row_of[b]][t]) << b << " " << t;
    }
  }
  EXPECT_EQ(detail::ByteClass::kCharacter, classes->first[kLineBreakByte]);
  EXPECT_EQ(detail::ByteClass::kCharacter, classes->first[kSpaceByte]);
  EXPECT_EQ(detail::ByteClass::kNone, classes->first[0x05]);  // the lone surrogate
  // A byte that is a unit alone before some bytes and begins a longer one
  // before others is the plain rule's to read.
  const GameTable prefix = ParseGameTable("41=A\n4142=B\n", "t.tbl").value();
  EXPECT_FALSE(detail::DeriveByteClasses(prefix, std::nullopt));
}

// The runs `finder` reports fed `data` in pieces of `chunk` bytes, a line
// each, as the plain walks below write them.
template <class Finder>
std::string RunsFedInChunks(Finder finder, const std::vector<std::uint8_t>& data,
                            std::size_t chunk) {
  std::ostringstream got;
  auto found = [&](const StringRun& run) {
    got << run.offset << "+" << run.length << "/" << run.chars << ":"
        << test::Hex(std::vector<std::uint8_t>(run.bytes.begin(), run.bytes.end()))
        << (run.cut ? "cut" : "") << "\n";
  };
  for (std::size_t at = 0; at < data.size(); at += chunk) {
    finder.Feed(std::span(data).subspan(at, std::min(chunk, data.size() - at)), found);
  }
  finder.Finish(found);
  return got.str();
}

// A game's own table: the runs of the whole input read unit by unit with
// the table's plain reader, whatever the chunks.
std::string PlainGameRuns(const std::vector<std::uint8_t>& data, const GameTable& table,
                          const StringRunOptions& options) {
  std::ostringstream out;
  std::size_t start = 0;
  std::size_t chars = 0;
  bool in_run = false;
  auto close = [&](std::size_t end, std::size_t end_size) {
    if (in_run && chars >= options.min_chars && (!options.end || end_size != 0)) {
      const std::size_t kept = std::min(end - end_size - start, options.keep_bytes);
      out << start << "+" << end - start << "/" << chars << ":"
          << test::Hex(std::vector<std::uint8_t>(data.begin() + static_cast<std::ptrdiff_t>(start),
                                                 data.begin() + static_cast<std::ptrdiff_t>(start + kept)))
          << (kept < end - end_size - start ? "cut" : "") << "\n";
    }
    chars = 0;
    in_run = false;
  };
  for (std::size_t i = 0; i < data.size();) {
    const GameTableUnit unit = table.ReadUnit(std::span(data).subspan(i), true);
    const bool end = (unit.kind == GameUnitKind::kCode &&
                      table.codes()[unit.code].kind == GameCodeKind::kEnd) ||
                     (options.end && unit.size == 1 && data[i] == *options.end);
    const bool character = IsCharacterUnit(table, unit);
    if ((end || character) && !std::exchange(in_run, true)) start = i;
    if (end) {
      close(i + unit.size, unit.size);
    } else if (!character) {
      close(i, 0);
    } else {
      ++chars;
    }
    i += unit.size;
  }
  close(data.size(), 0);
  return out.str();
}

TEST(GameStringRunsTest, RunsAreThoseOfTheTablesUnitsWhereverTheChunksEnd) {
  const StringRunOptions shapes[] = {
      {4, std::nullopt, 1 << 20}, {1, 0xFF, 5}, {2, std::nullopt, 3}, {0, 0xFF, 8}};
  for (unsigned seed = 1; seed <= 6; ++seed) {
    const test::GameTableStrings made = test::MakeGameTableStrings(40, seed);
    const GameTable table = ParseGameTable(made.tbl, "g.tbl").value();
    std::vector<std::uint8_t> data = RandomByteVector(200, seed);
    for (const std::string& string : made.strings) data.insert(data.end(), string.begin(), string.end());
    for (const StringRunOptions& options : shapes) {
      const std::string expected = PlainGameRuns(data, table, options);
      for (const std::size_t chunk : kScanChunks) {
        EXPECT_EQ(expected, RunsFedInChunks(StringRunFinder(table, options), data, chunk))
            << "seed " << seed << ", chunk " << chunk;
      }
    }
  }
}

TEST(StringRunsTest, RunsAreThoseOfDecodesUnitsWhereverTheChunksEnd) {
  const StringRunOptions shapes[] = {
      {4, std::nullopt, 1 << 20}, {1, std::nullopt, 3}, {2, 0x00, 1 << 20}, {3, 0x24, 4},
      {0, 0x00, 1 << 20},        {7, std::nullopt, 64}};
  // With page 0 only, no lead byte can begin a character: blocks are skipped
  // over them.
  for (unsigned seed = 1; seed <= 8; ++seed) {
    const GameTable table = GameTableOf(SparseTable(seed <= 4 ? kPages : 1));
    std::vector<std::uint8_t> data = RandomByteVector(3000, seed);
    // Stretches of characters only, lead bytes and line breaks among them.
    for (std::size_t i = 0; i < data.size(); ++i) {
      if ((i / 97) % 3 == 0)
        data[i] = static_cast<std::uint8_t>(i % 5 == 0 ? 0x24 : data[i] | 0x20);
    }
    for (const StringRunOptions& options : shapes) {
      const std::string expected = PlainGameRuns(data, table, options);
      for (const std::size_t chunk : kScanChunks) {
        EXPECT_EQ(expected, RunsFedInChunks(StringRunFinder(table, options), data, chunk))
            << "seed " << seed << ", chunk " << chunk;
      }
    }
  }
}

}  // namespace
}  // namespace binconv
