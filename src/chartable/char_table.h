#pragma once
// The 6 x 16 x 16 grid of characters that defines the encoding. A character's
// place is its code: the row and column give the byte, the page its lead code.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace binconv {

inline constexpr int kPages = 6;
inline constexpr int kRows = 16;
inline constexpr int kColumns = 16;
inline constexpr int kCells = kPages * kRows * kColumns;

struct CellCode {
  std::uint8_t page;
  std::uint8_t row;
  std::uint8_t column;
  std::uint8_t byte() const { return static_cast<std::uint8_t>(row * 16 + column); }
  int index() const { return (page * kRows + row) * kColumns + column; }
  static constexpr CellCode FromIndex(int index) {
    return {static_cast<std::uint8_t>(index / (kRows * kColumns)),
            static_cast<std::uint8_t>(index / kColumns % kRows),
            static_cast<std::uint8_t>(index % kColumns)};
  }
  friend bool operator==(const CellCode&, const CellCode&) = default;
};

// Where a cell's text came from, for messages about the tables.
struct CellOrigin {
  std::uint8_t file = 0;     // 0: the main table, 1: the extended table
  std::uint32_t line = 0;    // 1-based line in that file; 0 when set by code
  std::uint32_t column = 0;  // 1-based character column where the cell's piece starts
};

class CharTable {
 public:
  CharTable();  // every cell empty

  const std::u16string& Cell(int page, int row, int column) const;
  const CellOrigin& Origin(int page, int row, int column) const;
  void SetCell(int page, int row, int column, std::u16string text, CellOrigin origin = {});

  // The first cell in page, row, column order whose text is exactly `ch`;
  // O(1) through an index kept up to date by SetCell from FirstCellByScan.
  std::optional<CellCode> Find(char16_t ch) const;

 private:
  static constexpr std::uint16_t kNoCell = 0xFFFF;
  void Reindex(char16_t ch);

  std::vector<std::u16string> cells_;
  std::vector<CellOrigin> origins_;
  std::vector<std::uint16_t> index_;  // code unit -> first cell index, or kNoCell
};

namespace detail {

// The plain lookup rule, a scan of every cell; Find's index is built from it
// and tested against it.
std::optional<CellCode> FirstCellByScan(const CharTable& table, char16_t ch);

}  // namespace detail

}  // namespace binconv
