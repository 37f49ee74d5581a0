#pragma once
// Finding a game's pointer tables: runs of values at one stride that all
// point at the start of a string.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "conversion/byte_scan.h"

namespace binconv {

struct TableCandidate {
  std::uint64_t start = 0;
  unsigned stride = 0;
  std::uint64_t count = 0;
  std::vector<std::uint64_t> first_targets;  // the first few entries' targets
};

struct TableSearchOptions {
  std::uint64_t min_entries = 8;
  std::size_t shown_targets = 4;
};

// Every run of at least min_entries values, at stride 2, 3 or 4 (no less
// than the type's width), each of which points inside a file of `file_size`
// bytes at one of `string_starts` (sorted). With relative=table a run counts
// from its own start. Ordered by entries, most first, then by start; a run
// at stride 4 that only takes every other entry of a stride-2 run is left
// out.
Result<std::vector<TableCandidate>, IoError> FindPointerTables(
    const ReadInput& read, const PointerFormat& format, std::uint64_t file_size,
    std::span<const std::uint64_t> string_starts, std::size_t chunk_size,
    const TableSearchOptions& options = {}, const ScanProgress& progress = {});

}  // namespace binconv
