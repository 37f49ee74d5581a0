#include "conversion/decode.h"

#include "conversion/convert.h"

namespace binconv {
namespace {

bool IsSurrogate(char16_t ch) { return ch >= 0xD800 && ch <= 0xDFFF; }

// The byte a two-digit code of the listing stands for.
constexpr int ByteOfCode(std::u16string_view code) {
  constexpr auto digit = [](char16_t c) { return c <= u'9' ? c - u'0' : c - u'A' + 10; };
  return digit(code[0]) * 16 + digit(code[1]);
}

constexpr std::array<std::uint8_t, 256> kPageOfLeadByte = [] {
  std::array<std::uint8_t, 256> pages{};
  for (int page = 1; page < kPages; ++page) {
    pages[static_cast<std::size_t>(ByteOfCode(LeadCodes[page]))] = static_cast<std::uint8_t>(page);
  }
  return pages;
}();

}  // namespace

int PageOfLeadByte(std::uint8_t b) { return kPageOfLeadByte[b]; }

ProducibleCells::ProducibleCells(const CharTable& table) {
  chars_.fill(kNone);
  for (std::uint8_t page = 0; page < kPages; ++page) {
    for (std::uint8_t row = 0; row < kRows; ++row) {
      for (std::uint8_t column = 0; column < kColumns; ++column) {
        const std::u16string& cell = table.Cell(page, row, column);
        if (cell.size() != 1) continue;
        const char16_t ch = cell[0];
        if (detail::ClassifySpecial(ch) != detail::Special::kNone) continue;
        if (ch == u'\r' || ch == u'\n') continue;
        const CellCode code{page, row, column};
        if (table.Find(ch) != code) continue;
        chars_[static_cast<std::size_t>(code.index())] = ch;
      }
    }
  }
}

std::optional<char16_t> ProducibleCells::CharAt(CellCode code) const {
  const std::int32_t ch = chars_[static_cast<std::size_t>(code.index())];
  if (ch == kNone) return std::nullopt;
  return static_cast<char16_t>(ch);
}

Decoder::Decoder(const CharTable& table, DecodeOptions options)
    : cells_(table), options_(options) {}

void Decoder::Feed(std::span<const std::uint8_t> bytes, std::u16string& out) {
  for (const std::uint8_t b : bytes) {
    if (pending_lead_) {
      const int page = PageOfLeadByte(*pending_lead_);
      pending_lead_.reset();
      Unit(page, b, out);
    } else if (b == kLineBreakByte) {
      out += options_.line_break;
      at_start_ = false;
    } else if (b == kSpaceByte) {
      out += u'\u3000';
      at_start_ = false;
    } else if (PageOfLeadByte(b) != 0) {
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
    const std::uint8_t unit[2] = {static_cast<std::uint8_t>(ByteOfCode(LeadCodes[page])), byte};
    Tag(unit, out);
  }
}

void Decoder::Tag(std::span<const std::uint8_t> bytes, std::u16string& out) {
  out += u'<';
  for (const std::uint8_t b : bytes) {
    out += HexDigits[b >> 4];
    out += HexDigits[b & 0x0F];
  }
  out += u'>';
  at_start_ = false;
}

std::u16string DecodeBytes(std::span<const std::uint8_t> bytes, const CharTable& table,
                           DecodeOptions options) {
  std::u16string out;
  out.reserve(bytes.size() + 8);
  Decoder decoder(table, options);
  decoder.Feed(bytes, out);
  decoder.Finish(out);
  return out;
}

}  // namespace binconv
