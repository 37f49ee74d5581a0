#include "scan/byte_scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>

#include "chartable/encoding.h"
#include "runtime/hex.h"
#include "scan/pointer_value.h"

namespace binconv {

std::string OffsetHex(std::uint64_t offset) { return HexNumber(offset, kOffsetDigits); }

std::string PointerHitLine(const PointerHit& hit, const PointerFormat& format) {
  const int digits = static_cast<int>(2 * WidthOf(format.type));
  return OffsetHex(hit.offset) + "\t" + HexNumber(hit.value, digits) + "\t" + OffsetHex(hit.target);
}

std::vector<UnreachableTarget> UnreachableTargets(const PointerFormat& format,
                                                  std::span<const std::uint64_t> targets,
                                                  std::optional<std::uint64_t> input_size) {
  std::vector<UnreachableTarget> unreachable;
  for (const std::uint64_t offset : targets) {
    const auto value = ValueOfTarget(format, offset, PointerSite{});
    if (input_size && offset >= *input_size) {
      unreachable.push_back({offset, std::nullopt});
    } else if (format.relative == PointerBase::kAddress && !value) {
      unreachable.push_back({offset, value.error()});
    }
  }
  return unreachable;
}

namespace {

// The byte a pattern is looked for by: the first that is not a lead byte, a
// line break or a space, which are the commonest bytes of encoded text.
std::size_t AnchorOf(std::span<const std::uint8_t> pattern) {
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (!IsReservedByte(pattern[i])) return i;
  }
  return 0;
}

// Finds the matches of one pattern inside a window, one at a time.
class PatternCursor {
 public:
  PatternCursor(std::span<const std::uint8_t> pattern, std::size_t index)
      : pattern_(pattern), index_(index), anchor_(AnchorOf(pattern)) {}

  // Starts on a new window.
  void Reset(const ScanWindow& window) {
    window_ = &window;
    next_ = window.from;
    Advance();
  }
  bool done() const { return !found_; }
  std::size_t start() const { return start_; }
  std::size_t index() const { return index_; }
  void Next() {
    next_ = start_ + 1;
    Advance();
  }

 private:
  void Advance() {
    found_ = false;
    const std::uint8_t* base = window_->bytes.data();
    const std::size_t size = window_->bytes.size();
    const std::size_t length = pattern_.size();
    if (next_ >= window_->to) return;
    std::size_t at = next_ + anchor_;
    const std::size_t limit = std::min(window_->to + anchor_, size);
    const std::uint8_t wanted = pattern_[anchor_];
    while (at < limit) {
      const void* hit = std::memchr(base + at, wanted, limit - at);
      if (hit == nullptr) return;
      const std::size_t pos =
          static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - base);
      const std::size_t start = pos - anchor_;
      if (start + length <= size && std::memcmp(base + start, pattern_.data(), length) == 0) {
        start_ = start;
        found_ = true;
        return;
      }
      at = pos + 1;
    }
  }

  std::span<const std::uint8_t> pattern_;
  std::size_t index_;
  std::size_t anchor_;
  const ScanWindow* window_ = nullptr;
  std::size_t next_ = 0;
  std::size_t start_ = 0;
  bool found_ = false;
};

std::uint64_t MaskOf(PointerType type) {
  const unsigned bits = 8 * WidthOf(type);
  return bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
}

// relative=self: the value at position p points at t when (value + p) and t
// agree in the type's bits; TargetOfValue then settles the sign and range.
template <PointerType kType>
Result<Unit, IoError> SearchSelfRelative(const ReadInput& read, const PointerFormat& format,
                                         std::span<const std::uint64_t> targets,
                                         std::size_t chunk_size,
                                         const std::function<bool(const PointerHit&)>& found,
                                         const ScanProgress& progress) {
  const std::uint64_t mask = MaskOf(kType);
  const std::size_t width = WidthOf(kType);
  std::vector<std::uint64_t> masked;
  for (const std::uint64_t t : targets) masked.push_back(t & mask);
  std::sort(masked.begin(), masked.end());
  masked.erase(std::unique(masked.begin(), masked.end()), masked.end());
  const bool one = masked.size() == 1;
  const std::uint64_t only = masked.empty() ? 0 : masked.front();
  auto wanted = [&](std::uint64_t target) {
    return std::binary_search(targets.begin(), targets.end(), target);
  };
  return ScanWindows(
      read, chunk_size, width - 1, 0,
      [&](const ScanWindow& w) {
        const std::uint8_t* base = w.bytes.data();
        const std::size_t to = std::min(w.to, w.bytes.size() - std::min(w.bytes.size(), width - 1));
        for (std::size_t p = w.from; p < to; ++p) {
          const std::uint64_t value = LoadValue<kType>(base + p);
          const std::uint64_t at = w.offset + p;
          const std::uint64_t sum = (value + at) & mask;
          if (one ? sum != only : !std::binary_search(masked.begin(), masked.end(), sum)) continue;
          const auto target = TargetOfValue(format, value, PointerSite{at, 0});
          if (!target || !wanted(target.value())) continue;
          if (!found(PointerHit{at, value, target.value()})) return false;
        }
        return true;
      },
      progress);
}

}  // namespace

Result<Unit, IoError> ScanWindows(const ReadInput& read, std::size_t chunk_size,
                                  std::size_t lookahead, std::size_t behind,
                                  const std::function<bool(const ScanWindow&)>& visit,
                                  const ScanProgress& progress) {
  chunk_size = std::max<std::size_t>(chunk_size, 1);
  // Whatever is kept of a window is at most lookahead + behind bytes, so a
  // whole chunk always fits after it.
  std::vector<std::uint8_t> buffer(chunk_size + lookahead + behind);
  std::size_t length = 0;
  std::size_t from = 0;
  std::uint64_t offset = 0;
  for (bool at_end = false; !at_end;) {
    auto got = read(std::span(buffer.data() + length, buffer.size() - length));
    if (!got) return Unexpected(got.error());
    at_end = got.value() == 0;
    length += got.value();
    std::size_t to = from;
    if (at_end) {
      to = length;
    } else if (length > from + lookahead) {
      to = length - lookahead;
    }
    if (to > from) {
      if (!visit(ScanWindow{std::span(buffer.data(), length), offset, from, to})) return Unit{};
      if (progress) progress(offset + to);
    }
    const std::size_t keep_from = to - std::min(to, behind);
    std::memmove(buffer.data(), buffer.data() + keep_from, length - keep_from);
    length -= keep_from;
    offset += keep_from;
    from = to - keep_from;
  }
  return Unit{};
}

Result<Unit, IoError> SearchBytes(const ReadInput& read, const GameTable* units,
                                  std::span<const std::vector<std::uint8_t>> patterns,
                                  std::size_t chunk_size,
                                  const std::function<bool(const ByteMatch&)>& found,
                                  const ScanProgress& progress) {
  std::size_t longest = 1;
  std::vector<PatternCursor> cursors;
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    if (patterns[i].empty()) continue;
    longest = std::max(longest, patterns[i].size());
    cursors.emplace_back(patterns[i], i);
  }
  return ScanWindows(
      read, chunk_size, longest - 1, 1,
      [&](const ScanWindow& w) {
        for (PatternCursor& c : cursors) c.Reset(w);
        // Merges the patterns' matches into file order, lowest index first at
        // one offset; nothing is collected, so memory stays flat however
        // many there are.
        for (;;) {
          PatternCursor* first = nullptr;
          for (PatternCursor& c : cursors) {
            if (!c.done() && (first == nullptr || c.start() < first->start())) first = &c;
          }
          if (first == nullptr) return true;
          const std::size_t start = first->start();
          // A unit begun by the byte before would take the match's first byte.
          const bool after_lead = units != nullptr && start > 0 &&
                                  units->ReadUnit(w.bytes.subspan(start - 1), true).size > 1;
          if (!found(ByteMatch{w.offset + start, first->index(), after_lead})) return false;
          first->Next();
        }
      },
      progress);
}

// SearchSelfRelative made for each type, in PointerType's order.
constexpr std::array kSelfRelativeSearches{
    &SearchSelfRelative<PointerType::kU16le>, &SearchSelfRelative<PointerType::kU16be>,
    &SearchSelfRelative<PointerType::kU24le>, &SearchSelfRelative<PointerType::kU24be>,
    &SearchSelfRelative<PointerType::kU32le>, &SearchSelfRelative<PointerType::kU32be>};

bool CanSearchPointers(const PointerFormat& format) {
  return format.relative != PointerBase::kTable;
}

Result<Unit, IoError> SearchPointers(const ReadInput& read, const PointerFormat& format,
                                     std::span<const std::uint64_t> targets, std::size_t chunk_size,
                                     const std::function<bool(const PointerHit&)>& found,
                                     const ScanProgress& progress) {
  std::vector<std::uint64_t> sorted(targets.begin(), targets.end());
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  if (format.relative == PointerBase::kSelf) {
    return kSelfRelativeSearches[static_cast<std::size_t>(format.type)](
        read, format, sorted, chunk_size, found, progress);
  }
  // An address format: each target has one value, whatever the position.
  std::vector<std::vector<std::uint8_t>> patterns;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> meant;  // value, target
  if (CanSearchPointers(format)) {
    for (const std::uint64_t t : sorted) {
      const auto value = ValueOfTarget(format, t, PointerSite{});
      if (!value) continue;  // no value of the type points there
      std::vector<std::uint8_t> bytes(WidthOf(format.type));
      WritePointer(format.type, value.value(), bytes.data());
      patterns.push_back(std::move(bytes));
      meant.emplace_back(value.value(), t);
    }
  }
  if (patterns.empty()) {
    // Nothing to look for, but the input is still read, so that a read
    // error is reported as for any other search.
    return ScanWindows(
        read, chunk_size, 0, 0, [](const ScanWindow&) { return true; }, progress);
  }
  return SearchBytes(
      read, nullptr, patterns, chunk_size,
      [&](const ByteMatch& m) {
        return found(PointerHit{m.offset, meant[m.pattern].first, meant[m.pattern].second});
      },
      progress);
}

}  // namespace binconv
