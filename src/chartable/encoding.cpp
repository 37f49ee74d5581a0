#include "chartable/encoding.h"

#include <array>
#include <optional>
#include <vector>

#include "runtime/compare.h"

namespace binconv {
namespace detail {

Special ClassifySpecial(char16_t ch) {
  struct Folds {
    char16_t open, close, mark, space;
  };
  static const Folds folds{FoldForTextCompare(u'<'), FoldForTextCompare(u'>'),
                           FoldForTextCompare(kLineBreakMark), FoldForTextCompare(u'\u3000')};
  const char16_t f = FoldForTextCompare(ch);
  if (f == folds.open) return Special::kTagOpen;
  if (f == folds.close) return Special::kTagClose;
  if (f == folds.mark) return Special::kLineBreak;
  if (f == folds.space) return Special::kSpace;
  return Special::kNone;
}

std::span<const std::pair<char16_t, Special>> SpecialUnits() {
  static const std::vector<std::pair<char16_t, Special>> units = [] {
    std::vector<std::pair<char16_t, Special>> found;
    for (std::uint32_t c = 0; c <= 0xFFFF; ++c) {
      const auto ch = static_cast<char16_t>(c);
      if (const Special special = ClassifySpecial(ch); special != Special::kNone) {
        found.emplace_back(ch, special);
      }
    }
    return found;
  }();
  return units;
}

}  // namespace detail

ProducibleCells::ProducibleCells(const CharTable& table) {
  chars_.fill(kNone);
  for (std::uint8_t page = 0; page < kPages; ++page) {
    for (std::uint8_t row = 0; row < kRows; ++row) {
      for (std::uint8_t column = 0; column < kColumns; ++column) {
        const std::u16string& cell = table.Cell(page, row, column);
        if (cell.size() != 1 || detail::IsIntercepted(cell[0])) continue;
        const CellCode code{page, row, column};
        if (table.Find(cell[0]) != code) continue;
        chars_[static_cast<std::size_t>(code.index())] = cell[0];
      }
    }
  }
}

GameTable GameTableOf(const CharTable& table) {
  const ProducibleCells cells(table);
  auto text_of = [&](int page, std::uint8_t byte) {
    const std::optional<char16_t> ch = cells.CharAt(
        {static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(byte >> 4),
         static_cast<std::uint8_t>(byte & 15)});
    return ch ? std::u16string(1, *ch) : std::u16string();
  };
  std::vector<GameCode> codes;
  codes.reserve(256 + (kPages - 1) * 256);
  std::uint32_t line_break = 0;
  std::uint32_t space = 0;
  // The code of each cell that has one: page 0 has none at a lead byte.
  std::array<std::array<std::optional<std::uint32_t>, 256>, kPages> code_of{};
  // In the order of the codes' bytes, as a table file of them would list them.
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<std::uint8_t>(b);
    if (const int page = PageOfLeadByte(byte); page != 0) {
      for (int next = 0; next < 256; ++next) {
        const auto second = static_cast<std::uint8_t>(next);
        code_of[page][second] = static_cast<std::uint32_t>(codes.size());
        codes.push_back({{byte, second}, GameCodeKind::kText, text_of(page, second)});
      }
    } else if (byte == kLineBreakByte) {
      line_break = static_cast<std::uint32_t>(codes.size());
      codes.push_back({{byte}, GameCodeKind::kLineBreak, u""});
    } else if (byte == kSpaceByte) {
      space = static_cast<std::uint32_t>(codes.size());
      codes.push_back({{byte}, GameCodeKind::kText, u"\u3000"});
    } else {
      code_of[0][byte] = static_cast<std::uint32_t>(codes.size());
      codes.push_back({{byte}, GameCodeKind::kText, text_of(0, byte)});
    }
  }
  // Every character conversion takes for a line break or a space is typed
  // for those two codes.
  std::vector<GameTextAlias> aliases;
  for (const auto& [unit, special] : detail::SpecialUnits()) {
    if (special == detail::Special::kLineBreak) aliases.push_back({std::u16string(1, unit), line_break});
    if (special == detail::Special::kSpace) aliases.push_back({std::u16string(1, unit), space});
  }
  // A cell of a CR or an LF: conversion takes it for a line break, except a
  // lone one where only CR LF is a line break, which is typed for the cell.
  for (const char16_t ch : {u'\r', u'\n'}) {
    const std::optional<CellCode> cell = table.Find(ch);
    if (!cell) continue;
    const std::optional<std::uint32_t> code = code_of[cell->page][cell->byte()];
    if (code && table.Cell(cell->page, cell->row, cell->column).size() == 1) {
      aliases.push_back({std::u16string(1, ch), *code});
    }
  }
  return GameTable(std::move(codes), std::move(aliases));
}

}  // namespace binconv
