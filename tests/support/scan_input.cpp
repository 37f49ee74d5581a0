#include "support/scan_input.h"

#include <algorithm>
#include <memory>
#include <random>

#include "support/bytes.h"

namespace binconv::test {

ReadInput ReaderOf(const std::vector<std::uint8_t>& data, std::size_t most, unsigned seed) {
  auto at = std::make_shared<std::size_t>(0);
  auto rng = std::make_shared<std::mt19937>(seed);
  return [&data, most, at, rng](std::span<std::uint8_t> buffer) -> Result<std::size_t, IoError> {
    std::size_t n = std::min({most, buffer.size(), data.size() - *at});
    if (n > 1) n = std::uniform_int_distribution<std::size_t>(1, n)(*rng);
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(*at), n, buffer.begin());
    *at += n;
    return n;
  };
}

std::vector<std::uint8_t> Noise(std::size_t size, unsigned seed) {
  std::vector<std::uint8_t> data = RandomByteVector(size, seed);
  for (std::uint8_t& b : data) b = static_cast<std::uint8_t>(0x1E + b % 8);
  return data;
}

PointerFormat FormatOf(std::initializer_list<std::string_view> words) {
  return ParsePointerFormat(std::vector<std::string_view>(words)).value();
}

}  // namespace binconv::test
