#include "conversion/encode.h"

#include <algorithm>
#include <utility>

#include "runtime/block_size.h"
#include "runtime/utf16.h"
#include "runtime/utf8.h"

namespace binconv {
namespace {

using detail::Special;
using Kind = EncodeProblem::Kind;
using Actions = detail::UnitActions;

constexpr std::uint32_t kNotCode = 0x80000000u;
// The most bytes one unit encodes to: a lead byte and the code's byte.
constexpr std::size_t kCodeBytes = 2;

bool DroppedByWriter(char16_t ch) {
  return IsListingSeparator(ch) || ch == u'\r' || ch == u'\n';
}

}  // namespace

Encoder::Encoder(const CharTable& table, LineBreaks line_breaks)
    : table_(table), line_breaks_(line_breaks) {}

void Encoder::StartText() {
  if (finished_) {
    finished_ = false;
    problems_.clear();
    odd_count_ = false;
  }
}

bool Encoder::FastPathOpen() const {
  return actions_ && !in_tag_ && !pending_cr_ && pending_high_ == 0 &&
         pending_nibble_ < 0;
}

void Encoder::Feed(std::u16string_view chunk, std::vector<std::uint8_t>& out) {
  StartText();
  // Up to two bytes a character; growing geometrically keeps small chunks linear.
  const std::size_t need = out.size() + chunk.size() * 2;
  if (need > out.capacity()) out.reserve(std::max(need, out.capacity() * 2));

  fed_ += chunk.size();
  if (!actions_ && fed_ >= detail::kUnitActionsAfter) actions_.emplace(table_);
  const char16_t* p = chunk.data();
  const char16_t* const end = p + chunk.size();
  while (p != end) {
    if (FastPathOpen()) {
      p = Run(p, end, out);
      if (p == end) break;
    }
    Unit(*p++, out);
  }
}

bool Encoder::FeedUtf8(std::string_view bytes, std::vector<std::uint8_t>& out) {
  StartText();
  return input_.Take(
      bytes, [&](std::string_view run) { return RunUtf8(run, out); },
      [&](std::u16string_view text) { Feed(text, out); });
}

bool Encoder::FinishUtf8(std::vector<std::uint8_t>& out) {
  const bool good = input_.Finish();
  Finish(out);
  return good;
}

std::size_t Encoder::RunUtf8(std::string_view utf8, std::vector<std::uint8_t>& out) {
  if (!actions_ && fed_ + utf8.size() / 3 >= detail::kUnitActionsAfter) actions_.emplace(table_);
  if (!actions_ || counts_ != nullptr) return Utf8TextInput::kRunClosed;
  if (!FastPathOpen()) return 0;
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

  // The walk takes at most kBlock units, and each gives at most kCodeBytes
  // bytes: `put` stores both bytes of a code, whatever its count.
  constexpr std::size_t kBlock = kEncodeBlock;  // units
  std::uint8_t buffer[kBlock * kCodeBytes];
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
  while (!blocked && n - i >= 8) {
    std::uint8_t* w = buffer;
    auto put = [&w](std::uint32_t bytes) {
      static_assert(kCodeBytes == 2);
      w[0] = static_cast<std::uint8_t>(bytes);
      w[1] = static_cast<std::uint8_t>(bytes >> 8);
      w += bytes >> 16;
    };
    i = detail::WalkUtf8(
        p, i, n, kBlock, blocked,
        [&](char16_t c0, char16_t c1) {
          const std::uint32_t b0 = code_bytes[c0];
          const std::uint32_t b1 = code_bytes[c1];
          if ((b0 | b1) & kNotCode) return false;
          put(b0);
          put(b1);
          column += 2;
          return true;
        },
        [&](char16_t unit, unsigned length, const std::uint8_t* at) -> std::size_t {
          const Actions::Kind kind = Actions::KindOf(actions[unit]);
          if (kind == Actions::kCode) {
            put(code_bytes[unit]);
            ++column;
          } else if (kind == Actions::kSpace || kind == Actions::kLineBreak) {
            *w++ = kind == Actions::kSpace ? kSpaceByte : kLineBreakByte;
            ++column;
          } else if (kind == Actions::kTagClose) {
            ++column;
          } else if (kind == Actions::kLf && any) {
            *w++ = kLineBreakByte;
            ++line;
            column = 0;
          } else if (kind == Actions::kCr && (at[1] == '\n' || any)) {
            // The CR and the LF of a pair are one line break.
            *w++ = kLineBreakByte;
            ++line;
            column = 0;
            return at[1] == '\n' ? 2 : 1;
          } else {
            return 0;
          }
          return length;
        });
    out.insert(out.end(), buffer, w);
  }
  line_ = line;
  column_ = column;
  if (i != 0) last_unit_ = 0;  // the walk takes no surrogate
  return i;
}

const char16_t* Encoder::Run(const char16_t* p, const char16_t* const end,
                             std::vector<std::uint8_t>& out) {
  return counts_ != nullptr ? Run<true>(p, end, out, counts_) : Run<false>(p, end, out, nullptr);
}

// Counting is settled at compile time so that the plain encoder pays nothing
// for it.
template <bool kCounting>
const char16_t* Encoder::Run(const char16_t* p, const char16_t* const end,
                             std::vector<std::uint8_t>& out, EncodeCounts* counts) {
  const char16_t* const start = p;
  // Bytes are gathered here so that the vector is grown once per block: at
  // most kBlock units, a CR LF pair giving one byte for two.
  constexpr std::size_t kBlock = kEncodeBlock;
  std::uint8_t buffer[kBlock * kCodeBytes];
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
        if constexpr (kCounting) ++counts->by_page[page];
        ++column;
        ++p;
        continue;
      }
      switch (Actions::KindOf(action)) {
        case Actions::kSpace:
          *w++ = kSpaceByte;
          if constexpr (kCounting) ++counts->spaces;
          ++column;
          ++p;
          continue;
        case Actions::kTagClose:
          ++column;
          ++p;
          continue;
        case Actions::kLineBreak:
          *w++ = kLineBreakByte;
          if constexpr (kCounting) ++counts->line_breaks;
          ++column;
          ++p;
          continue;
        case Actions::kCr:
          // A CR at the end of the chunk waits for the next one.
          if (end - p < 2 || (p[1] != u'\n' && !any)) break;
          p += p[1] == u'\n' ? 2 : 1;
          *w++ = kLineBreakByte;
          if constexpr (kCounting) ++counts->line_breaks;
          ++line;
          column = 0;
          continue;
        case Actions::kLf:
          if (!any) break;
          *w++ = kLineBreakByte;
          if constexpr (kCounting) ++counts->line_breaks;
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
  if (p != start) last_unit_ = p[-1];
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
  column_ += BeginsColumn(last_unit_, ch);
  last_unit_ = ch;
  const Place place{line_, column_};
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
  last_unit_ = 0;
  finished_ = true;
}

void Encoder::Step(char16_t ch, Place place, std::vector<std::uint8_t>& out) {
  if (pending_high_ != 0) {
    const char16_t high = std::exchange(pending_high_, char16_t{0});
    // Inside a tag the low unit is copied anyway; outside it joins only when
    // it has no code of its own, as in the listing.
    if (IsLowSurrogate(ch) && (high_kind_ == Kind::kNotHexInTag || !table_.Find(ch))) {
      Report(high_kind_, high_place_, CombineSurrogates(high, ch));
      return;
    }
    Report(high_kind_, high_place_, high);
  }
  const Special special = detail::ClassifySpecial(ch);
  if (detail::StepTagFlag(special, in_tag_)) return;
  if (in_tag_) {
    if (const int value = HexValue(ch); value >= 0) {
      if (counts_) ++counts_->tag_digits;
      Nibble(value, out);
    } else if (DroppedByWriter(ch)) {
      // Spaces and lone line breaks copied from a tag vanish in the writer.
    } else if (IsHighSurrogate(ch)) {
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
      if (counts_) ++counts_->line_breaks;
      Byte(kLineBreakByte, out);
      return;
    case Special::kSpace:
      if (counts_) ++counts_->spaces;
      Byte(kSpaceByte, out);
      return;
    case Special::kTagClose:
      return;
    default:
      break;
  }
  if (const std::optional<CellCode> code = table_.Find(ch)) {
    if (counts_) ++counts_->by_page[code->page];
    if (code->page != 0) Byte(kLeadBytes[code->page], out);
    Byte(code->byte(), out);
    return;
  }
  if (IsHighSurrogate(ch)) {
    pending_high_ = ch;
    high_place_ = place;
    high_kind_ = Kind::kNoCode;
    return;
  }
  Report(Kind::kNoCode, place, ch);
  // The listing would carry this character on, and a digit-like one would be
  // read as a digit there; pairing follows the listing.
  if (const int value = HexValue(ch); value >= 0 && !drop_problems_) Nibble(value, out);
}

// Written as two digits, as the listing would hold them: a digit may be
// waiting for its partner.
void Encoder::Byte(std::uint8_t byte, std::vector<std::uint8_t>& out) {
  Nibble(byte >> 4, out);
  Nibble(byte & 15, out);
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
