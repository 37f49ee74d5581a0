#include "codec/convert.h"

#include <array>
#include <cstring>

#include "runtime/utf16.h"
#include "runtime/utf8.h"

namespace binconv {
namespace {

// "1A " for each byte, copied four units at a time.
template <class Char>
constexpr std::array<std::array<Char, 4>, 256> kByteListing = [] {
  std::array<std::array<Char, 4>, 256> pieces{};
  for (int b = 0; b < 256; ++b) {
    const detail::ByteText text = detail::TextOfByte(static_cast<std::uint8_t>(b));
    pieces[b] = {static_cast<Char>(text.digits[0]), static_cast<Char>(text.digits[1]),
                 static_cast<Char>(' '), 0};
  }
  return pieces;
}();

void Append(std::u16string_view units, std::u16string& out) { out += units; }
void Append(std::u16string_view units, std::string& out) { AppendUtf8(units, out); }

}  // namespace

CodeConverter::CodeConverter(const GameTable& table, LineBreaks line_breaks)
    : encoder_(table, line_breaks) {
  encoder_.set_listing(&marks_);
}

void CodeConverter::Feed(std::u16string_view chunk, std::u16string& out) {
  encoder_.Feed(chunk, bytes_);
  ListSettled(out);
}

void CodeConverter::Finish(std::u16string& out) {
  encoder_.Finish(bytes_);
  ListSettled(out);
  units_ = 0;
}

bool CodeConverter::FeedUtf8(std::string_view bytes, std::string& listing) {
  // Listed straight into UTF-8: a listing is mostly hex digits.
  return input_.Take(
      bytes, [](std::string_view) { return Utf8TextInput::kRunClosed; },
      [&](std::u16string_view text) {
        encoder_.Feed(text, bytes_);
        ListSettled(listing);
      });
}

bool CodeConverter::FinishUtf8(std::string& listing) {
  const bool good = input_.Finish();
  encoder_.Finish(bytes_);
  // A text cut off inside a character gives nothing more.
  if (good) {
    ListSettled(listing);
  } else {
    bytes_.clear();
    marks_.clear();
  }
  units_ = 0;
  return good;
}

template <class Text>
void CodeConverter::ListSettled(Text& out) {
  const std::span<const std::uint8_t> bytes = bytes_;
  std::size_t listed = 0;  // of bytes_
  for (const ListingMark& mark : marks_.marks) {
    PutBytes(bytes.subspan(listed, mark.byte - listed), out);
    listed = mark.byte;
    switch (mark.kind) {
      case ListingMark::Kind::kLineEnd:
        // In place of the space after the code's last byte.
        out.back() = '\r';
        out += '\n';
        ++units_;
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

template <class Text>
void CodeConverter::PutBytes(std::span<const std::uint8_t> bytes, Text& out) {
  if (bytes.empty()) return;
  using Char = typename Text::value_type;
  const std::size_t at = out.size();
  // One spare unit for the last piece's copy, then cut off.
  out.resize(at + 3 * bytes.size() + 1);
  Char* w = out.data() + at;
  for (const std::uint8_t b : bytes) {
    std::memcpy(w, kByteListing<Char>[b].data(), sizeof(kByteListing<Char>[b]));
    w += 3;
  }
  out.resize(at + 3 * bytes.size());
  units_ += 3 * bytes.size();
}

template <class Text>
void CodeConverter::PutUnits(std::u16string_view units, Text& out) {
  Append(units, out);
  units_ += units.size();
}

void CodeConverter::Note(std::size_t length, const EncodeProblem& problem, char32_t shown) {
  if (uncoded_ == nullptr) return;
  uncoded_->push_back({units_, length, problem.line, problem.column, shown, problem.kind});
}

template <class Text>
void CodeConverter::PutMark(const EncodeProblem& problem, Text& out) {
  // A missing parameter tag or line-break code has no character to show;
  // a character without a code is shown even when it is U+0000.
  const bool unmarked =
      problem.kind == ProblemCode::kNoParams || problem.kind == ProblemCode::kNoLineBreakCode ||
      problem.kind == ProblemCode::kReadsAsOther;
  const char32_t shown = unmarked ? kProblemMark : problem.ch;
  char16_t units[3];
  char16_t* end = units;
  if (shown > 0xFFFF) {
    PutCodePoint(shown, end);
  } else {
    // A lone surrogate stays as the unit it was.
    *end++ = static_cast<char16_t>(shown);
  }
  const auto length = static_cast<std::size_t>(end - units);
  *end++ = u' ';
  Note(length, problem, shown);
  PutUnits({units, static_cast<std::size_t>(end - units)}, out);
}

template <class Text>
void CodeConverter::PutTyped(const ListingMark& mark, Text& out) {
  std::size_t problem = mark.problem;
  const std::u16string_view typed =
      std::u16string_view(marks_.typed).substr(mark.first, mark.last - mark.first);
  std::size_t from = 0;
  for (std::size_t i = 0; i < typed.size(); ++i) {
    if (typed[i] != kLineBreakMark) continue;
    PutUnits(typed.substr(from, i - from), out);
    Note(1, encoder_.problems()[problem++], kLineBreakMark);
    PutUnits(typed.substr(i, 1), out);
    from = i + 1;
  }
  PutUnits(typed.substr(from), out);
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
