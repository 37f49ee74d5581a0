// binconv-tablegen: writes the game of many pointer tables that scan_bench
// gives the finder, at any size, for measuring pointers-to --tables-of as a
// whole process (with tables that give 30-4F characters, and --end 00).

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/table_game.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: binconv-tablegen MEGABYTES FILE\n", stderr);
    return 2;
  }
  const std::size_t size = std::strtoull(argv[1], nullptr, 10) << 20;
  std::FILE* file = std::fopen(argv[2], "wb");
  if (file == nullptr) {
    std::perror(argv[2]);
    return 1;
  }
  binconv::bench::TableGame game;
  std::vector<std::uint8_t> bytes = game.head();
  std::size_t written = 0;
  while (written < size) {
    while (bytes.size() < (std::size_t{1} << 20)) game.AppendTable(bytes);
    const std::size_t n = std::min(bytes.size(), size - written);
    if (std::fwrite(bytes.data(), 1, n, file) != n) break;
    written += n;
    bytes.clear();
  }
  const bool ok = written == size && std::fclose(file) == 0;
  if (!ok) std::perror(argv[2]);
  return ok ? 0 : 1;
}
