#pragma once
// Inputs for the scanners' tests: reads that end anywhere, the chunk sizes
// that put a chunk border at every place, and bytes that match often.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "scan/byte_scan.h"

namespace binconv::test {

// Reads of at most `most` bytes, shorter at random, as a pipe gives them.
// `data` must outlive the reader.
ReadInput ReaderOf(const std::vector<std::uint8_t>& data, std::size_t most, unsigned seed);

inline constexpr std::size_t kScanChunks[] = {1, 2, 3, 5, 8, 64, kScanChunkSize};

// Bytes from a few values, lead bytes among them, so that matches are common.
std::vector<std::uint8_t> Noise(std::size_t size, unsigned seed);

// The format the words name; throws BadResultAccess if they name none.
PointerFormat FormatOf(std::initializer_list<std::string_view> words);

}  // namespace binconv::test
