// Throughput of table loading, conversion, listing parse, the one-pass
// encoders and the decoders (of the tables and of a game's .tbl) on seeded
// Japanese text, with a cell-by-cell table scan in the same binary as the
// baseline. Items are UTF-16 units of the input (bytes for the decoders);
// the summary at the end gives the speed-up over the scan and the .tbl's
// speed against the tables'.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench/text_gen.h"
#include "chartable/load.h"
#include "chartable/encoding.h"
#include "codec/convert.h"
#include "codec/decode.h"
#include "codec/encode.h"
#include "codec/encoder.h"
#include "codec/listing.h"
#include "messages/messages.h"
#include "runtime/compare.h"
#include "runtime/strings.h"
#include "runtime/utf8.h"
#include "support/reference.h"

namespace binconv::bench {
namespace {

constexpr std::uint32_t kSeed = 20240611;
constexpr std::size_t kMegabyte = std::size_t{1} << 20;

const CharTable& DefaultTable() {
  static const CharTable table = [] {
    auto loaded = LoadCharTables(BINCONV_SOURCE_DIR "/tables");
    if (!loaded) {
      std::fprintf(stderr, "%s\n",
                   messages::Message(messages::Language::kEnglish, loaded.error()).c_str());
      std::abort();
    }
    return std::move(loaded).value();
  }();
  return table;
}

struct Mix {
  const char* name;
  TextMix mix;
};
const Mix kMixes[] = {{"all_encodable", kAllEncodable}, {"gaps_and_tags", kWithGapsAndTags}};

const std::u16string& Text(const Mix& mix, std::size_t megabytes) {
  static std::map<std::pair<std::string, std::size_t>, std::u16string> cache;
  auto [at, fresh] = cache.try_emplace({mix.name, megabytes});
  if (fresh) at->second = GenerateText(DefaultTable(), megabytes * kMegabyte, mix.mix, kSeed);
  return at->second;
}

// What the default tables compile into, once, as a program loads them.
const GameTable& DefaultEncoding() {
  static const GameTable encoding = GameTableOf(DefaultTable());
  return encoding;
}

const std::u16string& Listing(const Mix& mix, std::size_t megabytes) {
  static std::map<std::pair<std::string, std::size_t>, std::u16string> cache;
  auto [at, fresh] = cache.try_emplace({mix.name, megabytes});
  if (fresh) at->second = ConvertToCode(Text(mix, megabytes), DefaultEncoding());
  return at->second;
}

// ---------------------------------------------------------------------------
// The baseline: the conversion as first written, looking every character up
// by comparing it with each of the 1536 cells in page, row, column order.

std::u16string ScanConvertToCode(std::u16string_view text, const CharTable& table) {
  return test::ReferenceModel(table, /*remember=*/false)
      .Convert(text, LineBreaks::kCrLf, /*join_pairs=*/false);
}

// ---------------------------------------------------------------------------

void SetUnits(benchmark::State& state, std::size_t units) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * units));
}

void BM_LoadCharTables(benchmark::State& state) {
  for (auto _ : state) {
    auto table = LoadCharTables(BINCONV_SOURCE_DIR "/tables");
    if (!table) state.SkipWithError("tables did not load");
    benchmark::DoNotOptimize(table);
  }
}

void BM_ConvertToCode(benchmark::State& state, const Mix& mix, std::size_t megabytes) {
  const std::u16string& text = Text(mix, megabytes);
  const std::u16string& expected = Listing(mix, megabytes);
  for (auto _ : state) {
    std::u16string listing = ConvertToCode(text, DefaultEncoding());
    benchmark::DoNotOptimize(listing.data());
    if (listing.size() != expected.size()) state.SkipWithError("listing changed");
  }
  SetUnits(state, text.size());
}

void BM_ScanConvert(benchmark::State& state, const Mix& mix, std::size_t megabytes) {
  const std::u16string& text = Text(mix, megabytes);
  if (ScanConvertToCode(text, DefaultTable()) != Listing(mix, megabytes)) {
    state.SkipWithError("the scan and the conversion disagree");
  }
  for (auto _ : state) {
    std::u16string listing = ScanConvertToCode(text, DefaultTable());
    benchmark::DoNotOptimize(listing.data());
  }
  SetUnits(state, text.size());
}

void BM_ParseListing(benchmark::State& state, const Mix& mix, std::size_t megabytes) {
  const std::u16string& listing = Listing(mix, megabytes);
  for (auto _ : state) {
    auto bytes = ParseListing(listing);
    benchmark::DoNotOptimize(bytes);
  }
  SetUnits(state, listing.size());
}

// A whole text through a fresh encoder of either kind, as one Feed.
template <class TextEncoder, class Table>
void EncodeWhole(benchmark::State& state, const Table& table, const std::u16string& text) {
  std::vector<std::uint8_t> bytes;
  for (auto _ : state) {
    bytes.clear();
    TextEncoder encoder(table, LineBreaks::kCrLf);
    encoder.Feed(text, bytes);
    encoder.Finish(bytes);
    benchmark::DoNotOptimize(bytes.data());
  }
  SetUnits(state, text.size());
}

void BM_Encoder(benchmark::State& state, const Mix& mix, std::size_t megabytes) {
  EncodeWhole<Encoder>(state, DefaultEncoding(), Text(mix, megabytes));
}

// A game's own table of 7,000 codes that encodes the same text: the default
// tables' characters, 500 two-character texts (DTE), 20 control codes and
// ideographs the tables lack.
const GameTable& BigGameTable() {
  static const GameTable table(MakeGameCodes(DefaultTable()));
  return table;
}

void BM_GameEncoder(benchmark::State& state, const Mix& mix, std::size_t megabytes) {
  EncodeWhole<Encoder>(state, BigGameTable(), Text(mix, megabytes));
}

// A table whose texts are letters and two of 20,000 letters (one random, one
// "abab..."), and a million letters of each kind: encoding stays linear in
// the text however long the table's texts are.
void BM_EncoderLongEntry(benchmark::State& state, bool repeated) {
  static const GameTable table = [] {
    std::vector<GameCode> codes;
    std::u16string random_text, pairs;
    std::uint32_t seed = 1;
    for (int i = 0; i < 20000; ++i) {
      seed = seed * 1103515245u + 12345u;
      random_text += static_cast<char16_t>(u'a' + (seed >> 16) % 26);
      pairs += i % 2 == 0 ? u'a' : u'b';
    }
    for (int i = 0; i < 26; ++i) {
      codes.push_back({{static_cast<std::uint8_t>(0x41 + i)}, GameCodeKind::kText,
                       std::u16string(1, static_cast<char16_t>(u'a' + i))});
    }
    codes.push_back({{0xF0, 0xF1}, GameCodeKind::kText, random_text});
    codes.push_back({{0xF2}, GameCodeKind::kText, pairs});
    return GameTable(std::move(codes));
  }();
  std::u16string text;
  std::uint32_t seed = 7;
  for (int i = 0; i < 1000000; ++i) {
    seed = seed * 1103515245u + 12345u;
    text += repeated ? (i % 2 == 0 ? u'a' : u'b') : static_cast<char16_t>(u'a' + (seed >> 16) % 26);
  }
  EncodeWhole<Encoder>(state, table, text);
}

// The listing through the same .tbl.
void BM_GameConvertToCode(benchmark::State& state, const Mix& mix, std::size_t megabytes) {
  const std::u16string& text = Text(mix, megabytes);
  for (auto _ : state) {
    std::u16string listing = ConvertToCode(text, BigGameTable());
    benchmark::DoNotOptimize(listing.data());
  }
  SetUnits(state, text.size());
}

// The encoded text decoded back in 64 KiB chunks by a fresh decoder; items
// are bytes.
template <class TextEncoder, class Table>
void DecodeWhole(benchmark::State& state, const Table& table, const GameTable& game,
                 const std::u16string& source) {
  std::vector<std::uint8_t> bytes;
  TextEncoder encoder(table, LineBreaks::kCrLf);
  encoder.Feed(source, bytes);
  encoder.Finish(bytes);
  constexpr std::size_t kChunk = std::size_t{1} << 16;
  std::u16string text;
  for (auto _ : state) {
    text.clear();
    Decoder decoder(game);
    for (std::size_t at = 0; at < bytes.size(); at += kChunk) {
      decoder.Feed(std::span(bytes).subspan(at, std::min(kChunk, bytes.size() - at)), text);
    }
    decoder.Finish(text);
    benchmark::DoNotOptimize(text.data());
  }
  SetUnits(state, bytes.size());
}

void BM_Decoder(benchmark::State& state, const Mix& mix, std::size_t megabytes) {
  DecodeWhole<Encoder>(state, DefaultEncoding(), DefaultEncoding(), Text(mix, megabytes));
}

void BM_DecoderTbl(benchmark::State& state, const Mix& mix, std::size_t megabytes) {
  DecodeWhole<Encoder>(state, BigGameTable(), BigGameTable(), Text(mix, megabytes));
}

// The text as binconv-cli reads it, decoded in the tool's read size; items
// are bytes here.
void BM_Utf8Decoder(benchmark::State& state, const Mix& mix, std::size_t megabytes) {
  const std::string bytes = EncodeUtf8(Text(mix, megabytes));
  constexpr std::size_t kChunk = 64 * 1024;
  std::u16string text;
  for (auto _ : state) {
    Utf8Decoder decoder;
    for (std::size_t at = 0; at < bytes.size(); at += kChunk) {
      text.clear();
      decoder.Feed(std::string_view(bytes).substr(at, kChunk), text);
      benchmark::DoNotOptimize(text.data());
    }
    if (!decoder.Finish()) state.SkipWithError("bad UTF-8");
  }
  SetUnits(state, bytes.size());
}

// The listing as binconv-cli writes it; items are UTF-16 units of the listing.
void BM_AppendUtf8(benchmark::State& state, const Mix& mix, std::size_t megabytes) {
  const std::u16string& listing = Listing(mix, megabytes);
  constexpr std::size_t kChunk = 64 * 1024;
  std::string bytes;
  for (auto _ : state) {
    for (std::size_t at = 0; at < listing.size(); at += kChunk) {
      bytes.clear();
      AppendUtf8(std::u16string_view(listing).substr(at, kChunk), bytes);
      benchmark::DoNotOptimize(bytes.data());
    }
  }
  SetUnits(state, listing.size());
}

// Keeps each benchmark's items per second (the median when repeated) and
// prints how many times faster than the scan the conversion runs, and how a
// game's .tbl fares against the default tables.
class SpeedupReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto rate = run.counters.find("items_per_second");
      if (run.error_occurred || rate == run.counters.end()) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Iteration || median) {
        rates_[run.run_name.str()] = rate->second.value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    Compare("ConvertToCode", "ScanConvert");
    // A game's .tbl against the default tables on the same text.
    Compare("Encoder", "Encoder");
    Compare("DecoderTbl", "Decoder");
  }

 private:
  // How many times faster each `ours` ran than the `base` of the same case.
  void Compare(std::string_view ours, std::string_view base) const {
    for (const auto& [name, base_rate] : rates_) {
      if (!name.starts_with(std::string(base) + "/")) continue;
      const std::string rest = name.substr(base.size());
      const auto found = rates_.find(std::string(ours) + rest);
      if (found == rates_.end() || base_rate <= 0) continue;
      std::printf("speed-up %s/%s%s: %.2fx (%.3g vs %.3g items/s)\n", std::string(ours).c_str(),
                  std::string(base).c_str(), rest.c_str(), found->second / base_rate,
                  found->second, base_rate);
    }
  }

  std::map<std::string, double> rates_;
};

void RegisterAll() {
  benchmark::RegisterBenchmark("LoadCharTables", BM_LoadCharTables)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("EncoderLongEntry/random/1M", BM_EncoderLongEntry, false)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("EncoderLongEntry/repeated/1M", BM_EncoderLongEntry, true)
      ->Unit(benchmark::kMillisecond);
  for (const Mix& mix : kMixes) {
    for (const std::size_t mb : {std::size_t{1}, std::size_t{16}}) {
      const std::string suffix = std::string("/") + mix.name + "/" + std::to_string(mb) + "MB";
      benchmark::RegisterBenchmark(("ConvertToCode" + suffix).c_str(), BM_ConvertToCode, mix, mb)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("ParseListing" + suffix).c_str(), BM_ParseListing, mix, mb)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("Encoder" + suffix).c_str(), BM_Encoder, mix, mb)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("Encoder" + suffix).c_str(), BM_GameEncoder, mix, mb)
          ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark((std::string("GameConvertToCode/") + mix.name + "/1MB").c_str(),
                                 BM_GameConvertToCode, mix, std::size_t{1})
        ->Unit(benchmark::kMillisecond);
    const std::string big = std::string("/") + mix.name + "/16MB";
    benchmark::RegisterBenchmark(("Decoder" + big).c_str(), BM_Decoder, mix, 16)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("DecoderTbl" + big).c_str(), BM_DecoderTbl, mix, 16)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Utf8Decoder" + big).c_str(), BM_Utf8Decoder, mix, 16)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("AppendUtf8" + big).c_str(), BM_AppendUtf8, mix, 16)
        ->Unit(benchmark::kMillisecond);
    // Over a second a megabyte; larger texts add nothing but waiting.
    benchmark::RegisterBenchmark((std::string("ScanConvert/") + mix.name + "/1MB").c_str(),
                                 BM_ScanConvert, mix, std::size_t{1})
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace
}  // namespace binconv::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  binconv::bench::RegisterAll();
  binconv::bench::SpeedupReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
