#pragma once
// CRC-32 as zip, PNG and ROM tools give it (reflected, polynomial 0xEDB88320),
// computed in pieces: pass the result of one piece into the next.

#include <cstdint>
#include <span>

namespace binconv {

// The CRC-32 of everything fed so far, `crc` being that of what came before
// (0 for nothing).
std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

}  // namespace binconv
