#pragma once
// A .tbl and the grid of the two table files: a hex editor's table (ImHex,
// WindHex, Thingy32) holds "XX=c" for a page 0 code and "LLXX=c" for a code
// after a lead byte. Exporting gives the codes of what a text can be encoded
// to and decoding shows; importing places the entries that fit into the grid
// and writes the two table files.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chartable/char_table.h"
#include "chartable/tbl.h"
#include "runtime/problem.h"

namespace binconv {

struct TblExport {
  std::string bytes;  // the whole file, but the unwritable cells
  // Characters the encoding can't hold, with their cells, in cell order;
  // nothing is to be written when there are any.
  std::vector<CellCode> unwritable;
  // Page 0 cells at a lead byte, 24 or 50: a text can be encoded to them, but
  // every reader of the bytes (decode, a hex editor) takes the byte for
  // something else, so they are left out.
  std::vector<CellCode> shadowed;
};

// One entry for every cell decoding can show, in the order of the codes'
// bytes, with the line break as "*24" and the space as "50=" and U+3000,
// written by WriteTbl.
TblExport ExportTbl(const CharTable& table, TblEncoding encoding);

struct GridFit {
  CharTable table;
  std::vector<Problem> problems;  // in the order of the codes; the codes they name are left out
  std::size_t placed = 0;         // codes put into the grid
};

// Places each code that a cell can hold (one character, no comma, space or
// line end; one byte not reserved on page 0, or a lead byte and one byte);
// a line break "*24" and a space at 50 are the encoding's own and take no
// cell. Every other code is a problem at its line of `file`.
GridFit FitToGrid(std::span<const GameCode> codes, std::string_view file);

struct TblImport {
  GridFit fit;  // its problems are reading's and the grid's, in line order
  // With problems: whether the .tbl reads as a game's own table, read as
  // --tbl reads one, to be given that way instead.
  bool game_table = false;
};

// Reads the .tbl with ReadTbl in `encoding` and fits its codes into the grid.
// Reading's problems are named as the grid sees them: a line in no form the
// grid takes is kGridNotAnEntry, a code over 32 bytes kGridCodeTooLong and
// HEX= without text kGridNotOneChar; a code that a control code hides is no
// problem, as the grid holds no control codes.
TblImport ImportTbl(std::string_view bytes, std::string_view file, TblEncoding encoding);

struct TableFiles {
  std::string main;      // Zezovar.ini: pages 0 to 4
  std::string extended;  // Zezovar_ex.ini: page 5
};

// The two table files for `table`, each in code page 932 when every character
// fits, otherwise UTF-8 with a byte order mark, under a comment header that
// names `source` and, when given, `stamp` (when the import ran, ASCII), the
// same in both files so that a pair from two different imports shows.
TableFiles WriteTableFiles(const CharTable& table, std::u16string_view source,
                           std::string_view stamp = {});

// The stamp of the import-tbl header on the first line of a table file's
// bytes; nullopt when there is none.
std::optional<std::string> ImportStampOf(std::string_view file_bytes);

}  // namespace binconv
