#pragma once
// The sizes of the blocks the fast paths fill and of a read. A build with
// BINCONV_SMALL_BLOCKS (the fuzz build) shrinks each to a few units, each a
// different one, so that short inputs cross many block and read boundaries.

#include <cstddef>

namespace binconv {

#if defined(BINCONV_SMALL_BLOCKS)
inline constexpr bool kSmallBlocks = true;
#else
inline constexpr bool kSmallBlocks = false;
#endif

// `normal`, or `small` in a small-blocks build.
constexpr std::size_t BlockSize(std::size_t normal, std::size_t small) {
  return kSmallBlocks ? small : normal;
}

// Bytes a command reads at a time.
inline constexpr std::size_t kReadChunk = BlockSize(64 * 1024, 29);
// Units of text the encoder takes per block, from UTF-8 or UTF-16.
inline constexpr std::size_t kEncodeBlock = BlockSize(1024, 3);
// Units of text the listing converter takes per block.
inline constexpr std::size_t kConvertBlock = BlockSize(512, 5);
// Units of listing the listing parser takes per block.
inline constexpr std::size_t kListingBlock = BlockSize(1024, 7);
// Bytes of UTF-8 decoded before the direct way is tried again.
inline constexpr std::size_t kDecodeStep = BlockSize(32, 4);

}  // namespace binconv
