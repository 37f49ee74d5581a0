#include "codec/decode.h"

#include "codec/convert.h"
#include "runtime/hex.h"
#include "runtime/utf16.h"

namespace binconv {
namespace {

// The page of each byte as a lead byte, looked up once per byte.
constexpr std::array<std::uint8_t, 256> kPageOfLeadByte = [] {
  std::array<std::uint8_t, 256> pages{};
  for (int b = 0; b < 256; ++b) {
    pages[b] = static_cast<std::uint8_t>(PageOfLeadByte(static_cast<std::uint8_t>(b)));
  }
  return pages;
}();

}  // namespace

Decoder::Decoder(const CharTable& table, DecodeOptions options)
    : cells_(table), options_(options) {}

void Decoder::Feed(std::span<const std::uint8_t> bytes, std::u16string& out) {
  for (const std::uint8_t b : bytes) {
    if (pending_lead_) {
      const int page = kPageOfLeadByte[*pending_lead_];
      pending_lead_.reset();
      Unit(page, b, out);
    } else if (b == kLineBreakByte) {
      out += options_.line_break;
      at_start_ = false;
    } else if (b == kSpaceByte) {
      out += u'\u3000';
      at_start_ = false;
    } else if (kPageOfLeadByte[b] != 0) {
      pending_lead_ = b;
    } else {
      Unit(0, b, out);
    }
  }
}

void Decoder::Finish(std::u16string& out) {
  if (pending_lead_) {
    const std::uint8_t lead = *pending_lead_;
    pending_lead_.reset();
    Tag(std::span(&lead, 1), out);
  }
  at_start_ = true;
}

void Decoder::Unit(int page, std::uint8_t byte, std::u16string& out) {
  const CellCode code{static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(byte >> 4),
                      static_cast<std::uint8_t>(byte & 0x0F)};
  const std::optional<char16_t> ch = cells_.CharAt(code);
  const bool fits_file =
      !options_.utf8_file || (ch && !IsSurrogate(*ch) && !(at_start_ && *ch == u'\uFEFF'));
  if (ch && fits_file) {
    out += *ch;
    at_start_ = false;
    return;
  }
  if (page == 0) {
    Tag(std::span(&byte, 1), out);
  } else {
    const std::uint8_t unit[2] = {kLeadBytes[page], byte};
    Tag(unit, out);
  }
}

void Decoder::Tag(std::span<const std::uint8_t> bytes, std::u16string& out) {
  out += u'<';
  for (const std::uint8_t b : bytes) AppendHexByte(b, out);
  out += u'>';
  at_start_ = false;
}

}  // namespace binconv
