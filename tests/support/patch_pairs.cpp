#include "support/patch_pairs.h"

#include <algorithm>
#include <random>

namespace binconv::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kWords = 2000;

// Words of two-byte codes in the range a double-byte table uses.
std::vector<Bytes> Vocabulary(std::mt19937& rng, std::size_t words) {
  std::uniform_int_distribution<int> length(1, 4);
  std::uniform_int_distribution<int> lead(0x81, 0x9F);
  std::uniform_int_distribution<int> trail(0x40, 0xFC);
  std::vector<Bytes> vocabulary(words);
  for (Bytes& word : vocabulary) {
    for (int k = length(rng); k > 0; --k) {
      word.push_back(static_cast<std::uint8_t>(lead(rng)));
      word.push_back(static_cast<std::uint8_t>(trail(rng)));
    }
  }
  return vocabulary;
}

// Words come as often as natural language has them: the word of rank r with
// a weight of 1/r.
std::discrete_distribution<std::size_t> Zipf(std::size_t words) {
  std::vector<double> weights(words);
  for (std::size_t r = 0; r < words; ++r) weights[r] = 1.0 / static_cast<double>(r + 1);
  return {weights.begin(), weights.end()};
}

void Text(std::mt19937& rng, std::discrete_distribution<std::size_t>& pick,
          const std::vector<Bytes>& vocabulary, std::uint8_t* out, std::size_t n) {
  std::size_t i = 0;
  while (i < n) {
    const Bytes& word = vocabulary[pick(rng)];
    for (std::size_t k = 0; k < word.size() && i < n; ++k) out[i++] = word[k];
  }
}

}  // namespace

PatchPair TranslatedPair(std::size_t size, std::size_t spans, unsigned seed) {
  std::mt19937 rng(seed);
  const std::vector<Bytes> source_words = Vocabulary(rng, kWords);
  const std::vector<Bytes> target_words = Vocabulary(rng, kWords);
  std::discrete_distribution<std::size_t> pick = Zipf(kWords);
  PatchPair pair;
  pair.original.resize(size);
  std::uniform_int_distribution<int> kind(0, 2);
  std::uniform_int_distribution<std::size_t> block(16, 4096);
  std::uniform_int_distribution<int> byte(0, 255);
  for (std::size_t i = 0; i < size;) {
    const std::size_t n = std::min(block(rng), size - i);
    switch (kind(rng)) {
      case 0:
        for (std::size_t k = 0; k < n; ++k) pair.original[i + k] = static_cast<std::uint8_t>(byte(rng));
        break;
      case 1:
        std::fill_n(pair.original.begin() + static_cast<std::ptrdiff_t>(i), n,
                    static_cast<std::uint8_t>(byte(rng)));
        break;
      default:
        Text(rng, pick, source_words, &pair.original[i], n);
    }
    i += n;
  }
  pair.modified = pair.original;
  if (size < 8) return pair;
  std::uniform_int_distribution<std::size_t> length(8, 64);
  std::uniform_int_distribution<std::size_t> at(0, size - 8);
  for (std::size_t s = 0; s < spans; ++s) {
    const std::size_t begin = at(rng);
    Text(rng, pick, target_words, &pair.modified[begin], std::min(length(rng), size - begin));
  }
  return pair;
}

}  // namespace binconv::test
