#include "codec/decode.h"

#include <algorithm>

#include "codec/convert.h"
#include "runtime/hex.h"
#include "runtime/utf16.h"

namespace binconv {

void AppendHexTag(std::span<const std::uint8_t> bytes, std::u16string& out) {
  out += u'<';
  for (const std::uint8_t b : bytes) AppendHexByte(b, out);
  out += u'>';
}

Decoder::Decoder(const CharTable& table, DecodeOptions options)
    : cells_(table), options_(options) {}

void Decoder::Feed(std::span<const std::uint8_t> bytes, std::u16string& out) {
  std::size_t i = 0;
  // First the unit the last chunk's end cut, a byte at a time.
  while (held_size_ != 0 && i < bytes.size()) {
    held_[held_size_++] = bytes[i++];
    const std::span<const std::uint8_t> held(held_.data(), held_size_);
    const GameUnit unit = ReadUnit(held);
    if (unit.kind == UnitKind::kCut) continue;
    held_size_ = 0;
    Write(unit, held, out);
  }
  while (i < bytes.size()) {
    const std::span<const std::uint8_t> rest = bytes.subspan(i);
    const GameUnit unit = ReadUnit(rest);
    if (unit.kind == UnitKind::kCut) {
      std::copy(rest.begin(), rest.end(), held_.begin());
      held_size_ = rest.size();
      return;
    }
    Write(unit, rest.first(unit.size), out);
    i += unit.size;
  }
}

void Decoder::Finish(std::u16string& out) {
  if (held_size_ != 0) {
    Tag(std::span(held_.data(), held_size_), out);
    held_size_ = 0;
  }
  at_start_ = true;
}

void Decoder::Write(GameUnit unit, std::span<const std::uint8_t> bytes, std::u16string& out) {
  if (unit.kind == UnitKind::kLineBreak) {
    out += options_.line_break;
    at_start_ = false;
    return;
  }
  if (unit.kind == UnitKind::kSpace) {
    out += u'\u3000';
    at_start_ = false;
    return;
  }
  const std::optional<char16_t> ch = cells_.CharAt(unit.code);
  const bool fits_file =
      !options_.utf8_file || (ch && !IsSurrogate(*ch) && !(at_start_ && *ch == u'\uFEFF'));
  if (ch && fits_file) {
    out += *ch;
    at_start_ = false;
    return;
  }
  Tag(bytes, out);
}

void Decoder::Tag(std::span<const std::uint8_t> bytes, std::u16string& out) {
  AppendHexTag(bytes, out);
  at_start_ = false;
}

}  // namespace binconv
