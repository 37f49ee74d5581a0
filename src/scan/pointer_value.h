#pragma once
// A pointer's value read for one type known when compiling, for the scans'
// loops over every position: ReadPointer without its switch and loop.

#include <cstdint>

#include "script/pointer_format.h"

namespace binconv {

template <PointerType kType>
inline std::uint64_t LoadValue(const std::uint8_t* b) {
  if constexpr (kType == PointerType::kU16le) return b[0] | unsigned{b[1]} << 8;
  if constexpr (kType == PointerType::kU16be) return unsigned{b[0]} << 8 | b[1];
  if constexpr (kType == PointerType::kU24le)
    return b[0] | unsigned{b[1]} << 8 | unsigned{b[2]} << 16;
  if constexpr (kType == PointerType::kU24be)
    return unsigned{b[0]} << 16 | unsigned{b[1]} << 8 | b[2];
  if constexpr (kType == PointerType::kU32le)
    return std::uint64_t{b[0]} | std::uint64_t{b[1]} << 8 | std::uint64_t{b[2]} << 16 |
           std::uint64_t{b[3]} << 24;
  if constexpr (kType == PointerType::kU32be)
    return std::uint64_t{b[0]} << 24 | std::uint64_t{b[1]} << 16 | std::uint64_t{b[2]} << 8 |
           std::uint64_t{b[3]};
  return 0;
}

}  // namespace binconv
