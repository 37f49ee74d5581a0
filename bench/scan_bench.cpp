// The pointer-table finder on the worst case of many tables (TableGame): its
// time grows with the file's size only (16 MB: under 2 s). And the string runs
// of random bytes with tables where a quarter of the byte values are
// characters, as bench/vs-grep.sh gives them to strings. And search for a
// text through a table of 7,000 codes, with 500 DTE codes among them and
// without: finding a text by decoding must cost at most twice its bytes.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "bench/table_game.h"
#include "chartable/encoding.h"
#include "scan/string_runs.h"
#include "scan/text_search.h"

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


// 7,000 codes: letters and a space of one byte, the rest of two bytes
// after the lead bytes 80-FF. With `dte`, 500 of those show two letters
// each; without, each shows a character of its own.
GameTable SearchTable(bool dte) {
  std::vector<GameCode> codes;
  const std::string letters = "abcdefghijklmnopqrstuvwxyz ";
  for (const char ch : letters) {
    codes.push_back({{static_cast<std::uint8_t>(ch)}, GameCodeKind::kText, std::u16string(1, ch)});
  }
  std::mt19937 random(3);
  std::vector<std::u16string> pairs;
  for (const char a : letters) {
    for (const char b : letters) pairs.push_back({static_cast<char16_t>(a), static_cast<char16_t>(b)});
  }
  std::shuffle(pairs.begin(), pairs.end(), random);
  char16_t kanji = u'\u4E00';
  while (codes.size() < 7000) {
    const std::size_t n = codes.size() - letters.size();
    GameCode code{{static_cast<std::uint8_t>(0x80 + n % 128), static_cast<std::uint8_t>(0x20 + n / 128)},
                  GameCodeKind::kText,
                  std::u16string(1, kanji++)};
    if (dte && n % 13 == 0 && n / 13 < 500) code.text = pairs[n / 13];
    codes.push_back(code);
  }
  return GameTable(codes);
}

// Bytes of codes of that table: mostly letters and spaces, a fifth codes
// of two bytes (the DTE codes among them).
std::vector<std::uint8_t> SearchGame(std::size_t size) {
  const GameTable table = SearchTable(true);
  std::mt19937 random(4);
  std::vector<std::uint8_t> bytes;
  while (bytes.size() < size) {
    const std::size_t at = random() % 5 == 0 ? 27 + random() % 6973 : random() % 27;
    const GameCode& code = table.codes()[at];
    bytes.insert(bytes.end(), code.bytes.begin(), code.bytes.end());
  }
  bytes.resize(size);
  return bytes;
}

void BM_SearchText(benchmark::State& state) {
  const GameTable table = SearchTable(state.range(1) != 0);
  const std::vector<std::uint8_t> bytes = SearchGame(static_cast<std::size_t>(state.range(0)) << 20);
  const std::vector<std::string> texts = {"the hero"};
  const TextSearch search = TextSearch::Of(table, LineBreaks::kAny, texts).value();
  std::size_t matches = 0;
  for (auto _ : state) {
    std::size_t at = 0;
    const ReadInput read = [&](std::span<std::uint8_t> out) -> Result<std::size_t, IoError> {
      const std::size_t n = std::min(out.size(), bytes.size() - at);
      std::memcpy(out.data(), bytes.data() + at, n);
      at += n;
      return n;
    };
    const auto scanned = SearchTexts(read, search, kScanChunkSize, [&](const ByteMatch&) {
      ++matches;
      return true;
    });
    benchmark::DoNotOptimize(scanned.has_value());
  }
  benchmark::DoNotOptimize(matches);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

}  // namespace
}  // namespace binconv

BENCHMARK(binconv::BM_FindPointerTables)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(binconv::BM_StringRuns)->Arg(16)->Unit(benchmark::kMillisecond);
// Arguments: megabytes, and 1 for the table with DTE codes.
BENCHMARK(binconv::BM_SearchText)->Args({4, 0})->Args({4, 1})->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
