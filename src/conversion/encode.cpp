#include "conversion/encode.h"

#include <algorithm>
#include <utility>

namespace binconv {
namespace {

using detail::Special;
using Kind = EncodeProblem::Kind;

bool DroppedByWriter(char16_t ch) {
  return ch == u' ' || ch == u'\u3000' || ch == u'\r' || ch == u'\n';
}

}  // namespace

Encoder::Encoder(const CharTable& table, LineBreaks line_breaks)
    : table_(table), line_breaks_(line_breaks) {}

void Encoder::Feed(std::u16string_view chunk, std::vector<std::uint8_t>& out) {
  if (finished_) {
    finished_ = false;
    problems_.clear();
    odd_count_ = false;
  }
  // Up to two bytes a character; growing geometrically keeps small chunks linear.
  const std::size_t need = out.size() + chunk.size() * 2;
  if (need > out.capacity()) out.reserve(std::max(need, out.capacity() * 2));

  fed_ += chunk.size();
  if (!actions_ && fed_ >= detail::kUnitActionsAfter) actions_.emplace(table_);
  const char16_t* p = chunk.data();
  const char16_t* const end = p + chunk.size();
  while (p != end) {
    if (actions_ && !in_tag_ && !pending_cr_ && pending_high_ == 0 && pending_nibble_ < 0) {
      p = Run(p, end, out);
      if (p == end) break;
    }
    Unit(*p++, out);
  }
}

const char16_t* Encoder::Run(const char16_t* p, const char16_t* const end,
                             std::vector<std::uint8_t>& out) {
  using Actions = detail::UnitActions;
  // Bytes are gathered here so that the vector is grown once per block.
  constexpr std::size_t kBlock = 1024;
  std::uint8_t buffer[kBlock * 2];
  static constexpr std::uint8_t kLeadBytes[kPages] = {0, 0x20, 0x21, 0x22, 0x23, 0x18};
  static constexpr std::uint8_t kBreakByte = 0x24;
  static constexpr std::uint8_t kBlankByte = 0x50;
  const std::uint16_t* const actions = actions_->data();
  const bool any = line_breaks_ == LineBreaks::kAny;
  // Kept in locals: stores through the byte buffer could alias the members.
  std::size_t line = line_;
  std::size_t column = column_;
  for (;;) {
    std::uint8_t* w = buffer;
    const char16_t* const stop = end - p > static_cast<std::ptrdiff_t>(kBlock) ? p + kBlock : end;
    bool blocked = false;
    while (p < stop) {
      const std::uint16_t action = actions[*p];
      if (Actions::KindOf(action) == Actions::kCode) {
        const int page = Actions::PageOf(action);
        *w = kLeadBytes[page];
        w += page > 0;
        *w++ = Actions::ByteOf(action);
        ++column;
        ++p;
        continue;
      }
      switch (Actions::KindOf(action)) {
        case Actions::kSpace:
          *w++ = kBlankByte;
          ++column;
          ++p;
          continue;
        case Actions::kTagClose:
          ++column;
          ++p;
          continue;
        case Actions::kLineBreak:
          *w++ = kBreakByte;
          ++column;
          ++p;
          continue;
        case Actions::kCr:
          // A CR at the end of the chunk waits for the next one.
          if (end - p < 2 || (p[1] != u'\n' && !any)) break;
          p += p[1] == u'\n' ? 2 : 1;
          *w++ = kBreakByte;
          ++line;
          column = 0;
          continue;
        case Actions::kLf:
          if (!any) break;
          *w++ = kBreakByte;
          ++line;
          column = 0;
          ++p;
          continue;
        default:
          break;
      }
      blocked = true;
      break;
    }
    out.insert(out.end(), buffer, w);
    if (blocked || p == end) break;
  }
  line_ = line;
  column_ = column;
  return p;
}

void Encoder::Unit(char16_t ch, std::vector<std::uint8_t>& out) {
  const bool any = line_breaks_ == LineBreaks::kAny;
  if (pending_cr_) {
    pending_cr_ = false;
    if (ch == u'\n') {
      Step(kLineBreakMark, cr_place_, out);
      return;
    }
    Step(any ? kLineBreakMark : u'\r', cr_place_, out);
  }
  const Place place{line_, ++column_};
  if (ch == u'\r' || ch == u'\n') {
    ++line_;
    column_ = 0;
  }
  if (ch == u'\r') {
    pending_cr_ = true;
    cr_place_ = place;
  } else if (ch == u'\n') {
    Step(any ? kLineBreakMark : u'\n', place, out);
  } else {
    Step(ch, place, out);
  }
}

void Encoder::Finish(std::vector<std::uint8_t>& out) {
  if (pending_cr_) {
    pending_cr_ = false;
    Step(line_breaks_ == LineBreaks::kAny ? kLineBreakMark : u'\r', cr_place_, out);
  }
  if (pending_high_ != 0)
    Report(high_kind_, high_place_, std::exchange(pending_high_, char16_t{0}));
  odd_count_ = pending_nibble_ >= 0;
  pending_nibble_ = -1;
  in_tag_ = false;
  line_ = 1;
  column_ = 0;
  finished_ = true;
}

void Encoder::Step(char16_t ch, Place place, std::vector<std::uint8_t>& out) {
  if (pending_high_ != 0) {
    const char16_t high = std::exchange(pending_high_, char16_t{0});
    // Inside a tag the low unit is copied anyway; outside it joins only when
    // it has no code of its own, as in the listing.
    if (detail::IsLowSurrogate(ch) && (high_kind_ == Kind::kNotHexInTag || !table_.Find(ch))) {
      Report(high_kind_, high_place_, detail::CombineSurrogates(high, ch));
      return;
    }
    Report(high_kind_, high_place_, high);
  }
  const Special special = detail::ClassifySpecial(ch);
  if (special == Special::kTagOpen) {
    in_tag_ = true;
    return;
  }
  if (special == Special::kTagClose) in_tag_ = false;
  if (in_tag_) {
    if (const int value = detail::HexValue(ch); value >= 0) {
      Nibble(value, out);
    } else if (DroppedByWriter(ch)) {
      // Spaces and lone line breaks copied from a tag vanish in the writer.
    } else if (detail::IsHighSurrogate(ch)) {
      pending_high_ = ch;
      high_place_ = place;
      high_kind_ = Kind::kNotHexInTag;
    } else {
      Report(Kind::kNotHexInTag, place, ch);
    }
    return;
  }
  switch (special) {
    case Special::kLineBreak:
      for (const char16_t digit : kLineBreakCode) Nibble(detail::HexValue(digit), out);
      return;
    case Special::kSpace:
      for (const char16_t digit : kFullWidthSpaceCode) Nibble(detail::HexValue(digit), out);
      return;
    case Special::kTagClose:
      return;
    default:
      break;
  }
  if (const std::optional<CellCode> code = table_.Find(ch)) {
    for (const char16_t digit : LeadCodes[code->page]) Nibble(detail::HexValue(digit), out);
    Nibble(code->row, out);
    Nibble(code->column, out);
    return;
  }
  if (detail::IsHighSurrogate(ch)) {
    pending_high_ = ch;
    high_place_ = place;
    high_kind_ = Kind::kNoCode;
    return;
  }
  Report(Kind::kNoCode, place, ch);
  // The listing would carry this character on, and a digit-like one would be
  // read as a digit there; pairing follows the listing.
  if (const int value = detail::HexValue(ch); value >= 0) Nibble(value, out);
}

void Encoder::Nibble(int value, std::vector<std::uint8_t>& out) {
  if (pending_nibble_ < 0) {
    pending_nibble_ = value;
    return;
  }
  out.push_back(static_cast<std::uint8_t>(pending_nibble_ * 16 + value));
  pending_nibble_ = -1;
}

void Encoder::Report(Kind kind, Place place, char32_t ch) {
  problems_.push_back(EncodeProblem{kind, place.line, place.column, ch});
}

}  // namespace binconv
