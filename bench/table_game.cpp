#include "bench/table_game.h"

namespace binconv::bench {

TableGame::TableGame() {
  while (head_.size() < 0x8000) {
    offsets_.push_back(static_cast<std::uint16_t>(head_.size()));
    starts_.Add(head_.size());
    const std::size_t length = 3 + random_() % 6;
    for (std::size_t i = 0; i < length; ++i) {
      head_.push_back(static_cast<std::uint8_t>(0x30 + random_() % 0x20));
    }
    head_.push_back(0);
  }
}

void TableGame::AppendTable(std::vector<std::uint8_t>& out) {
  for (int i = 0; i < 8; ++i) {
    const std::uint16_t value = offsets_[random_() % offsets_.size()];
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
  }
  out.push_back(0xEE);
  out.push_back(0xEE);
}

}  // namespace binconv::bench
