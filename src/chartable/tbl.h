#pragma once
// The table format hex editors share (ImHex, WindHex, Thingy32): one entry a
// line, "XX=c" for a one-byte code and "LLXX=c" for a code after a lead byte.
// Exporting writes what a text can be encoded to and decoding shows; importing
// places such entries into the grid and writes the two table files.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chartable/char_table.h"

namespace binconv {

enum class TblEncoding { kUtf8, kCp932 };

struct TblExport {
  std::string bytes;  // the whole file
  // Characters the encoding can't hold, with their cells; nothing is to be
  // written when there are any.
  std::vector<CellCode> unwritable;
  // Page 0 cells at a lead byte, 24 or 50: a text can be encoded to them, but
  // every reader of the bytes (decode, a hex editor) takes the byte for
  // something else, so they are left out.
  std::vector<CellCode> shadowed;
};

// One entry for every cell decoding can show, in the order of the codes'
// bytes, with the line break as "*24" and the space as "50=" and U+3000.
// UTF-8 ends lines with LF, code page 932 (for older Windows editors) with
// CR LF.
TblExport ExportTbl(const CharTable& table, TblEncoding encoding);

enum class TblErrorCode {
  kBadUtf8,        // the line is not valid UTF-8
  kNotAnEntry,     // not CODE=VALUE with a code of hex byte pairs, nor *24
  kCodeTooLong,    // a code of more than two bytes
  kOtherLeadByte,  // a two-byte code whose first byte is not 20, 21, 22, 23 or 18
  kReservedByte,   // a one-byte code at 18, 20-24 or 50 (other than the fixed line
                   // break *24 and the space 50=U+3000)
  kOtherLineBreak,  // a line break "*XX" at another code than 24, the tables' own
  kNotOneChar,     // the value is not exactly one UTF-16 unit
  kUnstorable,     // a comma, a space or a line end, which a table file can't hold
  kDuplicate,      // a second entry for a code; other_line has the first
};

struct TblError {
  TblErrorCode code;
  std::size_t line = 0;        // 1-based line of the .tbl
  std::size_t other_line = 0;  // kDuplicate
  std::u16string text{};       // the entry's line as read
};

struct TblImport {
  CharTable table;
  std::vector<TblError> errors;  // in line order; the entries they name are left out
  std::size_t placed = 0;        // entries put into the grid
};

// A byte order mark at the start is skipped; lines end at CR LF, CR or LF;
// blank lines are skipped.
TblImport ImportTbl(std::string_view bytes, TblEncoding encoding);

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
