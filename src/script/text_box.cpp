#include "script/text_box.h"

#include <algorithm>

#include "chartable/text_index.h"
#include "runtime/compare.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"

namespace binconv {
namespace {

// The bytes of a hex tag's content; none when it is not one.
std::optional<std::vector<std::uint8_t>> HexBytesOf(std::u16string_view content) {
  std::vector<std::uint8_t> bytes;
  int high = -1;
  for (const char16_t ch : content) {
    const int value = HexValue(ch);
    if (value < 0) {
      if (ch == u' ' || ch == u'\u3000') continue;
      return std::nullopt;
    }
    if (high < 0) {
      high = value;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + value));
      high = -1;
    }
  }
  if (high >= 0) return std::nullopt;
  return bytes;
}

// What a tag's codes do to the text box: the line breaks among them, whether
// the last starts a new box (a break shown with a text of its own), and
// whether the tag is a break's label, which takes the typed break after it
// as its own, as decode writes it.
struct TagBreaks {
  std::size_t breaks = 0;
  bool new_box = false;
  bool label = false;
};

TagBreaks BreaksOfTag(std::u16string_view content, const GameTable& encoding) {
  TagBreaks found;
  const GameTable& game = encoding;
  std::u16string folded;
  for (const char16_t ch : content) folded += FoldForTextCompare(ch);
  if (const auto code = game.text_index().CodeOfLabel(folded)) {
    const GameCode& label = game.codes()[*code];
    if (label.kind == GameCodeKind::kLineBreak) return {1, !label.text.empty(), true};
    return found;
  }
  const std::optional<std::vector<std::uint8_t>> bytes = HexBytesOf(content);
  if (!bytes) return found;
  std::span<const std::uint8_t> rest(*bytes);
  while (!rest.empty()) {
    const GameTableUnit unit = game.ReadUnit(rest, true);
    const GameCode* code = unit.kind == GameUnitKind::kCode ? &game.codes()[unit.code] : nullptr;
    const bool is_break = code != nullptr && code->kind == GameCodeKind::kLineBreak;
    if (is_break) ++found.breaks;
    found.new_box = is_break && !code->text.empty();
    rest = rest.subspan(std::min<std::size_t>(std::max<std::size_t>(unit.size, 1), rest.size()));
  }
  return found;
}

// Whether `line` ends a box: it ends in the text of a line break that shows one.
bool EndsBox(std::u16string_view line, const GameTable& encoding) {
  for (const GameCode& code : encoding.codes()) {
    if (code.kind == GameCodeKind::kLineBreak && !code.text.empty() && line.ends_with(code.text)) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<ShownLine> ShownLinesOf(std::u16string_view line, const GameTable& encoding,
                                    std::uint64_t width) {
  std::vector<ShownLine> lines(1);
  bool label_last = false;  // the line ends in a break's label
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == u'<') {
      // A tag stands for codes, not for letters the box shows as typed.
      const std::size_t close = line.find(u'>', i + 1);
      if (close != std::u16string_view::npos) {
        const TagBreaks tag = BreaksOfTag(line.substr(i + 1, close - i - 1), encoding);
        for (std::size_t k = 0; k < tag.breaks; ++k) {
          lines.back().new_box = tag.new_box && k + 1 == tag.breaks;
          lines.push_back({0, 0, close + 2, false});
        }
        label_last = tag.label;
        i = close;
        continue;
      }
    }
    label_last = false;
    ShownLine& shown = lines.back();
    ++shown.width;
    if (width != 0 && shown.width == width + 1) shown.column_past = i + 1;
  }
  if (label_last) {
    lines.pop_back();
  } else {
    lines.back().new_box = EndsBox(line, encoding);
  }
  return lines;
}

void CheckTextBox(const ScriptFileEntry& entry, const TextBox& box, const GameTable& encoding,
                  const std::string& shown_name, std::vector<Problem>& problems) {
  std::uint64_t in_box = 0;
  for (const ScriptTextLine& line : entry.lines) {
    const auto text = DecodeUtf8(line.text);
    if (!text) continue;  // the file was checked as UTF-8 when read
    for (const ShownLine& shown : ShownLinesOf(text.value(), encoding, box.width)) {
      Problem p{ProblemCode::kTooWide, shown_name, line.line, shown.column};
      p.entry = entry.index;
      if (box.width != 0 && shown.width > box.width) {
        p.column = shown.column_past;
        p.bytes = shown.width;
        p.room = box.width;
        problems.push_back(p);
      }
      ++in_box;
      if (box.lines != 0 && in_box > box.lines) {
        p.code = ProblemCode::kTooManyLines;
        p.column = shown.column;
        p.bytes = in_box;
        p.room = box.lines;
        problems.push_back(p);
      }
      if (shown.new_box) in_box = 0;
    }
  }
}

}  // namespace binconv
