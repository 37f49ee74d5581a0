// IPS: "PATCH", then records of a 3-byte offset, a 2-byte size and that many
// bytes (or, with size 0, a 2-byte count and one byte repeated), then "EOF",
// then optionally 3 bytes giving the size to truncate the result to. All
// numbers are big-endian.

#include <algorithm>
#include <array>
#include <cstring>

#include "patch/patch_format.h"

namespace binconv {
namespace {

constexpr std::array<std::uint8_t, 5> kIpsHeader{'P', 'A', 'T', 'C', 'H'};
constexpr std::array<std::uint8_t, 3> kIpsEof{'E', 'O', 'F'};
// A record here would read as the end marker.
constexpr std::uint64_t kEofOffset = 0x454F46;
constexpr std::size_t kMaxRecord = 0xFFFF;
// A plain record costs 5 bytes besides its data and an RLE record 8 in all,
// so a run is worth a record of its own only from these lengths: inside a
// change (the plain record must then be restarted) and at its edge.
constexpr std::size_t kRleInside = 14;
constexpr std::size_t kRleAtEdge = 9;
// Unchanged bytes shorter than this between two changes cost less inside one
// record than a new record's header.
constexpr std::size_t kMergeGap = 5;

void Put24(std::vector<std::uint8_t>& out, std::uint64_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 16));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}
void Put16(std::vector<std::uint8_t>& out, std::size_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

class IpsWriter {
 public:
  explicit IpsWriter(std::span<const std::uint8_t> modified) : modified_(modified) {
    out_.assign(kIpsHeader.begin(), kIpsHeader.end());
  }

  // Plain records for modified[begin, end).
  Result<Unit, Problem> Plain(std::uint64_t begin, std::uint64_t end) {
    while (begin < end) {
      // Starting one byte earlier rewrites a byte with its own value.
      const std::uint64_t start = begin == kEofOffset ? begin - 1 : begin;
      if (start >= kIpsOffsetLimit)
        return Unexpected(PatchProblem(ProblemCode::kIpsOutOfReach, start));
      const std::uint64_t stop = std::min<std::uint64_t>(end, start + kMaxRecord);
      Put24(out_, start);
      Put16(out_, static_cast<std::size_t>(stop - start));
      out_.insert(out_.end(), modified_.begin() + static_cast<std::ptrdiff_t>(start),
                  modified_.begin() + static_cast<std::ptrdiff_t>(stop));
      begin = stop;
    }
    return Unit{};
  }

  // RLE records for modified[begin, end), all one byte.
  Result<Unit, Problem> Run(std::uint64_t begin, std::uint64_t end) {
    if (begin == kEofOffset) {
      // A short plain record at 0x454F45 takes the run's first byte.
      if (auto r = Plain(begin, begin + 1); !r) return r;
      ++begin;
    }
    while (begin < end) {
      if (begin >= kIpsOffsetLimit)
        return Unexpected(PatchProblem(ProblemCode::kIpsOutOfReach, begin));
      const std::uint64_t stop = std::min<std::uint64_t>(end, begin + kMaxRecord);
      if (stop - begin < 3 || begin == kEofOffset) return Plain(begin, stop);
      Put24(out_, begin);
      Put16(out_, 0);
      Put16(out_, static_cast<std::size_t>(stop - begin));
      out_.push_back(modified_[begin]);
      begin = stop;
    }
    return Unit{};
  }

  // A changed stretch, with its runs of one byte as RLE records.
  Result<Unit, Problem> Change(std::uint64_t begin, std::uint64_t end) {
    std::uint64_t plain = begin;
    std::uint64_t i = begin;
    while (i < end) {
      std::uint64_t j = i + 1;
      while (j < end && modified_[j] == modified_[i]) ++j;
      const bool edge = i == begin || j == end;
      if (j - i >= (edge ? kRleAtEdge : kRleInside)) {
        if (auto r = Plain(plain, i); !r) return r;
        if (auto r = Run(i, j); !r) return r;
        plain = j;
      }
      i = j;
    }
    return Plain(plain, end);
  }

  std::vector<std::uint8_t> Finish(std::optional<std::uint64_t> truncate) {
    out_.insert(out_.end(), kIpsEof.begin(), kIpsEof.end());
    if (truncate) Put24(out_, *truncate);
    return std::move(out_);
  }

 private:
  std::span<const std::uint8_t> modified_;
  std::vector<std::uint8_t> out_;
};

}  // namespace

Result<std::vector<std::uint8_t>, Problem> MakeIps(std::span<const std::uint8_t> original,
                                                   std::span<const std::uint8_t> modified) {
  const std::size_t n = modified.size();
  const std::size_t common = std::min(original.size(), n);
  // The size after "EOF" has 24 bits too.
  if (n < original.size() && n >= kIpsOffsetLimit) {
    return Unexpected(PatchProblem(ProblemCode::kIpsOutOfReach, n));
  }
  IpsWriter writer(modified);
  // Every byte past the original's end must be written, changed or not.
  auto differs = [&](std::size_t i) { return i >= common || original[i] != modified[i]; };
  std::size_t i = 0;
  while (i < n) {
    // Skip what is the same, a word at a time where possible.
    while (i + 8 <= common && std::memcmp(&original[i], &modified[i], 8) == 0) i += 8;
    while (i < n && !differs(i)) ++i;
    if (i == n) break;
    const std::size_t begin = i;
    std::size_t end = i + 1;
    for (;;) {
      while (end < n && differs(end)) ++end;
      std::size_t next = end;
      while (next < n && next - end < kMergeGap && !differs(next)) ++next;
      if (next < n && next - end < kMergeGap) {
        end = next;
        continue;
      }
      break;
    }
    if (auto r = writer.Change(begin, end); !r) return Unexpected(r.error());
    i = end;
  }
  std::optional<std::uint64_t> truncate;
  if (n < original.size()) truncate = n;
  return writer.Finish(truncate);
}

namespace detail {

Result<IpsRecords, Problem> ReadIpsRecords(std::span<const std::uint8_t> patch) {
  if (patch.size() < kIpsHeader.size())
    return Unexpected(PatchProblem(ProblemCode::kPatchCutShort, patch.size()));
  if (!std::equal(kIpsHeader.begin(), kIpsHeader.end(), patch.begin())) {
    return Unexpected(PatchProblem(ProblemCode::kNotAPatch, 0));
  }
  IpsRecords ips;
  std::size_t pos = kIpsHeader.size();
  auto get = [&](std::size_t bytes) {
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < bytes; ++k) v = v << 8 | patch[pos + k];
    pos += bytes;
    return v;
  };
  for (;;) {
    const std::size_t at = pos;
    if (patch.size() - pos < 3) return Unexpected(PatchProblem(ProblemCode::kPatchNoEof, at));
    if (std::equal(kIpsEof.begin(), kIpsEof.end(), patch.begin() + static_cast<std::ptrdiff_t>(pos))) {
      pos += 3;
      break;
    }
    if (patch.size() - pos < 5) return Unexpected(PatchProblem(ProblemCode::kPatchCutShort, at));
    IpsRecord record;
    record.offset = get(3);
    record.size = get(2);
    record.rle = record.size == 0;
    if (record.rle) {
      if (patch.size() - pos < 3) return Unexpected(PatchProblem(ProblemCode::kPatchCutShort, at));
      record.size = get(2);
      record.fill = patch[pos++];
    } else {
      if (patch.size() - pos < record.size)
        return Unexpected(PatchProblem(ProblemCode::kPatchCutShort, at));
      record.data_at = pos;
      pos += record.size;
    }
    // At most 16 MiB and 64 KiB: records can't ask for more.
    ips.end = std::max<std::uint64_t>(ips.end, std::uint64_t{record.offset} + record.size);
    ips.records.push_back(record);
  }
  if (pos == patch.size()) return ips;
  if (patch.size() - pos != 3) return Unexpected(PatchProblem(ProblemCode::kPatchTrailing, pos));
  ips.truncate_at = pos;
  ips.truncate = get(3);
  return ips;
}

Result<std::uint64_t, Problem> IpsResultSize(const IpsRecords& ips, std::uint64_t source_size) {
  const std::uint64_t size = std::max(source_size, ips.end);
  if (!ips.truncate) return size;
  if (*ips.truncate > size) {
    return Unexpected(
        PatchProblem(ProblemCode::kPatchBadTruncation, ips.truncate_at, size, *ips.truncate));
  }
  return *ips.truncate;
}

}  // namespace detail

Result<std::vector<std::uint8_t>, Problem> ApplyIps(std::span<const std::uint8_t> source,
                                                    std::span<const std::uint8_t> patch) {
  auto read = detail::ReadIpsRecords(patch);
  if (!read) return Unexpected(read.error());
  const detail::IpsRecords& ips = read.value();
  auto size = detail::IpsResultSize(ips, source.size());
  if (!size) return Unexpected(size.error());
  std::vector<std::uint8_t> target(source.begin(), source.end());
  target.resize(static_cast<std::size_t>(std::max<std::uint64_t>(source.size(), ips.end)));
  for (const detail::IpsRecord& r : ips.records) {
    const auto to = target.begin() + static_cast<std::ptrdiff_t>(r.offset);
    if (r.rle) {
      std::fill_n(to, r.size, r.fill);
    } else {
      std::copy_n(patch.begin() + static_cast<std::ptrdiff_t>(r.data_at), r.size, to);
    }
  }
  target.resize(static_cast<std::size_t>(size.value()));
  return target;
}

}  // namespace binconv
