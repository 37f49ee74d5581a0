#pragma once
// The .tbl files of hex editors and script tools, one entry a line: HEX=TEXT,
// /HEX or /HEX=TEXT for an end, *HEX or *HEX=TEXT for a line break and
// $HEX=LABEL,N for a control code. Every .tbl is read by ReadTbl and written
// by WriteTbl; the grid of the two table files takes what fits (tbl_grid.h).

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chartable/game_table.h"
#include "runtime/problem.h"
#include "runtime/result.h"

namespace binconv {

enum class TblEncoding { kUtf8, kCp932 };

struct TblRead {
  // The entries that read, in file order. A line with a problem is left out,
  // and so is a second entry for a code.
  std::vector<GameCode> codes;
  // A second text for a code (HEX=TEXT again): two ways to type it, while
  // decode shows the first. A second entry of another kind is a problem.
  std::vector<GameTextAlias> aliases;
  std::vector<Problem> problems;  // in line order
};

// Reads a .tbl in `encoding`, or, without one, in UTF-8 (with or without a
// byte order mark) or code page 932, told apart as the table files are. Lines
// end at CR LF, CR or LF; blank lines, comments (#, ;, //) and the table's id
// (@NAME) are skipped, and so is a blank entry (HEX=). A line that is not valid UTF-8 is a problem, and the
// lines after it are read on. `file` names the .tbl in the problems.
TblRead ReadTbl(std::string_view bytes, std::string_view file,
                std::optional<TblEncoding> encoding = std::nullopt);

// The .tbl as a game's table; when it has problems, nothing is loaded.
Result<GameTable, std::vector<Problem>> ParseGameTable(std::string_view bytes,
                                                       std::string_view file);
// The same, freeing the file's bytes before the table is built from its
// entries, so that a big table's file and its indexes are not held at once.
Result<GameTable, std::vector<Problem>> ParseGameTableFreeing(std::string bytes,
                                                              std::string_view file);

struct TblWritten {
  std::string bytes;  // the whole file; empty when any code is unwritable
  // Indices of the codes whose text the encoding can't hold or that holds a
  // line end, and of controls without a label.
  std::vector<std::size_t> unwritable;
};

// The codes as a .tbl that ReadTbl reads back to the same codes in the same
// order: one entry a line in the order of `codes`, upper-case hex, the kind
// marks /, * and $, "=TEXT" left out for an end or line break without text,
// no comments; UTF-8 without a byte order mark and LF line ends, or code page
// 932 and CR LF for older Windows editors. The order is what the encoding
// decides by (the first of two codes of one length for a text, the first end,
// the first line break), so a table read from a file and written back
// encodes and decodes as the file did.
// The other texts of codes follow, each as a second entry for its code, which
// ReadTbl reads back as the same; their indices in `unwritable` follow the
// codes'.
TblWritten WriteTbl(std::span<const GameCode> codes, TblEncoding encoding = TblEncoding::kUtf8,
                    std::span<const GameTextAlias> aliases = {});

// The code's entry as WriteTbl writes it in UTF-8, without a line end: what
// a message shows of it.
std::string TblEntryOf(const GameCode& code);

// A code's other text as an entry of its own: the code with that text.
GameCode EntryOf(std::span<const GameCode> codes, const GameTextAlias& alias);

}  // namespace binconv
