#include "script/text_box.h"

#include "runtime/utf8.h"

namespace binconv {

std::uint64_t ShownWidthOf(std::u16string_view line, std::size_t* column_past,
                           std::uint64_t width) {
  std::uint64_t count = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == u'<') {
      // A tag stands for codes, not for letters the box shows as typed.
      const std::size_t close = line.find(u'>', i + 1);
      if (close != std::u16string_view::npos) {
        i = close;
        continue;
      }
    }
    ++count;
    if (column_past != nullptr && count == width + 1) *column_past = i + 1;
  }
  return count;
}

namespace {

// Whether `line` ends a box: it ends in the text of a line break that shows one.
bool EndsBox(std::u16string_view line, const TextCodec& encoding) {
  const GameTable* game = encoding.game();
  if (game == nullptr) return false;
  for (const GameCode& code : game->codes()) {
    if (code.kind == GameCodeKind::kLineBreak && !code.text.empty() && line.ends_with(code.text)) {
      return true;
    }
  }
  return false;
}

}  // namespace

void CheckTextBox(const ScriptFileEntry& entry, const TextBox& box, const TextCodec& encoding,
                  const std::string& shown, std::vector<Problem>& problems) {
  std::uint64_t in_box = 0;
  for (const ScriptTextLine& line : entry.lines) {
    const auto text = DecodeUtf8(line.text);
    if (!text) continue;  // the file was checked as UTF-8 when read
    Problem p{ProblemCode::kTooWide, shown, line.line, 1};
    p.entry = entry.index;
    if (box.width != 0) {
      std::size_t column = 0;
      p.bytes = ShownWidthOf(text.value(), &column, box.width);
      if (p.bytes > box.width) {
        p.column = column;
        p.room = box.width;
        problems.push_back(p);
      }
    }
    ++in_box;
    if (box.lines != 0 && in_box > box.lines) {
      p.code = ProblemCode::kTooManyLines;
      p.column = 1;
      p.bytes = in_box;
      p.room = box.lines;
      problems.push_back(p);
    }
    if (EndsBox(text.value(), encoding)) in_box = 0;
  }
}

}  // namespace binconv
