#include "conversion/encode.h"

#include <algorithm>
#include <utility>

#include "runtime/utf8.h"

namespace binconv {
namespace {

using detail::Special;
using Kind = EncodeProblem::Kind;

constexpr std::uint8_t kLeadBytes[kPages] = {0, 0x20, 0x21, 0x22, 0x23, 0x18};
constexpr std::uint8_t kBreakByte = 0x24;
constexpr std::uint8_t kBlankByte = 0x50;
constexpr std::uint32_t kNotCode = 0x80000000u;

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

std::size_t Encoder::FeedUtf8Run(std::string_view utf8, std::vector<std::uint8_t>& out) {
  using Actions = detail::UnitActions;
  if (finished_) {
    finished_ = false;
    problems_.clear();
    odd_count_ = false;
  }
  if (!actions_ && fed_ + utf8.size() / 3 >= detail::kUnitActionsAfter) actions_.emplace(table_);
  if (!actions_ || in_tag_ || pending_cr_ || pending_high_ != 0 || pending_nibble_ >= 0) return 0;
  if (code_bytes_.empty()) {
    // The bytes of each code and their count, so that writing them takes no
    // branch: b0 | b1 << 8 | count << 16; kNotCode for the other units.
    code_bytes_.resize(0x10000);
    for (std::uint32_t u = 0; u <= 0xFFFF; ++u) {
      const std::uint16_t action = (*actions_)[static_cast<char16_t>(u)];
      const int page = Actions::PageOf(action);
      const std::uint32_t byte = Actions::ByteOf(action);
      code_bytes_[u] = Actions::KindOf(action) != Actions::kCode ? kNotCode
                       : page == 0                               ? byte | 1u << 16
                                   : kLeadBytes[page] | byte << 8 | 2u << 16;
    }
  }

  constexpr std::size_t kBlock = 1024;  // characters
  std::uint8_t buffer[kBlock * 2];
  const std::uint16_t* const actions = actions_->data();
  const std::uint32_t* const code_bytes = code_bytes_.data();
  const bool any = line_breaks_ == LineBreaks::kAny;
  const auto* const p = reinterpret_cast<const std::uint8_t*>(utf8.data());
  const std::size_t n = utf8.size();
  std::size_t i = 0;
  // Kept in locals: stores through the byte buffer could alias the members.
  std::size_t line = line_;
  std::size_t column = column_;
  bool blocked = false;
  // Eight bytes are read at a time; the last few go the decoder's way.
  while (!blocked && n - i >= 8) {
    std::uint8_t* w = buffer;
    auto put = [&w](std::uint32_t bytes) {
      w[0] = static_cast<std::uint8_t>(bytes);
      w[1] = static_cast<std::uint8_t>(bytes >> 8);
      w += bytes >> 16;
    };
    for (std::size_t k = 0; k < kBlock && n - i >= 8; ++k) {
      const std::uint64_t v = detail::LoadLittleEndian64(p + i);
      // Japanese text is mostly two three-byte characters with codes in a row.
      constexpr std::uint64_t kMask = 0xC0C0F0u;
      constexpr std::uint64_t kPattern = 0x8080E0u;
      if ((v & (kMask << 24 | kMask)) == (kPattern << 24 | kPattern)) {
        const std::uint32_t c0 = detail::ThreeByteUnit(v);
        const std::uint32_t c1 = detail::ThreeByteUnit(v >> 24);
        const std::uint32_t b0 = code_bytes[c0];
        const std::uint32_t b1 = code_bytes[c1];
        if ((((detail::BadThreeByteBits(c0) | detail::BadThreeByteBits(c1)) & 1u) |
             ((b0 | b1) & kNotCode)) == 0) {
          put(b0);
          put(b1);
          column += 2;
          i += 6;
          ++k;
          continue;
        }
      }
      const detail::ShortSequence sequence = detail::DecodeShortSequence(v);
      if (sequence.length == 0) {
        blocked = true;
        break;
      }
      const std::uint16_t action = actions[sequence.unit];
      const Actions::Kind kind = Actions::KindOf(action);
      if (kind == Actions::kCode) {
        put(code_bytes[sequence.unit]);
        ++column;
      } else if (kind == Actions::kSpace || kind == Actions::kLineBreak) {
        *w++ = kind == Actions::kSpace ? kBlankByte : kBreakByte;
        ++column;
      } else if (kind == Actions::kTagClose) {
        ++column;
      } else if (kind == Actions::kLf && any) {
        *w++ = kBreakByte;
        ++line;
        column = 0;
      } else if (kind == Actions::kCr && (p[i + 1] == '\n' || any)) {
        // The CR and the LF of a pair are one line break.
        i += p[i + 1] == '\n';
        *w++ = kBreakByte;
        ++line;
        column = 0;
      } else {
        blocked = true;
        break;
      }
      i += sequence.length;
    }
    out.insert(out.end(), buffer, w);
  }
  line_ = line;
  column_ = column;
  return i;
}

const char16_t* Encoder::Run(const char16_t* p, const char16_t* const end,
                             std::vector<std::uint8_t>& out) {
  using Actions = detail::UnitActions;
  // Bytes are gathered here so that the vector is grown once per block.
  constexpr std::size_t kBlock = 1024;
  std::uint8_t buffer[kBlock * 2];
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
