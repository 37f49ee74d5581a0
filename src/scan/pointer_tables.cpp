#include "scan/pointer_tables.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "scan/pointer_value.h"

namespace binconv {
namespace {

// Stride 8 finds u16 and u32 tables of pairs, a pointer and one other value.
constexpr std::array<unsigned, 4> kStrides = {2, 3, 4, 8};
// The strides a wider one may be a multiple of, whose runs' spans are kept.
constexpr std::array<bool, kStrides.size()> kNarrow = {true, false, true, false};
constexpr std::size_t kSpansKept = 4;

// Marks an entry of a gap whose target can't be the table's end.
constexpr std::uint64_t kNoTarget = detail::ValueTargets::kNoTarget;

// One stride and phase: the run of entries being followed.
struct Run {
  std::vector<std::uint64_t> targets;
  std::vector<std::uint64_t> skips;
  std::vector<std::uint64_t> skip_targets;  // what each skip value leads to
  std::uint64_t start = 0;
  std::uint64_t last = 0;  // the offset of its last entry
  std::uint64_t count = 0;
  bool varied = false;  // its entries lead to more than one string
  std::uint64_t first = 0;  // the first string it leads to
  // `targets` holds the first entries' targets, a gap's entries among them
  // until the run closes, when only those leading to the table's end stay.
  std::size_t hits_shown = 0;  // entries of `targets` that lead to strings
  // The target of the entry just before the run, which may be the string
  // right after the table: the strings found run into it from the table.
  std::optional<std::uint64_t> before;
};

struct Chain {
  bool open = false;
  Run run;
  std::uint64_t segment = 0;  // entries that led to a string since the last gap
  std::uint64_t gap = 0;      // entries since the last that led to a string
  std::uint64_t gap_value = 0;
  std::uint64_t gap_target = kNoTarget;
  // The run that ended at an entry leading further on, which may be the end
  // of the table it is the first part of: offered once the next run shows.
  std::optional<Run> held;
};

// Where a run began and its last entry.
struct Span {
  bool seen = false;
  std::uint64_t start = 0;
  std::uint64_t last = 0;
};

// Most entries first, then by start, then the narrower stride.
bool Better(const TableCandidate& a, const TableCandidate& b) {
  if (a.count != b.count) return a.count > b.count;
  if (a.start != b.start) return a.start < b.start;
  return a.stride < b.stride;
}

// The best `most` candidates offered, in a heap whose top is the worst, and
// how many were turned away.
class BestCandidates {
 public:
  explicit BestCandidates(std::size_t most) : most_(most) {}

  // Whether a candidate of this rank would be kept: one that would not is
  // counted and need not be made.
  bool Admit(std::uint64_t count, std::uint64_t start, unsigned stride) {
    if (heap_.size() < most_ || (!heap_.empty() && Better(TableCandidate{start, stride, count, {}, {}}, heap_.front()))) {
      return true;
    }
    ++left_out_;
    return false;
  }

  // Only a candidate Admit took.
  void Offer(TableCandidate candidate) {
    if (heap_.size() < most_) {
      heap_.push_back(std::move(candidate));
      std::push_heap(heap_.begin(), heap_.end(), Better);
      return;
    }
    ++left_out_;
    std::pop_heap(heap_.begin(), heap_.end(), Better);
    heap_.back() = std::move(candidate);
    std::push_heap(heap_.begin(), heap_.end(), Better);
  }

  TableSearch Take() {
    std::sort_heap(heap_.begin(), heap_.end(), Better);
    return TableSearch{std::move(heap_), left_out_};
  }

 private:
  std::size_t most_;
  std::vector<TableCandidate> heap_;
  std::uint64_t left_out_ = 0;
};

// Follows one chain per stride and phase over the file's values, position
// by position, and keeps the best runs long enough to be tables. A run at a
// multiple of a narrower stride is checked against that stride's latest
// runs as it closes, so nothing but the kept candidates grows with the file.
class TableFinder {
 public:
  TableFinder(const PointerFormat& format, std::uint64_t file_size,
              const StringStarts& string_starts, const TableSearchOptions& options)
      : format_(format),
        width_(WidthOf(format.type)),
        shown_(std::max<std::size_t>(options.shown_targets, 1)),
        starts_(string_starts, file_size),
        values_(format, starts_),
        options_(options),
        best_(options.most_candidates) {}

  unsigned width() const { return width_; }

  void FeedWindow(const ScanWindow& w) {
    static constexpr std::array kFeeds{
        &TableFinder::Feed<PointerType::kU16le>, &TableFinder::Feed<PointerType::kU16be>,
        &TableFinder::Feed<PointerType::kU24le>, &TableFinder::Feed<PointerType::kU24be>,
        &TableFinder::Feed<PointerType::kU32le>, &TableFinder::Feed<PointerType::kU32be>};
    (this->*kFeeds[static_cast<std::size_t>(format_.type)])(w);
  }

  TableSearch Finish() {
    for (std::size_t s = kStrides.size(); s-- > 0;) {
      for (Chain& chain : chains_[s]) {
        Close(chain, s);
        if (chain.held) OfferRun(*chain.held, s);
        chain.held.reset();
      }
    }
    return best_.Take();
  }

 private:
  template <PointerType kType>
  void Feed(const ScanWindow& w) {
    const std::uint8_t* const data = w.bytes.data();
    const std::size_t to = std::min(w.to, w.bytes.size() - std::min<std::size_t>(w.bytes.size(), width_ - 1));
    for (std::size_t p = w.from; p < to; ++p) {
      const std::uint64_t at = w.offset + p;
      // What the entry a stride before leads to, for a run that begins here;
      // the window keeps the widest stride's bytes behind.
      auto target_before = [&](unsigned stride) -> std::optional<std::uint64_t> {
        if (at < stride) return std::nullopt;
        return PlainTarget(LoadValue<kType>(data + p - stride), at - stride);
      };
      FeedValue(at, LoadValue<kType>(data + p), target_before);
    }
  }

  std::optional<std::uint64_t> PlainTarget(std::uint64_t value, std::uint64_t at) const {
    if (!values_.empty()) {
      const std::uint64_t known = values_.TargetOf(value);
      if (known == kNoTarget) return std::nullopt;
      return known;
    }
    const auto t = TargetOfValue(format_, value, PointerSite{at, 0});
    if (!t) return std::nullopt;
    return t.value();
  }

  // The value at `at`, counted in or ending the chain of each stride. The
  // widest stride goes first: when a wide run closes at `at`, the narrower
  // runs have been followed up to just before it.
  template <class TargetBefore>
  void FeedValue(std::uint64_t at, std::uint64_t value, const TargetBefore& target_before) {
    const bool from_table = format_.relative == PointerBase::kTable;
    // Outside relative=table the target doesn't depend on the run.
    const std::optional<std::uint64_t> plain = from_table ? std::nullopt : PlainTarget(value, at);
    const bool plain_hit = values_.empty() ? plain && starts_.Has(*plain) : values_.Hits(value);
    if (!plain_hit && !from_table && open_ == 0) return;
    // Each stride a constant, so that the phase is no division.
    [&]<std::size_t... kIndex>(std::index_sequence<kIndex...>) {
      (FeedStride<kStrides.size() - 1 - kIndex>(at, value, plain, plain_hit, target_before), ...);
    }(std::make_index_sequence<kStrides.size()>{});
  }

  template <std::size_t kS, class TargetBefore>
  void FeedStride(std::uint64_t at, std::uint64_t value, std::optional<std::uint64_t> plain,
                  bool plain_hit, const TargetBefore& target_before) {
    constexpr unsigned kStride = kStrides[kS];
    if (kStride < width_) return;
    const bool from_table = format_.relative == PointerBase::kTable;
    Chain& chain = chains_[kS][at % kStride];
    std::uint64_t target = plain_hit ? *plain : 0;
    bool hit = plain_hit;
    if (from_table) {
      hit = chain.open && HitFrom(value, at, chain.run.start, target);
      if (!hit) {
        Close(chain, kS);
        hit = HitFrom(value, at, at, target);
      }
    }
    const bool own_width = !from_table && kStride == width_;
    if (hit) {
      // The entry before a run at the type's own width led to no string,
      // or the run would have begun there.
      if (!chain.open) chain.run.before = own_width ? target_before(kStride) : std::nullopt;
      Extend<kS>(chain, at, target);
    } else if (chain.open && !(own_width && HoldInGap(chain, value, plain))) {
      // An entry leading further on may lead to the end of the table this
      // run is the first part of.
      Close(chain, kS, own_width && plain && *plain > at);
    }
  }

  // A hit at `at`: the chain's run begins or goes on.
  template <std::size_t kS>
  void Extend(Chain& chain, std::uint64_t at, std::uint64_t target) {
    Run& run = chain.run;
    if (!chain.open) {
      chain.open = true;
      ++open_;
      run.start = at;
      run.first = target;
    }
    CloseGap(chain);
    run.varied = run.varied || target != run.first;
    run.last = at;
    ++run.count;
    if (run.hits_shown < shown_) {
      run.targets.push_back(target);
      ++run.hits_shown;
    }
    if constexpr (kNarrow[kS]) NoteSpan<kS>(run);
  }

  // A value that leads to no string, held while it may be a gap of the run.
  // Only at the type's own width: wider strides would find every other
  // entry of a table, and its gaps, once more.
  bool HoldInGap(Chain& chain, std::uint64_t value, std::optional<std::uint64_t> plain) const {
    // Entries that only every other time lead to a string are no gaps.
    if (!chain.open || chain.segment < 2 || chain.gap >= chain.segment) return false;
    const std::vector<std::uint64_t>& skips = chain.run.skips;
    if (chain.gap != 0) {
      if (value != chain.gap_value) return false;
    } else if (std::find(skips.begin(), skips.end(), value) == skips.end() &&
               skips.size() == options_.most_skips) {
      return false;
    }
    chain.gap_value = value;
    // An address leads to one place wherever it is, which may be the end.
    chain.gap_target = format_.relative == PointerBase::kAddress && plain ? *plain : kNoTarget;
    ++chain.gap;
    return true;
  }

  // The run goes on after a gap: its entries count, its value is skipped.
  void CloseGap(Chain& chain) const {
    ++chain.segment;
    if (chain.gap == 0) return;
    Run& run = chain.run;
    chain.segment = 1;
    run.count += chain.gap;
    if (run.hits_shown < shown_) {
      run.targets.insert(run.targets.end(), std::min<std::uint64_t>(chain.gap, shown_), chain.gap_target);
    }
    if (std::find(run.skips.begin(), run.skips.end(), chain.gap_value) == run.skips.end()) {
      run.skips.push_back(chain.gap_value);
      run.skip_targets.push_back(chain.gap_target);
    }
    chain.gap = 0;
  }

  template <std::size_t kS>
  void NoteSpan(const Run& run) {
    std::array<Span, kSpansKept>& spans = spans_[kS][run.start % kStrides[kS]];
    if (run.count == 1) std::move_backward(spans.begin(), spans.end() - 1, spans.end());
    spans[0] = Span{true, run.start, run.last};
  }

  // A run at a multiple of a narrower stride that only takes some entries
  // of a run at that stride, which has more. The narrower run holding its
  // last entry is among the latest few of its phase.
  bool CoveredByNarrower(const Run& wide, std::size_t s) const {
    for (std::size_t n = 0; n < s; ++n) {
      const unsigned stride = kStrides[n];
      if (!kNarrow[n] || stride < width_ || kStrides[s] % stride != 0) continue;
      for (const Span& narrow : spans_[n][wide.start % stride]) {
        if (narrow.seen && narrow.start <= wide.start && wide.last <= narrow.last) return true;
      }
    }
    return false;
  }

  bool HitFrom(std::uint64_t value, std::uint64_t at, std::uint64_t table_start,
               std::uint64_t& target) const {
    const auto t = TargetOfValue(format_, value, PointerSite{at, table_start});
    if (!t || !starts_.Has(t.value())) return false;
    target = t.value();
    return true;
  }

  // The entry before the run leads to the byte right after its last entry.
  static void TakeEntryBefore(Run& run, unsigned stride) {
    if (!run.before || *run.before != run.last + stride) return;
    run.start -= stride;
    ++run.count;
    run.varied = run.varied || *run.before != run.first;
    run.targets.insert(run.targets.begin(), *run.before);
    run.before.reset();
  }

  // `run` follows `held` right after its last entry: one run, if the two
  // have no more gap values than a run may.
  bool Join(Run& held, Run& run) const {
    std::vector<std::uint64_t> skips = held.skips;
    std::vector<std::uint64_t> skip_targets = held.skip_targets;
    for (std::size_t i = 0; i < run.skips.size(); ++i) {
      if (std::find(skips.begin(), skips.end(), run.skips[i]) != skips.end()) continue;
      skips.push_back(run.skips[i]);
      skip_targets.push_back(run.skip_targets[i]);
    }
    if (skips.size() > options_.most_skips) return false;
    held.skips = std::move(skips);
    held.skip_targets = std::move(skip_targets);
    held.last = run.last;
    held.count += run.count;
    held.varied = held.varied || run.varied || run.first != held.first;
    if (held.hits_shown < shown_) {
      held.targets.insert(held.targets.end(), run.targets.begin(), run.targets.end());
      held.hits_shown += run.hits_shown;
    }
    run = std::move(held);
    return true;
  }

  void Close(Chain& chain, std::size_t s, bool hold = false) {
    if (!chain.open) return;
    chain.open = false;
    --open_;
    chain.gap = 0;
    chain.segment = 0;
    const unsigned stride = kStrides[s];
    Run& run = chain.run;
    // Most runs are a few entries that even with the one before are no table
    // and cover nothing a wider run could take.
    if (!hold && !chain.held && run.count + 1 < options_.min_entries) {
      ClearRun(run);
      return;
    }
    TakeEntryBefore(run, stride);
    if (chain.held) {
      // The entry before this run led to its end: the run before is the
      // same table's first part.
      const bool joined = chain.held->last + stride == run.start && Join(*chain.held, run);
      if (joined) TakeEntryBefore(run, stride);
      if (!joined) OfferRun(*chain.held, s);
      chain.held.reset();
    }
    if (kNarrow[s]) spans_[s][run.start % stride][0].start = run.start;
    if (hold) {
      chain.held = std::move(run);
    } else {
      OfferRun(run, s);
    }
    ClearRun(run);
  }

  // A run made anew, keeping its vectors' room.
  static void ClearRun(Run& run) {
    run.targets.clear();
    run.skips.clear();
    run.skip_targets.clear();
    run.count = 0;
    run.varied = false;
    run.hits_shown = 0;
    run.before.reset();
  }

  // A run's entries of a value that leads to its end are entries, not gaps.
  void CountEndEntries(Run& run, unsigned stride) const {
    const std::uint64_t end = run.last + stride;
    for (std::size_t i = run.skips.size(); i-- > 0;) {
      if (run.skip_targets[i] != end) continue;
      run.skips.erase(run.skips.begin() + static_cast<std::ptrdiff_t>(i));
      run.skip_targets.erase(run.skip_targets.begin() + static_cast<std::ptrdiff_t>(i));
      run.varied = true;
    }
  }

  // The first targets shown: those of entries that lead to a string or to
  // the run's end.
  void KeepShownTargets(Run& run, unsigned stride) const {
    const std::uint64_t end = run.last + stride;
    std::erase_if(run.targets, [&](std::uint64_t t) { return t != end && !starts_.Has(t); });
    if (run.targets.size() > shown_) run.targets.resize(shown_);
  }

  void OfferRun(Run& run, std::size_t s) {
    const unsigned stride = kStrides[s];
    if (run.count < options_.min_entries) return;
    if (!run.skips.empty()) CountEndEntries(run, stride);
    if (!run.varied || CoveredByNarrower(run, s) || !best_.Admit(run.count, run.start, stride)) {
      return;
    }
    KeepShownTargets(run, stride);
    std::sort(run.skips.begin(), run.skips.end());
    best_.Offer(TableCandidate{run.start, stride, run.count, run.targets, run.skips});
  }

  const PointerFormat& format_;
  unsigned width_;
  std::size_t shown_;  // targets kept of each run
  detail::StartBits starts_;
  detail::ValueTargets values_;
  const TableSearchOptions& options_;
  std::array<std::array<Chain, 8>, kStrides.size()> chains_{};
  // Per narrow stride and phase, the latest runs first.
  std::array<std::array<std::array<Span, kSpansKept>, 4>, kStrides.size()> spans_{};
  std::size_t open_ = 0;  // chains with a run open
  BestCandidates best_;
};

}  // namespace

void StringStarts::Add(std::uint64_t offset) {
  const auto segment = static_cast<std::size_t>(offset >> 32);
  while (segments_.size() <= segment) segments_.push_back(low_.size());
  low_.push_back(static_cast<std::uint32_t>(offset));
}

std::optional<std::size_t> StringStarts::Find(std::uint64_t offset) const {
  const auto segment = static_cast<std::size_t>(offset >> 32);
  if (segment >= segments_.size()) return std::nullopt;
  const auto begin = low_.begin() + static_cast<std::ptrdiff_t>(segments_[segment]);
  const auto end = segment + 1 < segments_.size()
                       ? low_.begin() + static_cast<std::ptrdiff_t>(segments_[segment + 1])
                       : low_.end();
  const auto low = static_cast<std::uint32_t>(offset);
  const auto it = std::lower_bound(begin, end, low);
  if (it == end || *it != low) return std::nullopt;
  return static_cast<std::size_t>(it - low_.begin());
}

namespace detail {

StartBits::StartBits(const StringStarts& starts, std::uint64_t file_size)
    : file_size_(file_size),
      blocks_(static_cast<std::size_t>(file_size / 2048 + 1)),
      before_(blocks_.size()) {
  starts.ForEach([&](std::uint64_t start) {
    if (start < file_size) blocks_[static_cast<std::size_t>(start >> 11)] |= std::uint64_t{1} << (start >> 5 & 63);
  });
  std::size_t before = 0;
  for (std::size_t group = 0; group < blocks_.size(); ++group) {
    before_[group] = static_cast<std::uint32_t>(before);
    before += BitsSet(blocks_[group]);
  }
  // Sized once: a vector grown by doubling would hold up to three times it.
  masks_.assign(before, 0);
  starts.ForEach([&](std::uint64_t start) {
    if (start >= file_size) return;
    const std::uint64_t block = start >> 5;
    const auto group = static_cast<std::size_t>(block >> 6);
    const std::uint64_t bit = std::uint64_t{1} << (block & 63);
    masks_[before_[group] + BitsSet(blocks_[group] & (bit - 1))] |= std::uint32_t{1} << (start & 31);
  });
}

ValueTargets::ValueTargets(const PointerFormat& format, const StartBits& starts) {
  if (WidthOf(format.type) != 2 || format.relative != PointerBase::kAddress) return;
  targets_.assign(std::size_t{1} << 16, kNoTarget);
  hits_.assign(targets_.size() / 64, 0);
  for (std::uint64_t value = 0; value < targets_.size(); ++value) {
    const auto target = TargetOfValue(format, value, PointerSite{});
    if (!target) continue;
    targets_[value] = target.value();
    if (starts.Has(target.value())) hits_[value >> 6] |= std::uint64_t{1} << (value & 63);
  }
}

}  // namespace detail

Result<TableSearch, IoError> FindPointerTables(
    const ReadInput& read, const PointerFormat& format, std::uint64_t file_size,
    const StringStarts& string_starts, std::size_t chunk_size, const TableSearchOptions& options,
    const ScanProgress& progress) {
  TableFinder finder(format, file_size, string_starts, options);
  auto scanned = ScanWindows(
      read, chunk_size, finder.width() - 1, kStrides.back(),
      [&](const ScanWindow& w) {
        finder.FeedWindow(w);
        return true;
      },
      progress);
  if (!scanned) return Unexpected(scanned.error());
  return finder.Finish();
}

}  // namespace binconv
