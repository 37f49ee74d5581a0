// Making a BPS patch: the target walked once, each place taking the action
// that saves the most bytes. Both files are read through caches of blocks,
// and the source is found through an index of bounded size, so memory
// follows PatchMemory and not the game.

#include <algorithm>
#include <bit>
#include <cstring>

#include "patch/patch_format.h"
#include "patch/patch_input.h"
#include "runtime/crc32.h"
#include "runtime/large_table.h"
#include "runtime/version.h"

namespace binconv {
namespace {

using enum detail::BpsAction;

using detail::InputCache;

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

std::size_t NumberSize(std::uint64_t value) {
  std::size_t size = 1;
  while (value >= 0x80) {
    value = (value >> 7) - 1;
    ++size;
  }
  return size;
}

std::uint64_t SignedNumber(std::uint64_t from, std::uint64_t to) {
  return to >= from ? (to - from) << 1 : ((from - to) << 1) | 1;
}

// Matches in the source are looked up by a hash of their first eight bytes;
// in the target, where repeated words of new text are worth a copy, four.
constexpr std::size_t kHashBytes = 8;
constexpr std::size_t kTargetHashBytes = 4;
// At least every fourth place of the source is indexed: a match found a
// little late is extended backwards, so only its first bytes may be lost.
constexpr std::uint64_t kSourceStep = 4;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

std::uint64_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

int TableBits(std::uint64_t entries, int most) {
  int bits = 12;
  while (bits < most && (std::uint64_t{1} << bits) < entries) ++bits;
  return bits;
}

// The last few places of each key of the target's new bytes, newest first,
// so that the longest of them can be taken. Each place keeps a byte of its
// key's hash: a place of another key, which can't match four bytes, is
// passed over without reading the target there. A bucket is a ring whose
// newest place moves back one slot at each new place, so that a new place
// writes one slot and its tag, not the whole bucket.
class TargetIndex {
 public:
  static constexpr std::size_t kWays = 32;
  // The ways of one key's bucket, newest first.
  struct Ways {
    const std::uint32_t* slots;
    std::uint32_t tagged;  // bit k: the k-th newest way has the key's tag
    std::size_t newest;    // its slot
    std::uint32_t At(int way) const {
      return slots[(newest + static_cast<std::size_t>(way)) % kWays];
    }
  };
  explicit TargetIndex(std::uint64_t entries)
      : bits_(TableBits(entries, 18)),
        slots_((std::size_t{1} << bits_) * kWays, kNone),
        tags_((std::size_t{1} << bits_) * kWays, 0),
        newest_(std::size_t{1} << bits_, 0) {}
  Ways WaysOf(const std::uint8_t* p) const {
    const Hash h = HashOf(p);
    const std::uint8_t* tags = &tags_[h.bucket * kWays];
    std::uint32_t tagged = 0;
    for (std::size_t slot = 0; slot < kWays; ++slot) {
      tagged |= static_cast<std::uint32_t>(tags[slot] == h.tag) << slot;
    }
    const std::size_t newest = newest_[h.bucket];
    return {&slots_[h.bucket * kWays], std::rotr(tagged, static_cast<int>(newest)), newest};
  }
  // The lines a place of `p` will read and write.
  void Prefetch(const std::uint8_t* p) const {
    const Hash h = HashOf(p);
    __builtin_prefetch(&tags_[h.bucket * kWays], 1);
    __builtin_prefetch(&slots_[h.bucket * kWays + (newest_[h.bucket] + kWays - 1) % kWays], 1);
  }
  void Insert(const std::uint8_t* p, std::uint32_t at) {
    const Hash h = HashOf(p);
    const std::size_t slot = (newest_[h.bucket] + kWays - 1) % kWays;
    newest_[h.bucket] = static_cast<std::uint8_t>(slot);
    slots_[h.bucket * kWays + slot] = at;
    tags_[h.bucket * kWays + slot] = h.tag;
  }

 private:
  struct Hash {
    std::size_t bucket;
    std::uint8_t tag;
  };
  Hash HashOf(const std::uint8_t* p) const {
    const std::uint64_t h = Load32(p) * 0x9E3779B97F4A7C15ull;
    // The tag is the eight bits below those that choose the bucket.
    return {static_cast<std::size_t>(h >> (64 - bits_)),
            static_cast<std::uint8_t>(h >> (56 - bits_))};
  }
  int bits_;
  std::vector<std::uint32_t, LargeAllocator<std::uint32_t>> slots_;
  std::vector<std::uint8_t, LargeAllocator<std::uint8_t>> tags_;
  std::vector<std::uint8_t> newest_;
};

// Places of the source by their first eight bytes, each with a check of
// the key so that a place is read only when it very likely matches.
class SourceIndex {
 public:
  SourceIndex(std::uint64_t source_size, int most_bits)
      : bits_(TableBits(source_size / kSourceStep, most_bits)),
        step_(std::max(kSourceStep, (source_size >> bits_) + 1)),
        slots_(std::size_t{1} << bits_, Slot{kNone, 0}) {}
  std::uint64_t step() const { return step_; }
  void Insert(const std::uint8_t* p, std::uint32_t at) {
    const std::uint64_t h = Load64(p) * 0x9E3779B97F4A7C15ull;
    slots_[h >> (64 - bits_)] = {at, Check(p)};
  }
  void Prefetch(const std::uint8_t* p) const {
    __builtin_prefetch(&slots_[(Load64(p) * 0x9E3779B97F4A7C15ull) >> (64 - bits_)]);
  }
  std::uint32_t Find(const std::uint8_t* p) const {
    const Slot& slot = slots_[(Load64(p) * 0x9E3779B97F4A7C15ull) >> (64 - bits_)];
    return slot.check == Check(p) ? slot.at : kNone;
  }

 private:
  struct Slot {
    std::uint32_t at;
    std::uint32_t check;
  };
  static std::uint32_t Check(const std::uint8_t* p) {
    return static_cast<std::uint32_t>((Load64(p) * 0xC2B2AE3D27D4EB4Full) >> 32);
  }
  int bits_;
  std::uint64_t step_;
  std::vector<Slot, LargeAllocator<Slot>> slots_;
};

std::size_t MatchLength(const std::uint8_t* a, const std::uint8_t* b, std::size_t limit) {
  std::size_t n = 0;
  while (n + 8 <= limit && Load64(a + n) == Load64(b + n)) n += 8;
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

// How many bytes from `ai` in `a` equal those from `bi` in `b`, up to
// `limit`, a block at a time. Two places of one cache must lie within its
// reach, or reading one would put the other out.
std::uint64_t MatchAcross(InputCache& a, std::uint64_t ai, InputCache& b, std::uint64_t bi,
                          std::uint64_t limit) {
  // Most places tried differ at once, as every place of noise does.
  if (limit == 0 || *a.At(ai) != *b.At(bi)) return 0;
  std::uint64_t n = 0;
  while (n < limit) {
    const std::uint8_t* pa = a.At(ai + n);
    const std::uint8_t* pb = b.At(bi + n);
    const std::size_t chunk = static_cast<std::size_t>(
        std::min<std::uint64_t>({limit - n, a.Available(ai + n), b.Available(bi + n)}));
    const std::size_t same = MatchLength(pa, pb, chunk);
    n += same;
    if (same < chunk) break;
  }
  return n;
}

// Earlier places of the target that a block of it may try in vain before it
// tries no more until a match is found or the next block begins. A try reads
// the target far back, and where four bytes come again and again with
// nothing after them alike (records of packed data, a file unrelated to the
// original) each of their places would try 32 of them; new text among old
// finds its repeats long before this runs out. The bytes are still indexed,
// so a later repeat of them is found.
constexpr std::uint64_t kFailedTriesPerBlock = 1024;
constexpr std::uint64_t kTryBlock = std::uint64_t{1} << 16;
// How far ahead of a byte sent as it is the indexes are read in advance.
constexpr std::size_t kLookAhead = 32;

class BpsEncoder {
 public:
  BpsEncoder(InputCache& source, InputCache& target, const PatchMemory& memory)
      : src_(source),
        tgt_(target),
        source_index_(source.size(), memory.index_bits),
        target_index_(std::min<std::uint64_t>(target.size(), std::uint64_t{1} << 18)) {
    const std::uint64_t indexed = std::min<std::uint64_t>(source.size(), kNone);
    for (std::uint64_t s = 0; s + kHashBytes <= indexed; s += source_index_.step()) {
      source_index_.Insert(src_.At(s), static_cast<std::uint32_t>(s));
    }
  }

  void Encode(std::vector<std::uint8_t>& out) {
    const std::uint64_t n = tgt_.size();
    std::uint64_t t = 0;
    std::uint64_t literal = 0;
    while (t < n) {
      Candidate best = Best(t);
      // A better match one byte later is worth that byte sent as it is.
      if (best.length == 0 || (best.kind != kSourceRead && t + 1 < n && Best(t + 1).gain > best.gain + 1)) {
        // Bytes sent as they are come one after another, each looked up at
        // random places of both indexes: ask for the places ahead of time.
        if (tgt_.Available(t) >= kLookAhead + kHashBytes) {
          const std::uint8_t* ahead = tgt_.At(t) + kLookAhead;
          target_index_.Prefetch(ahead);
          source_index_.Prefetch(ahead);
        }
        Index(t, t + 1);
        ++t;
        continue;
      }
      // A match found late may start before t.
      InputCache& base = best.kind == kTargetCopy ? tgt_ : src_;
      while (best.kind != kSourceRead && t > literal && best.from > 0 &&
             *tgt_.At(t - 1) == *base.At(best.from - 1)) {
        --t;
        --best.from;
        ++best.length;
      }
      Literal(out, literal, t);
      Emit(out, best, t);
      failed_tries_ = 0;
      // New text copied from earlier new text may be copied again; a run
      // is found again as a run.
      if (best.kind == kTargetCopy && best.from + 1 != t) Index(t, t + best.length);
      t += best.length;
      literal = t;
    }
    Literal(out, literal, n);
  }

 private:
  struct Candidate {
    std::uint64_t kind = kSourceRead;
    std::uint64_t from = 0;
    std::uint64_t length = 0;
    std::uint64_t gain = 0;  // bytes saved against sending the bytes as they are
  };

  // Whether the match is worth an action at all.
  bool Consider(Candidate& best, std::uint64_t kind, std::uint64_t from, std::uint64_t length,
                std::uint64_t cost) {
    if (length <= cost + 1) return false;
    const std::uint64_t gain = length - cost;
    if (gain > best.gain) best = {kind, from, length, gain};
    return true;
  }

  Candidate Best(std::uint64_t t) {
    Candidate best;
    const std::uint64_t left = tgt_.size() - t;
    // A run of the byte before t, however long, is one copy of that byte
    // overlapping itself: fill after a grown game, a wiped block.
    if (t > 0) {
      const std::uint64_t length = MatchAcross(tgt_, t - 1, tgt_, t, left);
      Consider(best, kTargetCopy, t - 1, length,
               NumberSize(length << 2) + NumberSize(SignedNumber(target_rel_, t - 1)) + 1);
    }
    if (t < src_.size()) {
      const std::uint64_t length = MatchAcross(src_, t, tgt_, t, std::min(src_.size() - t, left));
      // Short reads pay off too: the next literal costs only its header.
      Consider(best, kSourceRead, t, length, NumberSize(length << 2) + 1);
      if (length >= 64) return best;
    }
    if (left < kTargetHashBytes) return best;
    if (t / kTryBlock != try_block_) {
      try_block_ = t / kTryBlock;
      failed_tries_ = 0;
    }
    const TargetIndex::Ways ways = failed_tries_ < kFailedTriesPerBlock
                                       ? target_index_.WaysOf(tgt_.At(t))
                                       : TargetIndex::Ways{};
    for (std::uint32_t tagged = ways.tagged; tagged != 0 && failed_tries_ < kFailedTriesPerBlock;
         tagged &= tagged - 1) {
      const std::uint64_t u = ways.At(std::countr_zero(tagged));
      if (u == kNone) break;  // the newer ways are filled first
      // Only as far back as the cache holds the target.
      if (u >= t || t - u > tgt_.reach()) continue;
      const std::uint64_t length = MatchAcross(tgt_, u, tgt_, t, left);
      if (!Consider(best, kTargetCopy, u, length,
                    NumberSize(length << 2) + NumberSize(SignedNumber(target_rel_, u)) + 1)) {
        ++failed_tries_;
      }
    }
    if (left < kHashBytes) return best;
    auto source_copy = [&](std::uint64_t s) {
      if (s >= src_.size()) return;
      const std::uint64_t length = MatchAcross(src_, s, tgt_, t, std::min(src_.size() - s, left));
      Consider(best, kSourceCopy, s, length,
               NumberSize(length << 2) + NumberSize(SignedNumber(source_rel_, s)) + 1);
    };
    // The last match from the source continued past the bytes sent since:
    // a stretch moved by an insertion or deletion goes on matching there.
    if (shifted_ && t > shift_target_end_) source_copy(shift_source_end_ + (t - shift_target_end_));
    if (const std::uint32_t s = source_index_.Find(tgt_.At(t)); s != kNone) source_copy(s);
    return best;
  }

  void Index(std::uint64_t begin, std::uint64_t end) {
    end = std::min({end, tgt_.size() - std::min<std::uint64_t>(tgt_.size(), kTargetHashBytes - 1),
                    std::uint64_t{kNone}});
    for (std::uint64_t t = begin; t < end; ++t) {
      target_index_.Insert(tgt_.At(t), static_cast<std::uint32_t>(t));
    }
  }

  void Literal(std::vector<std::uint8_t>& out, std::uint64_t begin, std::uint64_t end) {
    if (end == begin) return;
    detail::AppendBpsNumber(out, ((end - begin - 1) << 2) | kTargetRead);
    while (begin < end) {
      const std::uint8_t* p = tgt_.At(begin);
      const std::size_t piece =
          static_cast<std::size_t>(std::min<std::uint64_t>(end - begin, tgt_.Available(begin)));
      out.insert(out.end(), p, p + piece);
      begin += piece;
    }
  }

  void Emit(std::vector<std::uint8_t>& out, const Candidate& c, std::uint64_t t) {
    detail::AppendBpsNumber(out, ((c.length - 1) << 2) | c.kind);
    if (c.kind == kSourceCopy) {
      detail::AppendBpsNumber(out, SignedNumber(source_rel_, c.from));
      source_rel_ = c.from + c.length;
    } else if (c.kind == kTargetCopy) {
      detail::AppendBpsNumber(out, SignedNumber(target_rel_, c.from));
      target_rel_ = c.from + c.length;
    }
    if (c.kind != kTargetCopy) {
      shifted_ = true;
      shift_source_end_ = c.from + c.length;
      shift_target_end_ = t + c.length;
    }
  }

  InputCache& src_;
  InputCache& tgt_;
  SourceIndex source_index_;
  TargetIndex target_index_;
  std::uint64_t source_rel_ = 0;
  std::uint64_t target_rel_ = 0;
  std::uint64_t try_block_ = 0;
  std::uint64_t failed_tries_ = 0;  // in try_block_ since the last match
  bool shifted_ = false;
  std::uint64_t shift_source_end_ = 0;
  std::uint64_t shift_target_end_ = 0;
};

// The CRC-32 of every byte of `input`, read a block at a time.
Result<std::uint32_t, IoError> CrcOf(PatchInput& input) {
  if (input.whole() != nullptr) return Crc32({input.whole(), static_cast<std::size_t>(input.size())});
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(kPatchCopyBuffer, input.size())));
  std::uint32_t crc = 0;
  for (std::uint64_t at = 0; at < input.size();) {
    const auto piece = std::span(buffer).first(
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), input.size() - at)));
    if (auto read = input.ReadAt(at, piece); !read) return Unexpected(read.error());
    crc = UpdateCrc32(crc, piece);
    at += piece.size();
  }
  return crc;
}

}  // namespace

Result<std::vector<std::uint8_t>, IoError> MakeBpsFrom(PatchInput& original, PatchInput& modified,
                                                      const PatchMemory& memory) {
  auto source_crc = CrcOf(original);
  if (!source_crc) return Unexpected(source_crc.error());
  auto target_crc = CrcOf(modified);
  if (!target_crc) return Unexpected(target_crc.error());
  std::vector<std::uint8_t> out(std::begin(detail::kBpsMagic), std::end(detail::kBpsMagic));
  const std::string metadata = std::string("binconv ") + kVersion;
  detail::AppendBpsNumber(out, original.size());
  detail::AppendBpsNumber(out, modified.size());
  detail::AppendBpsNumber(out, metadata.size());
  out.insert(out.end(), metadata.begin(), metadata.end());
  InputCache source(original, memory.block_bytes, memory.source_blocks);
  InputCache target(modified, memory.block_bytes, memory.target_blocks);
  BpsEncoder(source, target, memory).Encode(out);
  for (const InputCache* read : {&source, &target}) {
    if (read->error()) return Unexpected(*read->error());
  }
  Put32(out, source_crc.value());
  Put32(out, target_crc.value());
  Put32(out, Crc32(out));
  return out;
}

std::vector<std::uint8_t> MakeBps(std::span<const std::uint8_t> original,
                                  std::span<const std::uint8_t> modified) {
  MemoryInput source(original);
  MemoryInput target(modified);
  // Memory reports no IoError.
  return MakeBpsFrom(source, target, PatchMemory{}).value();
}

}  // namespace binconv
