#pragma once
// Scanning a game file of any size for bytes: the input is read in chunks
// into one buffer that keeps a few bytes of the previous chunk, so that a
// match across a chunk border is seen once and memory stays flat. On that
// seam: several byte strings found in one pass, and the pointers to given
// offsets.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "chartable/game_table.h"
#include "runtime/file.h"
#include "runtime/result.h"
#include "script/pointer_format.h"

namespace binconv {

// Gives at most buffer.size() bytes of the input, 0 at its end.
using ReadInput = std::function<Result<std::size_t, IoError>(std::span<std::uint8_t>)>;
// Told how many bytes of the input have been examined so far.
using ScanProgress = std::function<void(std::uint64_t)>;

// The chunk the command-line tool reads; tests pass tiny ones to put chunk
// borders everywhere.
inline constexpr std::size_t kScanChunkSize = std::size_t{1} << 20;

// "0x001F4A0", as the scans give offsets: at least seven digits, so that the
// lines of a file up to 256 MB line up.
inline constexpr int kOffsetDigits = 7;
std::string OffsetHex(std::uint64_t offset);

// Part of the input in memory: positions [from, to) of `bytes` are examined
// now, each exactly once over the whole scan. Each has `lookahead` bytes after
// it in `bytes` (fewer only at the end of the input) and `behind` bytes
// before it (fewer only at its start).
struct ScanWindow {
  std::span<const std::uint8_t> bytes;
  std::uint64_t offset = 0;  // of bytes[0] in the input
  std::size_t from = 0;
  std::size_t to = 0;
};

// Reads the whole input and visits its windows in order; `visit` returns
// false to stop early. Stops at the first read error.
Result<Unit, IoError> ScanWindows(const ReadInput& read, std::size_t chunk_size,
                                  std::size_t lookahead, std::size_t behind,
                                  const std::function<bool(const ScanWindow&)>& visit,
                                  const ScanProgress& progress = {});

struct ByteMatch {
  std::uint64_t offset = 0;
  std::size_t pattern = 0;  // index into the patterns searched for
  // The unit the byte before it begins would take its first byte, as a lead
  // byte takes the byte after it.
  bool after_lead = false;
};

// Every place where one of `patterns` (none empty) occurs, in file order and,
// at one offset, in pattern order; after_lead read through `units` (none:
// never). A memchr scan for one byte of each pattern
// (the first that is not a lead byte, a line break or a space, which are
// common in text) finds the candidates. `found` returns false to stop.
Result<Unit, IoError> SearchBytes(const ReadInput& read, const GameTable* units,
                                  std::span<const std::vector<std::uint8_t>> patterns,
                                  std::size_t chunk_size,
                                  const std::function<bool(const ByteMatch&)>& found,
                                  const ScanProgress& progress = {});

struct PointerHit {
  std::uint64_t offset = 0;  // where the pointer is
  std::uint64_t value = 0;
  std::uint64_t target = 0;
};

// Every byte offset whose value, read as the format's type, maps to one of
// `targets`, in file order. An address format has one value per target,
// found as bytes; with relative=self the value depends on the position, so
// every position is read. relative=table counts from a table's start, which
// a search can't know: such a format finds nothing (CanSearchPointers).
bool CanSearchPointers(const PointerFormat& format);
// A hit as pointers-to lists it: POINTER_OFFSET<TAB>VALUE<TAB>TARGET, the
// value as wide as the format's type.
std::string PointerHitLine(const PointerHit& hit, const PointerFormat& format);

// A target no pointer can lead to: past the end of the input, or (`why`)
// with no value in an address format.
struct UnreachableTarget {
  std::uint64_t offset = 0;
  std::optional<PointerMapErrorCode> why;
};
std::vector<UnreachableTarget> UnreachableTargets(const PointerFormat& format,
                                                  std::span<const std::uint64_t> targets,
                                                  std::optional<std::uint64_t> input_size);

Result<Unit, IoError> SearchPointers(const ReadInput& read, const PointerFormat& format,
                                     std::span<const std::uint64_t> targets, std::size_t chunk_size,
                                     const std::function<bool(const PointerHit&)>& found,
                                     const ScanProgress& progress = {});

}  // namespace binconv
