#include "conversion/convert.h"

#include <algorithm>
#include <utility>

#include "runtime/compare.h"

namespace binconv {
namespace detail {

Special ClassifySpecial(char16_t ch) {
  struct Folds {
    char16_t open, close, mark, space;
  };
  static const Folds folds{FoldForTextCompare(u'<'), FoldForTextCompare(u'>'),
                           FoldForTextCompare(kLineBreakMark), FoldForTextCompare(u'\u3000')};
  const char16_t f = FoldForTextCompare(ch);
  if (f == folds.open) return Special::kTagOpen;
  if (f == folds.close) return Special::kTagClose;
  if (f == folds.mark) return Special::kLineBreak;
  if (f == folds.space) return Special::kSpace;
  return Special::kNone;
}

}  // namespace detail

namespace {

using detail::Special;

// Most characters take three units ("1A "); growing geometrically keeps many
// small chunks linear.
void ReserveFor(std::u16string& out, std::size_t units) {
  const std::size_t need = out.size() + units * 3 + 4;
  if (need > out.capacity()) out.reserve(std::max(need, out.capacity() * 2));
}

}  // namespace

CodeConverter::CodeConverter(const CharTable& table, LineBreaks line_breaks)
    : table_(table), line_breaks_(line_breaks) {}

void CodeConverter::Feed(std::u16string_view chunk, std::u16string& out) {
  ReserveFor(out, chunk.size());
  const char16_t lone_cr = line_breaks_ == LineBreaks::kAny ? kLineBreakMark : u'\r';
  const char16_t lone_lf = line_breaks_ == LineBreaks::kAny ? kLineBreakMark : u'\n';
  for (const char16_t ch : chunk) {
    if (pending_cr_) {
      pending_cr_ = false;
      if (ch == u'\n') {
        Step(kLineBreakMark, out);
        continue;
      }
      Step(lone_cr, out);
    }
    if (ch == u'\r') {
      pending_cr_ = true;
    } else if (ch == u'\n') {
      Step(lone_lf, out);
    } else {
      Step(ch, out);
    }
  }
}

void CodeConverter::Finish(std::u16string& out) {
  if (pending_cr_) {
    pending_cr_ = false;
    Step(line_breaks_ == LineBreaks::kAny ? kLineBreakMark : u'\r', out);
  }
  if (pending_high_ != 0) {
    out += std::exchange(pending_high_, char16_t{0});
    out += u' ';
  }
  in_tag_ = false;
}

void CodeConverter::Step(char16_t ch, std::u16string& out) {
  if (pending_high_ != 0) {
    const char16_t high = std::exchange(pending_high_, char16_t{0});
    out += high;
    // A pair that no cell holds stays one well-formed character with one space.
    if (detail::IsLowSurrogate(ch) && !table_.Find(ch)) {
      out += ch;
      out += u' ';
      return;
    }
    out += u' ';
  }
  const Special special = detail::ClassifySpecial(ch);
  if (special == Special::kTagOpen) {
    in_tag_ = true;
    return;
  }
  if (special == Special::kTagClose) in_tag_ = false;
  if (in_tag_) {
    out += ch;
    return;
  }
  switch (special) {
    case Special::kLineBreak:
      out += kLineBreakCode;
      out += u"\r\n";
      return;
    case Special::kSpace:
      out += kFullWidthSpaceCode;
      out += u' ';
      return;
    case Special::kTagClose:
      out += u' ';
      return;
    default:
      Emit(ch, out);
  }
}

void CodeConverter::Emit(char16_t ch, std::u16string& out) {
  if (const std::optional<CellCode> code = table_.Find(ch)) {
    if (code->page > 0) {
      out += LeadCodes[code->page];
      out += u' ';
    }
    out += HexDigits[code->row];
    out += HexDigits[code->column];
    out += u' ';
    return;
  }
  if (detail::IsHighSurrogate(ch)) {
    pending_high_ = ch;
    return;
  }
  out += ch;
  out += u' ';
}

std::u16string ConvertToCode(std::u16string_view text, const CharTable& table,
                             LineBreaks line_breaks) {
  std::u16string out;
  out.reserve(text.size() * 3 + 4);
  CodeConverter converter(table, line_breaks);
  converter.Feed(text, out);
  converter.Finish(out);
  return out;
}

}  // namespace binconv
