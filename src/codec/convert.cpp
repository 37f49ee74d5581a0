#include "codec/convert.h"

#include <array>
#include <cstring>

#include "runtime/utf16.h"

namespace binconv {
namespace {

// "1A " for each byte, copied four units at a time.
constexpr std::array<std::array<char16_t, 4>, 256> kByteListing = [] {
  std::array<std::array<char16_t, 4>, 256> pieces{};
  for (int b = 0; b < 256; ++b) {
    const detail::ByteText text = detail::TextOfByte(static_cast<std::uint8_t>(b));
    pieces[b] = {text.digits[0], text.digits[1], u' ', 0};
  }
  return pieces;
}();

}  // namespace

CodeConverter::CodeConverter(const GameTable& table, LineBreaks line_breaks)
    : encoder_(table, line_breaks) {
  encoder_.set_listing(&marks_);
}

void CodeConverter::Feed(std::u16string_view chunk, std::u16string& out) {
  out_start_ = out.size();
  encoder_.Feed(chunk, bytes_);
  ListSettled(out);
  listed_ += out.size() - out_start_;
}

void CodeConverter::Finish(std::u16string& out) {
  out_start_ = out.size();
  encoder_.Finish(bytes_);
  ListSettled(out);
  listed_ = 0;
}

bool CodeConverter::FeedUtf8(std::string_view bytes, std::string& listing) {
  return utf8_.Feed(*this, bytes, [](std::string_view) { return Utf8TextInput::kRunClosed; },
                    listing);
}

bool CodeConverter::FinishUtf8(std::string& listing) { return utf8_.Finish(*this, listing); }

void CodeConverter::ListSettled(std::u16string& out) {
  const std::span<const std::uint8_t> bytes = bytes_;
  std::size_t listed = 0;  // of bytes_
  for (const ListingMark& mark : marks_.marks) {
    PutBytes(bytes.subspan(listed, mark.byte - listed), out);
    listed = mark.byte;
    switch (mark.kind) {
      case ListingMark::Kind::kLineEnd:
        // In place of the space after the code's last byte.
        out.back() = u'\r';
        out += u'\n';
        break;
      case ListingMark::Kind::kProblem:
        PutMark(encoder_.problems()[mark.first], out);
        break;
      case ListingMark::Kind::kTyped:
        PutTyped(mark, out);
        break;
    }
  }
  PutBytes(bytes.subspan(listed), out);
  bytes_.clear();
  marks_.clear();
}

void CodeConverter::PutBytes(std::span<const std::uint8_t> bytes, std::u16string& out) {
  if (bytes.empty()) return;
  const std::size_t at = out.size();
  // One spare unit for the last piece's copy, then cut off.
  out.resize(at + 3 * bytes.size() + 1);
  char16_t* w = out.data() + at;
  for (const std::uint8_t b : bytes) {
    std::memcpy(w, kByteListing[b].data(), sizeof(kByteListing[b]));
    w += 3;
  }
  out.resize(at + 3 * bytes.size());
}

void CodeConverter::Note(std::size_t length, const EncodeProblem& problem, char32_t shown,
                         const std::u16string& out) {
  if (uncoded_ == nullptr) return;
  uncoded_->push_back({listed_ + (out.size() - out_start_), length, problem.line, problem.column,
                       shown, problem.kind});
}

void CodeConverter::PutMark(const EncodeProblem& problem, std::u16string& out) {
  // A line break stays a line break in the listing, where nothing would mark it.
  // A missing parameter tag or line-break code has no character to show;
  // a character without a code is shown even when it is U+0000.
  const bool unmarked =
      problem.kind == ProblemCode::kNoParams || problem.kind == ProblemCode::kNoLineBreakCode;
  const char32_t shown = unmarked ? kProblemMark : problem.ch;
  char16_t units[2];
  char16_t* end = units;
  if (shown > 0xFFFF) {
    PutCodePoint(shown, end);
  } else {
    // A lone surrogate stays as the unit it was.
    *end++ = static_cast<char16_t>(shown);
  }
  const auto length = static_cast<std::size_t>(end - units);
  Note(length, problem, shown, out);
  out.append(units, length);
  out += u' ';
}

void CodeConverter::PutTyped(const ListingMark& mark, std::u16string& out) {
  std::size_t problem = mark.problem;
  for (std::size_t i = mark.first; i < mark.last; ++i) {
    const char16_t unit = marks_.typed[i];
    if (unit == kLineBreakMark) Note(1, encoder_.problems()[problem++], unit, out);
    out += unit;
  }
}

std::u16string ConvertToCode(std::u16string_view text, const GameTable& table,
                             LineBreaks line_breaks, std::vector<UncodedChar>* uncoded) {
  std::u16string out;
  // Room for most listings, so that a long text is seldom copied as it grows.
  out.reserve(text.size() * 6 + 8);
  CodeConverter converter(table, line_breaks);
  converter.set_uncoded(uncoded);
  converter.Feed(text, out);
  converter.Finish(out);
  return out;
}

}  // namespace binconv
