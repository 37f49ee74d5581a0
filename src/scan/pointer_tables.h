#pragma once
// Finding a game's pointer tables: runs of values at one stride that all
// point at the start of a string.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "scan/byte_scan.h"

namespace binconv {

// The starts of a file's strings, added in increasing order and kept in 4
// bytes each (the low 32 bits, with where each 4 GiB of the file begins), so
// that millions of them fit in a few megabytes.
class StringStarts {
 public:
  // `offset` must be larger than every offset added before.
  void Add(std::uint64_t offset);
  std::size_t size() const { return low_.size(); }
  // The index of `offset` in the order of adding, if it was added.
  std::optional<std::size_t> Find(std::uint64_t offset) const;
  // Every offset, in order.
  template <class Visit>
  void ForEach(Visit visit) const {
    for (std::size_t segment = 0; segment < segments_.size(); ++segment) {
      const std::size_t end = segment + 1 < segments_.size() ? segments_[segment + 1] : low_.size();
      for (std::size_t i = segments_[segment]; i < end; ++i) {
        visit(std::uint64_t{segment} << 32 | low_[i]);
      }
    }
  }

 private:
  std::vector<std::uint32_t> low_;
  std::vector<std::size_t> segments_;  // index in low_ where each 4 GiB begins
};

namespace detail {

// The string starts below a file's size as bits, for the finder's lookup of
// every value: per 2 KiB, which of its 32-byte blocks hold a start and how
// many such blocks come before it; per such block, its starts. A lookup is
// three reads and no search; memory is 6 MB per GB and 4 bytes a start at
// most, as much as the starts themselves take.
class StartBits {
 public:
  StartBits(const StringStarts& starts, std::uint64_t file_size);
  bool Has(std::uint64_t offset) const {
    if (offset >= file_size_) return false;
    const std::uint64_t block = offset >> 5;
    const auto group = static_cast<std::size_t>(block >> 6);
    const std::uint64_t bit = std::uint64_t{1} << (block & 63);
    if ((blocks_[group] & bit) == 0) return false;
    const std::size_t index = before_[group] + BitsSet(blocks_[group] & (bit - 1));
    return (masks_[index] >> (offset & 31) & 1) != 0;
  }

 private:
  // std::popcount without the library call it is when the processor's
  // instruction can't be assumed.
  static std::size_t BitsSet(std::uint64_t x) {
    x -= (x >> 1) & 0x5555555555555555;
    x = (x & 0x3333333333333333) + ((x >> 2) & 0x3333333333333333);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0F;
    return static_cast<std::size_t>((x * 0x0101010101010101) >> 56);
  }

  std::uint64_t file_size_;
  std::vector<std::uint64_t> blocks_;  // per group, its blocks that hold a start
  // Per group, how many blocks before it hold a start: no more than the
  // starts, which are far fewer than 2^32 (the command refuses 4 million).
  std::vector<std::uint32_t> before_;
  std::vector<std::uint32_t> masks_;
};

// Under an address format of 16 bits, each value's target (kNoTarget where
// it has none) and whether a string starts there: the plain rule asked once
// per value rather than once per byte.
class ValueTargets {
 public:
  static constexpr std::uint64_t kNoTarget = ~std::uint64_t{0};
  // Empty for a format of other widths or relative to a place.
  ValueTargets(const PointerFormat& format, const StartBits& starts);
  bool empty() const { return targets_.empty(); }
  std::uint64_t TargetOf(std::uint64_t value) const { return targets_[static_cast<std::size_t>(value)]; }
  bool Hits(std::uint64_t value) const { return (hits_[static_cast<std::size_t>(value >> 6)] >> (value & 63) & 1) != 0; }

 private:
  std::vector<std::uint64_t> targets_;
  std::vector<std::uint64_t> hits_;
};

}  // namespace detail

struct TableCandidate {
  std::uint64_t start = 0;
  unsigned stride = 0;
  std::uint64_t count = 0;
  std::vector<std::uint64_t> first_targets;  // the first few entries' targets
  std::vector<std::uint64_t> skips;          // values of entries that are no strings
};

struct TableSearchOptions {
  std::uint64_t min_entries = 8;
  std::size_t shown_targets = 4;
  std::size_t most_skips = 2;  // distinct gap values one run may have
  // Only this many of the best candidates are kept, so that memory stays
  // flat however many runs a file holds.
  std::size_t most_candidates = 10'000;
};

struct TableSearch {
  std::vector<TableCandidate> candidates;
  std::uint64_t left_out = 0;  // candidates past most_candidates
};

// Every run of at least min_entries values, at stride 2, 3, 4 or 8 (no less
// than the type's width), each of which points inside a file of `file_size`
// bytes at one of `string_starts`. With relative=table a run counts from its
// own start. Elsewhere a run at the type's width:
// - goes on over a gap of entries holding one value (null or a filler), no
//   longer than the entries since the last gap, which must be two or more,
//   and names that value among its skips;
// - counts an entry that leads right past its last entry, before it or in
//   its middle (the run before and after such an entry being one): the
//   string that follows its table, which `string_starts` can't hold when the
//   table's bytes read as characters.
// A run whose entries all lead to one string is no table. Ordered by
// entries, most first, then by start; a run at a multiple of a narrower
// stride whose entries all belong to one run at that stride, which has more
// of them, is left out. Linear in the file's size; memory grows with
// most_candidates only.
Result<TableSearch, IoError> FindPointerTables(
    const ReadInput& read, const PointerFormat& format, std::uint64_t file_size,
    const StringStarts& string_starts, std::size_t chunk_size,
    const TableSearchOptions& options = {}, const ScanProgress& progress = {});

}  // namespace binconv
