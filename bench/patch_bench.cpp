// Making and applying IPS and BPS patches on translated pairs: the original
// with a few thousand short text spans rewritten, and on unrelated pairs of
// noise, where no match is found and the time must still grow with the size
// alone. Bytes are the target's.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>

#include "patch/patch_format.h"
#include "runtime/crc32.h"
#include "support/bytes.h"
#include "support/patch_pairs.h"

namespace binconv::bench {
namespace {

constexpr std::size_t kMegabyte = std::size_t{1} << 20;

// 4 MB with 2,000 spans and 64 MB with 8,000, made once.
const test::PatchPair& Pair(std::int64_t megabytes) {
  static std::map<std::int64_t, test::PatchPair> pairs;
  auto found = pairs.find(megabytes);
  if (found == pairs.end()) {
    const std::size_t spans = megabytes >= 64 ? 8000 : 2000;
    found = pairs.emplace(megabytes, test::TranslatedPair(static_cast<std::size_t>(megabytes) * kMegabyte,
                                                          spans, 20261207))
                .first;
  }
  return found->second;
}

// Two files of noise with nothing in common, made once.
const test::PatchPair& UnrelatedPair(std::int64_t megabytes) {
  static std::map<std::int64_t, test::PatchPair> pairs;
  auto found = pairs.find(megabytes);
  if (found == pairs.end()) {
    const std::size_t size = static_cast<std::size_t>(megabytes) * kMegabyte;
    found = pairs.emplace(megabytes, test::PatchPair{test::RandomByteVector(size, 1),
                                                     test::RandomByteVector(size, 2)})
                .first;
  }
  return found->second;
}

void BM_Crc32(benchmark::State& state) {
  const test::PatchPair& pair = Pair(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(Crc32(pair.original));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pair.original.size()));
}

void Make(benchmark::State& state, PatchFormat format, bool verified) {
  const test::PatchPair& pair = Pair(state.range(0));
  std::size_t size = 0;
  for (auto _ : state) {
    if (verified) {
      auto patch = MakeVerifiedPatch(format, pair.original, pair.modified);
      if (!patch) std::abort();
      size = patch.value().size();
    } else if (format == PatchFormat::kBps) {
      size = MakeBps(pair.original, pair.modified).size();
    } else {
      auto patch = MakeIps(pair.original, pair.modified);
      if (!patch) std::abort();
      size = patch.value().size();
    }
  }
  state.counters["patch_bytes"] = static_cast<double>(size);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pair.modified.size()));
}

// Every place of the target tries its earlier places of the same key, and
// each try reads the target far back: what a block may spend on tries that
// find nothing keeps the time per megabyte the same at any size.
void BM_MakeBpsUnrelated(benchmark::State& state) {
  const test::PatchPair& pair = UnrelatedPair(state.range(0));
  std::size_t size = 0;
  for (auto _ : state) size = MakeBps(pair.original, pair.modified).size();
  state.counters["patch_bytes"] = static_cast<double>(size);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pair.modified.size()));
}

void Apply(benchmark::State& state, PatchFormat format) {
  const test::PatchPair& pair = Pair(state.range(0));
  auto patch = MakeVerifiedPatch(format, pair.original, pair.modified);
  if (!patch) std::abort();
  for (auto _ : state) {
    auto applied = ApplyPatch(pair.original, patch.value());
    if (!applied) std::abort();
    benchmark::DoNotOptimize(applied.value().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pair.modified.size()));
}

void BM_MakeBps(benchmark::State& state) { Make(state, PatchFormat::kBps, false); }
void BM_MakeIps(benchmark::State& state) { Make(state, PatchFormat::kIps, false); }
void BM_MakeVerifiedBps(benchmark::State& state) { Make(state, PatchFormat::kBps, true); }
void BM_ApplyBps(benchmark::State& state) { Apply(state, PatchFormat::kBps); }
void BM_ApplyIps(benchmark::State& state) { Apply(state, PatchFormat::kIps); }

BENCHMARK(BM_Crc32)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeBps)->Arg(4)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeBpsUnrelated)->Arg(4)->Arg(32)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeVerifiedBps)->Arg(4)->Arg(64)->Unit(benchmark::kMillisecond);
// IPS reaches only 16 MiB.
BENCHMARK(BM_MakeIps)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyBps)->Arg(4)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyIps)->Arg(4)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace binconv::bench

BENCHMARK_MAIN();
