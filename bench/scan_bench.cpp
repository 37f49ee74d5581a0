// The pointer-table finder on the worst case of many tables: 8-entry u16le
// tables one after another, all pointing into 32 KiB of strings. Its time
// grows with the file's size only (16 MB: under 2 s). And the string runs
// of random bytes with tables where a quarter of the byte values are
// characters, as bench/vs-grep.sh gives them to strings.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "scan/pointer_tables.h"
#include "scan/string_runs.h"

namespace binconv {
namespace {

struct Crafted {
  std::vector<std::uint8_t> bytes;
  StringStarts starts;
};

// Strings of 3 to 8 bytes ended by 00 fill the first 32 KiB; then come the
// tables, each followed by two bytes that point nowhere.
Crafted CraftedTables(std::size_t size) {
  Crafted c;
  std::mt19937 random(1);
  std::vector<std::uint16_t> starts;
  while (c.bytes.size() < 0x8000) {
    starts.push_back(static_cast<std::uint16_t>(c.bytes.size()));
    c.starts.Add(c.bytes.size());
    const std::size_t length = 3 + random() % 6;
    for (std::size_t i = 0; i < length; ++i) {
      c.bytes.push_back(static_cast<std::uint8_t>(0x30 + random() % 0x20));
    }
    c.bytes.push_back(0);
  }
  while (c.bytes.size() < size) {
    for (int i = 0; i < 8; ++i) {
      const std::uint16_t value = starts[random() % starts.size()];
      c.bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
      c.bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    c.bytes.push_back(0xEE);
    c.bytes.push_back(0xEE);
  }
  c.bytes.resize(size);
  return c;
}

void BM_FindPointerTables(benchmark::State& state) {
  const Crafted c = CraftedTables(static_cast<std::size_t>(state.range(0)) << 20);
  const PointerFormat format = ParsePointerFormat(std::vector<std::string_view>{"u16le"}).value();
  for (auto _ : state) {
    std::size_t at = 0;
    const ReadInput read = [&](std::span<std::uint8_t> out) -> Result<std::size_t, IoError> {
      const std::size_t n = std::min(out.size(), c.bytes.size() - at);
      std::memcpy(out.data(), c.bytes.data() + at, n);
      at += n;
      return n;
    };
    const auto found = FindPointerTables(read, format, c.bytes.size(), c.starts, kScanChunkSize);
    benchmark::DoNotOptimize(found.value().left_out);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.bytes.size()));
}

void BM_StringRuns(benchmark::State& state) {
  CharTable table;
  for (int b = 0x30; b < 0x70; ++b) {
    if (b != 0x50) table.SetCell(0, b / 16, b % 16, std::u16string(1, static_cast<char16_t>(0x3041 + b - 0x30)));
  }
  std::mt19937 random(2);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(state.range(0)) << 20);
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
  std::size_t runs = 0;
  for (auto _ : state) {
    StringRunFinder finder(table, StringRunOptions{});
    auto found = [&](const StringRun&) { ++runs; };
    for (std::size_t at = 0; at < bytes.size(); at += kScanChunkSize) {
      finder.Feed(std::span(bytes).subspan(at, std::min(kScanChunkSize, bytes.size() - at)), found);
    }
    finder.Finish(found);
  }
  benchmark::DoNotOptimize(runs);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

}  // namespace
}  // namespace binconv

BENCHMARK(binconv::BM_FindPointerTables)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(binconv::BM_StringRuns)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
