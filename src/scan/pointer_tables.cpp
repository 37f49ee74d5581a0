#include "scan/pointer_tables.h"

#include <algorithm>
#include <array>
#include <optional>

namespace binconv {
namespace {

constexpr std::array<unsigned, 3> kStrides = {2, 3, 4};

// String starts by 64-byte block, to turn most misses away at once, and the
// index of the first start of each 1 KiB, so that a hit is searched for
// among that KiB's starts only: 6 MB for a 1 GB file.
class StartSet {
 public:
  StartSet(const StringStarts& starts, std::uint64_t file_size)
      : starts_(starts),
        blocks_(static_cast<std::size_t>(file_size / 64 + 1), false),
        first_(static_cast<std::size_t>(file_size / kKiB + 2), 0) {
    std::size_t index = 0;
    std::size_t kib = 0;  // first_ is filled up to here
    starts.ForEach([&](std::uint64_t start) {
      if (start < file_size) {
        blocks_[static_cast<std::size_t>(start / 64)] = true;
        for (; kib <= start / kKiB; ++kib) first_[kib] = static_cast<std::uint32_t>(index);
      }
      ++index;
    });
    for (; kib < first_.size(); ++kib) first_[kib] = static_cast<std::uint32_t>(index);
  }
  bool Has(std::uint64_t target, std::uint64_t file_size) const {
    if (target >= file_size || !blocks_[static_cast<std::size_t>(target / 64)]) return false;
    const auto kib = static_cast<std::size_t>(target / kKiB);
    return starts_.HasAmong(first_[kib], first_[kib + 1], target);
  }

 private:
  static constexpr std::uint64_t kKiB = 1024;
  const StringStarts& starts_;
  std::vector<bool> blocks_;
  std::vector<std::uint32_t> first_;
};

// One stride and phase: the run of entries being followed.
struct Chain {
  bool open = false;
  std::uint64_t start = 0;
  std::uint64_t last = 0;  // the offset of its last entry
  std::uint64_t count = 0;
  bool varied = false;  // its entries lead to more than one string
  std::uint64_t segment = 0;  // entries that led to a string since the last gap
  std::uint64_t gap = 0;      // entries since the last that led to a string
  std::uint64_t gap_value = 0;
  // The target of the entry just before the run, which may be the string
  // right after the table: the strings found run into it from the table.
  std::optional<std::uint64_t> before;
  std::uint64_t miss_at = 0;  // the last entry that led to no string, closed
  std::optional<std::uint64_t> miss_target;
  std::vector<std::uint64_t> targets;
  std::vector<std::uint64_t> skips;
};

// Where a run of stride 2 began and its last entry.
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

  void Offer(TableCandidate candidate) {
    if (heap_.size() < most_) {
      heap_.push_back(std::move(candidate));
      std::push_heap(heap_.begin(), heap_.end(), Better);
      return;
    }
    ++left_out_;
    if (heap_.empty() || !Better(candidate, heap_.front())) return;
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
// by position, and keeps the best runs long enough to be tables. A run at
// stride 4 is checked against the runs of stride 2 as it closes, so nothing
// but the kept candidates grows with the file.
class TableFinder {
 public:
  TableFinder(const PointerFormat& format, std::uint64_t file_size,
              const StringStarts& string_starts, const TableSearchOptions& options)
      : format_(format),
        width_(WidthOf(format.type)),
        file_size_(file_size),
        starts_(string_starts, file_size),
        options_(options),
        best_(options.most_candidates) {}

  unsigned width() const { return width_; }

  void FeedWindow(const ScanWindow& w) {
    const std::size_t size = w.bytes.size();
    for (std::size_t p = w.from; p < w.to && p + width_ <= size; ++p) {
      FeedValue(w.offset + p, ReadPointer(format_.type, w.bytes.data() + p));
    }
  }

  TableSearch Finish() {
    for (std::size_t s = kStrides.size(); s-- > 0;) {
      for (Chain& chain : chains_[s]) Close(chain, kStrides[s]);
    }
    return best_.Take();
  }

 private:
  // The value at `at`, counted in or ending the chain of each stride. The
  // widest stride goes first: when a stride-4 run closes at `at`, the
  // stride-2 runs have been followed up to just before it.
  void FeedValue(std::uint64_t at, std::uint64_t value) {
    const bool from_table = format_.relative == PointerBase::kTable;
    std::uint64_t target = 0;
    // Outside relative=table the target doesn't depend on the run.
    std::optional<std::uint64_t> plain;
    if (!from_table) {
      if (const auto t = TargetOfValue(format_, value, PointerSite{at, 0})) plain = t.value();
    }
    const bool plain_hit = plain && starts_.Has(*plain, file_size_);
    if (plain_hit) target = *plain;
    for (std::size_t s = kStrides.size(); s-- > 0;) {
      const unsigned stride = kStrides[s];
      if (stride < width_) continue;
      Chain& chain = chains_[s][at % stride];
      bool hit = plain_hit;
      if (from_table) {
        hit = chain.open && HitFrom(value, at, chain.start, target);
        if (!hit) {
          Close(chain, stride);
          hit = HitFrom(value, at, at, target);
        }
      }
      const bool own_width = !from_table && stride == width_;
      if (!hit) {
        if (own_width && HoldInGap(chain, value)) continue;
        Close(chain, stride);
        chain.miss_at = at;
        chain.miss_target = plain;
        continue;
      }
      if (!chain.open) {
        chain.open = true;
        chain.start = at;
        chain.targets.push_back(target);
        const bool just_before = chain.miss_target && chain.miss_at + stride == at;
        chain.before = own_width && just_before ? chain.miss_target : std::nullopt;
      }
      CloseGap(chain);
      chain.varied = chain.varied || target != chain.targets.front();
      chain.last = at;
      ++chain.count;
      if (chain.count > 1 && chain.targets.size() < options_.shown_targets) {
        chain.targets.push_back(target);
      }
      if (stride == 2) NoteStrideTwo(chain, at % 2);
    }
  }

  // A value that leads to no string, held while it may be a gap of the run.
  // Only at the type's own width: wider strides would find every other
  // entry of a table, and its gaps, once more.
  bool HoldInGap(Chain& chain, std::uint64_t value) const {
    // Entries that only every other time lead to a string are no gaps.
    if (!chain.open || chain.segment < 2 || chain.gap >= chain.segment) return false;
    if (chain.gap != 0) {
      if (value != chain.gap_value) return false;
    } else if (std::find(chain.skips.begin(), chain.skips.end(), value) == chain.skips.end() &&
               chain.skips.size() == options_.most_skips) {
      return false;
    }
    chain.gap_value = value;
    ++chain.gap;
    return true;
  }

  // The run goes on after a gap: its entries count, its value is skipped.
  static void CloseGap(Chain& chain) {
    ++chain.segment;
    if (chain.gap == 0) return;
    chain.segment = 1;
    chain.count += chain.gap;
    if (std::find(chain.skips.begin(), chain.skips.end(), chain.gap_value) == chain.skips.end()) {
      chain.skips.push_back(chain.gap_value);
    }
    chain.gap = 0;
  }

  void NoteStrideTwo(const Chain& chain, std::uint64_t phase) {
    std::array<Span, 2>& spans = recent_[phase];
    if (chain.count == 1) spans[1] = spans[0];
    spans[0] = Span{true, chain.start, chain.last};
  }

  // A stride-4 run that only takes every other entry of a stride-2 run. The
  // stride-2 run holding its last entry is the latest one of its phase, or
  // the one before if another began right after that entry.
  bool CoveredByStrideTwo(const Chain& narrow) const {
    for (const Span& wide : recent_[narrow.start % 2]) {
      if (wide.seen && wide.start <= narrow.start && narrow.last <= wide.last) return true;
    }
    return false;
  }

  bool HitFrom(std::uint64_t value, std::uint64_t at, std::uint64_t table_start,
               std::uint64_t& target) const {
    const auto t = TargetOfValue(format_, value, PointerSite{at, table_start});
    if (!t || !starts_.Has(t.value(), file_size_)) return false;
    target = t.value();
    return true;
  }

  // The entry before the run leads to the byte right after its last entry.
  static void TakeEntryBefore(Chain& chain, unsigned stride, std::size_t shown) {
    if (!chain.open || !chain.before || *chain.before != chain.last + stride) return;
    chain.start -= stride;
    ++chain.count;
    chain.varied = chain.varied || *chain.before != chain.targets.front();
    chain.targets.insert(chain.targets.begin(), *chain.before);
    if (chain.targets.size() > std::max<std::size_t>(shown, 1)) chain.targets.pop_back();
  }

  void Close(Chain& chain, unsigned stride) {
    TakeEntryBefore(chain, stride, options_.shown_targets);
    if (chain.open && chain.count >= options_.min_entries && chain.varied &&
        !(stride == 4 && CoveredByStrideTwo(chain))) {
      std::sort(chain.skips.begin(), chain.skips.end());
      best_.Offer(TableCandidate{chain.start, stride, chain.count, chain.targets, chain.skips});
    }
    chain.open = false;
    chain.count = 0;
    chain.varied = false;
    chain.gap = 0;
    chain.segment = 0;
    chain.before.reset();
    chain.targets.clear();
    chain.skips.clear();
  }

  const PointerFormat& format_;
  unsigned width_;
  std::uint64_t file_size_;
  StartSet starts_;
  const TableSearchOptions& options_;
  std::array<std::array<Chain, 4>, kStrides.size()> chains_{};
  std::array<std::array<Span, 2>, 2> recent_{};  // per phase, the latest first
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

bool StringStarts::HasAmong(std::size_t from, std::size_t to, std::uint64_t offset) const {
  const auto low = static_cast<std::uint32_t>(offset);
  const auto begin = low_.begin() + static_cast<std::ptrdiff_t>(from);
  const auto end = low_.begin() + static_cast<std::ptrdiff_t>(to);
  const auto it = std::lower_bound(begin, end, low);
  return it != end && *it == low;
}

Result<TableSearch, IoError> FindPointerTables(
    const ReadInput& read, const PointerFormat& format, std::uint64_t file_size,
    const StringStarts& string_starts, std::size_t chunk_size, const TableSearchOptions& options,
    const ScanProgress& progress) {
  TableFinder finder(format, file_size, string_starts, options);
  auto scanned = ScanWindows(
      read, chunk_size, finder.width() - 1, 0,
      [&](const ScanWindow& w) {
        finder.FeedWindow(w);
        return true;
      },
      progress);
  if (!scanned) return Unexpected(scanned.error());
  return finder.Finish();
}

}  // namespace binconv
