#include "bench/script_game.h"

#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace binconv::bench {

bool WriteBigScriptGame(const std::filesystem::path& dir, std::size_t megabytes,
                        std::size_t strings) {
  constexpr std::uint64_t kTable = 0x100;
  constexpr std::uint64_t kBlock = 0x100000;
  const std::uint64_t size = std::uint64_t{megabytes} << 20;
  std::mt19937 random(7);
  // Texts of 10 to 40 single-byte kana codes (0x56..0x8F) and a line break.
  std::string block;
  std::vector<std::uint32_t> pointers;
  for (std::size_t i = 0; i < strings; ++i) {
    pointers.push_back(static_cast<std::uint32_t>(0x08000000 + kBlock + block.size()));
    for (std::size_t n = 10 + random() % 31; n > 0; --n) {
      block += static_cast<char>(n % 17 == 0 ? 0x24 : 0x56 + random() % 0x3A);
    }
    block += '\xFF';
  }
  const std::uint64_t block_end = kBlock + block.size() + 0x1000;
  std::ofstream game(dir / "game.bin", std::ios::binary | std::ios::trunc);
  std::string chunk(1 << 20, '\0');
  for (std::uint64_t at = 0; at < size; at += chunk.size()) {
    for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>((at + i) * 13);
    if (at == 0) {
      for (std::size_t i = 0; i < pointers.size(); ++i) {
        for (int b = 0; b < 4; ++b) {
          chunk[kTable + 4 * i + b] = static_cast<char>(pointers[i] >> (8 * b));
        }
      }
    }
    game.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
  }
  game.seekp(static_cast<std::streamoff>(kBlock));
  game.write(block.data(), static_cast<std::streamsize>(block.size()));
  game.close();
  std::ofstream plan(dir / "plan.txt", std::ios::trunc);
  plan << "format gba u32le base=0x08000000\n"
       << "space 0x" << std::hex << (size - 0x100000) << "..0x" << (size - 1) << std::dec << "\n"
       << "script dialog.txt table=0x100 count=" << strings << " format=gba end=FF text=0x"
       << std::hex << kBlock << "..0x" << (block_end - 1) << std::dec << "\n";
  return static_cast<bool>(game) && static_cast<bool>(plan);
}

}  // namespace binconv::bench
