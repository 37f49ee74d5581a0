#pragma once
// The translator's checks of a script's texts against the game's text box:
// `width=N` characters on a line and `lines=M` lines in one box. A box ends
// at a line that ends in a line break shown with a text of its own (a .tbl's
// *HEX=TEXT, such as <page>); with the default tables a text is one box.

#include <cstdint>
#include <string>
#include <vector>

#include "codec/text_codec.h"
#include "runtime/problem.h"
#include "script/script_file.h"

namespace binconv {

struct TextBox {
  std::uint64_t width = 0;  // characters on one line; 0: no limit
  std::uint64_t lines = 0;  // lines in one box; 0: no limit
};

// The characters a script line shows: a tag <...> shows none of its own.
std::uint64_t ShownWidthOf(std::u16string_view line, std::size_t* column_past = nullptr,
                           std::uint64_t width = 0);

// Adds a problem, at its line and column, for every line of `entry` wider
// than the box and every line past the box's lines.
void CheckTextBox(const ScriptFileEntry& entry, const TextBox& box, const TextCodec& encoding,
                  const std::string& shown, std::vector<Problem>& problems);

}  // namespace binconv
