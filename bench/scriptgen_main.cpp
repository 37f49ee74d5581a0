// binconv-scriptgen: writes the big game and plan of the script benchmarks,
// for measuring binconv-cli dump and insert as whole processes.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/script_game.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: binconv-scriptgen MEGABYTES STRINGS FOLDER\n", stderr);
    return 2;
  }
  const std::size_t megabytes = std::strtoull(argv[1], nullptr, 10);
  const std::size_t strings = std::strtoull(argv[2], nullptr, 10);
  if (megabytes == 0 || strings == 0 || strings * 64 > (megabytes << 20) / 2) {
    std::fputs("binconv-scriptgen: the strings must fit into half of the game\n", stderr);
    return 2;
  }
  return binconv::bench::WriteBigScriptGame(argv[3], megabytes, strings) ? 0 : 1;
}
