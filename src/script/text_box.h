#pragma once
// The translator's checks of a script's texts against the game's text box:
// `width=N` characters on a line and `lines=M` lines in one box. A box ends
// at a line that ends in a line break shown with a text of its own (a .tbl's
// *HEX=TEXT, such as <page>); with the default tables a text is one box. A
// tag whose codes are line breaks breaks the line, as a typed break does.

#include <cstdint>
#include <string>
#include <vector>

#include "codec/string_end.h"
#include "runtime/problem.h"
#include "script/script_file.h"

namespace binconv {

struct TextBox {
  std::uint64_t width = 0;  // characters on one line; 0: no limit
  std::uint64_t lines = 0;  // lines in one box; 0: no limit
};

// One line the game shows of a script line, which a tag of line-break
// codes splits as a typed break does.
struct ShownLine {
  std::uint64_t width = 0;       // characters shown: a tag <...> shows none of its own
  std::size_t column_past = 0;   // of the first character past the width asked (0: none)
  std::size_t column = 1;        // where it starts in the script line
  bool new_box = false;          // it ends in a break that starts the next box
};

// The lines the game shows of one line of a script.
std::vector<ShownLine> ShownLinesOf(std::u16string_view line, const GameTable& encoding,
                                    std::uint64_t width = 0);

// Adds a problem, at its line and column, for every line of `entry` wider
// than the box and every line past the box's lines.
void CheckTextBox(const ScriptFileEntry& entry, const TextBox& box, const GameTable& encoding,
                  const std::string& shown_name, std::vector<Problem>& problems);

}  // namespace binconv
