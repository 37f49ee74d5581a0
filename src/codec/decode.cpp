#include "codec/decode.h"

#include <algorithm>
#include <utility>

#include "runtime/hex.h"
#include "runtime/utf16.h"

namespace binconv {

void AppendHexTag(std::span<const std::uint8_t> bytes, std::u16string& out) {
  out += u'<';
  for (const std::uint8_t b : bytes) AppendHexByte(b, out);
  out += u'>';
}

Decoder::Decoder(GameTable table, DecodeOptions options)
    : table_(std::move(table)),
      reader_(table_.reader()),
      index_(table_.text_index()),
      options_(options) {}

void Decoder::Feed(std::span<const std::uint8_t> bytes, std::u16string& out) {
  std::size_t i = 0;
  if (!held_.empty()) {
    // The held bytes and as much of this chunk as a unit can take end every
    // unit that begins in the held bytes.
    const std::size_t held = held_.size();
    const std::size_t take = std::min(bytes.size(), kMaxGameUnitBytes);
    held_.insert(held_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
    std::size_t at = 0;
    while (at < held) {
      const std::span<const std::uint8_t> rest = std::span(held_).subspan(at);
      const GameTableUnit unit = reader_.ReadUnit(rest, false);
      if (unit.kind == GameUnitKind::kCut) {
        // Then the chunk was shorter than a unit, and all of it is held.
        held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(at));
        return;
      }
      Write(unit, rest.first(unit.size), out);
      at += unit.size;
    }
    i = at - held;
    held_.clear();
  }
  const std::span<const std::uint8_t> rest = bytes.subspan(i);
  const std::size_t read = ReadUnits(rest, false, out);
  held_.assign(rest.begin() + static_cast<std::ptrdiff_t>(read), rest.end());
}

void Decoder::Flush(std::u16string& out) {
  ReadUnits(held_, true, out);
  held_.clear();
}

void Decoder::Finish(std::u16string& out) {
  Flush(out);
  at_start_ = true;
}

std::size_t Decoder::ReadUnits(std::span<const std::uint8_t> bytes, bool at_end,
                                   std::u16string& out) {
  // Most units show one unit of text: room for them saves growing the text
  // one unit at a time.
  if (const std::size_t need = out.size() + bytes.size(); need > out.capacity()) {
    out.reserve(std::max(need, out.capacity() * 2));
  }
  const char16_t* const shown = index_.shown_units();
  std::size_t i = 0;
  while (i < bytes.size()) {
    const GameTableUnit unit = reader_.ReadUnit(bytes.subspan(i), at_end);
    if (unit.kind == GameUnitKind::kCut) break;
    // Most units are one character that shows as itself: one load each.
    const char16_t ch = unit.kind == GameUnitKind::kCode ? shown[unit.code] : 0;
    if (ch != 0) {
      out += ch;
      at_start_ = false;
    } else {
      Write(unit, bytes.subspan(i, unit.size), out);
    }
    i += unit.size;
  }
  return i;
}

void Decoder::Write(GameTableUnit unit, std::span<const std::uint8_t> bytes,
                        std::u16string& out) {
  const bool first = std::exchange(at_start_, false);
  if (unit.kind == GameUnitKind::kNoCode) {
    AppendHexTag(bytes, out);
    return;
  }
  const GameCode& code = table_.codes()[unit.code];
  // A cell of the tables may be half a surrogate pair.
  const bool unfit = options_.utf8_file && !Utf8FileKeeps(code.text, first);
  // A control the bytes end before its parameters can't be typed as its label.
  const bool cut_short =
      code.kind == GameCodeKind::kControl && bytes.size() < code.bytes.size() + code.params;
  if (unfit || cut_short || !index_.Shows(unit.code)) {
    AppendHexTag(bytes, out);
    return;
  }
  if (code.text.size() == 1 && code.text[0] != u'\n') {
    out += code.text[0];
  } else {
    for (const char16_t ch : code.text) {
      if (ch == u'\n') {
        out += options_.line_break;
      } else {
        out += ch;
      }
    }
  }
  if (code.kind == GameCodeKind::kLineBreak) out += options_.line_break;
  if (bytes.size() > code.bytes.size()) AppendHexTag(bytes.subspan(code.bytes.size()), out);
}

}  // namespace binconv
