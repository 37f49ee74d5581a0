#include "chartable/char_table.h"

#include <cassert>

namespace binconv {
namespace {

int IndexOf(int page, int row, int column) {
  assert(page >= 0 && page < kPages && row >= 0 && row < kRows && column >= 0 && column < kColumns);
  return (page * kRows + row) * kColumns + column;
}

}  // namespace

CharTable::CharTable() : cells_(kCells), origins_(kCells), index_(0x10000, kNoCell) {}

const std::u16string& CharTable::Cell(int page, int row, int column) const {
  return cells_[IndexOf(page, row, column)];
}

const CellOrigin& CharTable::Origin(int page, int row, int column) const {
  return origins_[IndexOf(page, row, column)];
}

void CharTable::SetCell(int page, int row, int column, std::u16string text, CellOrigin origin) {
  const int at = IndexOf(page, row, column);
  std::u16string old = std::move(cells_[at]);
  cells_[at] = std::move(text);
  origins_[at] = origin;
  // Only single-unit cells can match, so only they touch the index.
  if (old.size() == 1) Reindex(old[0]);
  const std::u16string& now = cells_[at];
  if (now.size() == 1 && (index_[now[0]] == kNoCell || index_[now[0]] > at)) {
    index_[now[0]] = static_cast<std::uint16_t>(at);
  }
}

void CharTable::Reindex(char16_t ch) {
  const std::optional<CellCode> first = detail::FirstCellByScan(*this, ch);
  index_[ch] = first ? static_cast<std::uint16_t>(first->index()) : kNoCell;
}

std::optional<CellCode> CharTable::Find(char16_t ch) const {
  const std::uint16_t at = index_[ch];
  if (at == kNoCell) return std::nullopt;
  return CellCode::FromIndex(at);
}

namespace detail {

std::optional<CellCode> FirstCellByScan(const CharTable& table, char16_t ch) {
  for (int i = 0; i < kCells; ++i) {
    const CellCode code = CellCode::FromIndex(i);
    const std::u16string& cell = table.Cell(code.page, code.row, code.column);
    if (cell.size() == 1 && cell[0] == ch) return code;
  }
  return std::nullopt;
}

}  // namespace detail

}  // namespace binconv
