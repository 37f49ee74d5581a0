#pragma once
// Pairs of files for patch tests, fuzzing and benchmarks: a game-like
// original and the copy a translation leaves, with short text spans
// rewritten in place.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace binconv::test {

struct PatchPair {
  std::vector<std::uint8_t> original;
  std::vector<std::uint8_t> modified;
};

// `size` bytes of blocks of noise, runs of one byte and two-byte text, and a
// copy where `spans` stretches of 8 to 64 bytes are rewritten with other
// text, as inserting a script does. Words of text come as often as in natural
// language (Zipf's law). The same seed gives the same pair.
PatchPair TranslatedPair(std::size_t size, std::size_t spans, unsigned seed);

}  // namespace binconv::test
