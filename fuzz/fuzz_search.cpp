// search's byte scan on arbitrary input: read in chunks of a size the input
// picks, with short reads, it must list exactly the matches, marks and order
// a plain scan of every offset gives.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "chartable/encoding.h"
#include "scan/byte_scan.h"
#include "fuzz_support.h"

namespace binconv::fuzz {
namespace {

using Match = std::tuple<std::uint64_t, std::size_t, bool>;

std::string Describe(const std::vector<Match>& matches) {
  std::string text;
  for (const auto& [offset, pattern, lead] : matches) {
    text += std::to_string(offset) + ":" + std::to_string(pattern) + (lead ? "L " : " ");
  }
  return text;
}

}  // namespace
}  // namespace binconv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace binconv;
  using namespace binconv::fuzz;
  if (size < 3) return 0;
  const std::size_t chunk = 1 + data[0] % 32;
  const std::size_t count = 1 + data[1] % 4;
  std::size_t at = 2;
  // Each pattern: a length byte, then from where in the game it is copied
  // (so that matches are likely) or, with the top bit, its own bytes.
  std::vector<std::vector<std::uint8_t>> patterns;
  std::vector<std::size_t> from_game;  // lengths; 0 for a pattern of its own bytes
  for (std::size_t i = 0; i < count && at < size; ++i) {
    const std::uint8_t def = data[at++];
    const std::size_t length = 1 + def % 8;
    if (def & 0x80) {
      const std::size_t n = std::min(length, size - at);
      patterns.emplace_back(data + at, data + at + n);
      if (n == 0) patterns.back().push_back(0);
      at += n;
      from_game.push_back(0);
    } else {
      patterns.push_back({});  // filled from the game below
      from_game.push_back(length);
    }
  }
  const std::vector<std::uint8_t> game(data + at, data + size);
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    const std::size_t length = from_game[i];
    if (length == 0) continue;
    const std::size_t from = game.empty() ? 0 : (i * 7919) % game.size();
    patterns[i].assign(
        game.begin() + static_cast<std::ptrdiff_t>(from),
        game.begin() + static_cast<std::ptrdiff_t>(std::min(game.size(), from + length)));
    if (patterns[i].empty()) patterns[i].push_back(0);
  }

  std::vector<Match> expected;
  for (std::size_t p = 0; p < game.size(); ++p) {
    for (std::size_t i = 0; i < patterns.size(); ++i) {
      const auto& pat = patterns[i];
      if (p + pat.size() <= game.size() &&
          std::equal(pat.begin(), pat.end(), game.begin() + static_cast<std::ptrdiff_t>(p))) {
        expected.emplace_back(p, i, p > 0 && PageOfLeadByte(game[p - 1]) != 0);
      }
    }
  }

  std::size_t read_at = 0;
  std::size_t turn = 0;
  const ReadInput read = [&](std::span<std::uint8_t> buffer) -> Result<std::size_t, IoError> {
    // Short reads of varying size, as a pipe gives them.
    std::size_t n = std::min({buffer.size(), game.size() - read_at, 1 + (turn++ * 13) % chunk});
    std::copy_n(game.begin() + static_cast<std::ptrdiff_t>(read_at), n, buffer.begin());
    read_at += n;
    return n;
  };
  std::vector<Match> got;
  static const GameTable lead_bytes = GameTableOf(CharTable());
  const auto scanned = SearchBytes(read, &lead_bytes, patterns, chunk, [&](const ByteMatch& m) {
    got.emplace_back(m.offset, m.pattern, m.after_lead);
    return true;
  });
  FUZZ_CHECK(scanned.has_value(), "read error from memory");
  FUZZ_CHECK(got == expected, "chunk " + std::to_string(chunk) + "\nexpected " +
                                  Describe(expected) + "\n     got " + Describe(got));
  return 0;
}
