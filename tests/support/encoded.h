#pragma once
// What the one-pass encoder makes of a text, in one comparable value.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/encode.h"

namespace binconv::test {

struct Encoded {
  std::vector<std::uint8_t> bytes;
  bool odd = false;
  std::vector<EncodeProblem> problems = {};

  // "bytes 1A 2B | odd | nocode 1:2 U+03A9 | intag 2:3 U+0047" on one line,
  // so that failures show both sides.
  std::string Describe() const;
};

// Feeds `text` in pieces as long as `next_size` says (all of it at once when
// it is empty), then finishes.
Encoded Encode(const CharTable& table, LineBreaks line_breaks, std::u16string_view text,
               const std::function<std::size_t()>& next_size = {});

}  // namespace binconv::test
