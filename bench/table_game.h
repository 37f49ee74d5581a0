#pragma once
// The worst case of the pointer-table finder: strings of 3 to 8 bytes ended
// by 00 fill the first 32 KiB, then come 8-entry u16le tables pointing at
// them one after another, each followed by two bytes that point nowhere.
// scan_bench runs the finder on it in memory; binconv-tablegen writes it for
// whole-process runs of pointers-to --tables-of.

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "scan/pointer_tables.h"

namespace binconv::bench {

class TableGame {
 public:
  TableGame();
  // The strings, the start of the game.
  const std::vector<std::uint8_t>& head() const { return head_; }
  const StringStarts& starts() const { return starts_; }
  // Appends the next table and its two filler bytes.
  void AppendTable(std::vector<std::uint8_t>& out);

 private:
  std::mt19937 random_{1};
  std::vector<std::uint8_t> head_;
  std::vector<std::uint16_t> offsets_;
  StringStarts starts_;
};

}  // namespace binconv::bench
