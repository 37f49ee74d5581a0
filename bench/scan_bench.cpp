// The pointer-table finder on the worst case of many tables (TableGame): its
// time grows with the file's size only (16 MB: under 2 s). And the string runs
// of random bytes with tables where a quarter of the byte values are
// characters, as bench/vs-grep.sh gives them to strings.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "bench/table_game.h"
#include "chartable/encoding.h"
#include "scan/string_runs.h"

namespace binconv {
namespace {

void BM_FindPointerTables(benchmark::State& state) {
  bench::TableGame game;
  const auto size = static_cast<std::size_t>(state.range(0)) << 20;
  std::vector<std::uint8_t> bytes = game.head();
  while (bytes.size() < size) game.AppendTable(bytes);
  bytes.resize(size);
  const PointerFormat format = ParsePointerFormat(std::vector<std::string_view>{"u16le"}).value();
  for (auto _ : state) {
    std::size_t at = 0;
    const ReadInput read = [&](std::span<std::uint8_t> out) -> Result<std::size_t, IoError> {
      const std::size_t n = std::min(out.size(), bytes.size() - at);
      std::memcpy(out.data(), bytes.data() + at, n);
      at += n;
      return n;
    };
    const auto found = FindPointerTables(read, format, bytes.size(), game.starts(), kScanChunkSize);
    benchmark::DoNotOptimize(found.value().left_out);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
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
  const GameTable game = GameTableOf(table);
  for (auto _ : state) {
    StringRunFinder finder(game, StringRunOptions{});
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
