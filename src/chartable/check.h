#pragma once
// Finds the cells of a loaded table that don't work as their place suggests:
// cells conversion can never produce, and page 0 cells whose byte a game reads
// as something else. Every finding is a warning; the table still loads.

#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "chartable/char_table.h"
#include "chartable/game_table.h"
#include "runtime/problem.h"

namespace binconv {

enum class TableFindingKind {
  kMultiChar,     // more than one UTF-16 unit: only one-unit cells match
  kShadowed,      // the same character stands in an earlier cell, which wins
  kIntercepted,   // conversion turns the character into a tag mark, space or line break
  kReservedByte,  // a page 0 cell at a lead byte, 0x24 or 0x50
};

struct TableFinding {
  TableFindingKind kind;
  CellCode code;
  CellOrigin origin;
  std::u16string text;  // the cell
  // kShadowed: the cell that wins.
  CellCode winner{};
  CellOrigin winner_origin{};
};

struct PageUsage {
  int used = 0;        // cells that are not empty
  int producible = 0;  // cells that conversion can produce
};

// A character that stands in more than one cell, with all its places in
// page, row, column order; the first one wins.
struct DuplicateChar {
  char16_t ch;
  std::vector<CellCode> cells;
};

struct TableCheck {
  std::vector<TableFinding> findings;  // in page, row, column order
  std::array<PageUsage, kPages> pages{};
  std::vector<DuplicateChar> duplicates;  // in order of the first cell
};

TableCheck CheckCharTable(const CharTable& table);

// What a game's table that loads still gets wrong, in line order, each a
// Problem of `file`: a text that more than one code of the same kind has
// (kTblSameText, against the first), a code decode never reads before the
// end of the bytes (kTblNeverRead) or whose bytes begin a longer code
// (kTblBeginsLonger), a label of hex digits (kTblHexLabel), a text that typed
// back is not its code (kTblNotTypable), a second text for a code (kTblSeveralTexts,
// against its first entry) and a file of no entries (kTblNoCodes). Each names
// its entry in `what`.
std::vector<Problem> CheckGameTable(const GameTable& table, std::string_view file);

// The same with at most `most_of_a_kind` findings of each kind kept, the first
// in the file, so that a huge table's findings take no more room than a few;
// `counts` tells how many each kind had in all.
struct GameTableCheck {
  std::vector<Problem> findings;  // in line order
  std::map<ProblemCode, std::size_t> counts;
};
GameTableCheck CheckGameTable(const GameTable& table, std::string_view file,
                              std::size_t most_of_a_kind);

// The cell's code as a game sees it: "1A" on page 0, "21 1A" on page 2.
std::string DescribeCode(CellCode code);

}  // namespace binconv
