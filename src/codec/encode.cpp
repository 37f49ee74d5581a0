#include "codec/encode.h"

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
using detail::kChunkEnds;

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

void Encoder::MakeCodeBytes() {
  if (!code_bytes_.empty()) return;
  // The bytes of each code and their count, so that writing them takes no
  // branch: b0 | b1 << 8 | count << 16; kNotCode for the other units.
  code_bytes_.assign(0x10000, kNotCode);
  for (const char16_t unit : actions_->coded()) {
    const std::uint16_t action = (*actions_)[unit];
    if (Actions::KindOf(action) != Actions::kCode) continue;  // a special unit
    const int page = Actions::PageOf(action);
    const std::uint32_t byte = Actions::ByteOf(action);
    code_bytes_[unit] = page == 0 ? byte | 1u << 16 : kLeadBytes[page] | byte << 8 | 2u << 16;
  }
}

namespace {

// What a fast path carries while it runs, in locals: stores through the byte
// buffer could alias the encoder's members.
template <bool kCounting>
struct FastRun {
  const std::uint16_t* actions;
  const std::uint32_t* code_bytes;
  EncodeCounts* counts;  // used only when kCounting
  bool any;
  std::uint8_t* w;
  std::size_t line;
  std::size_t column;

  // A unit with a code (`bytes` from code_bytes): its one or two bytes, one
  // column. Both bytes are stored whatever the count.
  void PutCode(char16_t unit, std::uint32_t bytes) {
    static_assert(kCodeBytes == 2);
    w[0] = static_cast<std::uint8_t>(bytes);
    w[1] = static_cast<std::uint8_t>(bytes >> 8);
    w += bytes >> 16;
    if constexpr (kCounting) ++counts->by_page[Actions::PageOf(actions[unit])];
  }
  void TakeCode(char16_t unit, std::uint32_t bytes) {
    PutCode(unit, bytes);
    ++column;
  }
  // Two of them in a row, the bulk of Japanese text.
  void TakeCodes(char16_t u0, std::uint32_t b0, char16_t u1, std::uint32_t b1) {
    PutCode(u0, b0);
    PutCode(u1, b1);
    column += 2;
  }

  // A line break of the text: one byte, and the next line.
  void TakeLineEnd() {
    *w++ = kLineBreakByte;
    if constexpr (kCounting) ++counts->line_breaks;
    ++line;
    column = 0;
  }

  // The one rule of both fast paths for a unit that needs no state, of
  // `length` input units (UTF-16 units or bytes of UTF-8). `next_unit()`
  // gives the unit after it, asked only of a CR: kChunkEnds when unknown;
  // from UTF-8 the next byte, which is an LF exactly when the next unit is.
  // Returns how much input it took: `length`, 2 for a CR LF (two units, two
  // bytes), or 0 to leave the unit to the plain path.
  template <class Next>
  std::size_t TakeUnit(char16_t unit, Next next_unit, std::size_t length) {
    // Codes first, the bulk of any text.
    if (const std::uint32_t bytes = code_bytes[unit]; (bytes & kNotCode) == 0) {
      TakeCode(unit, bytes);
      return length;
    }
    switch (Actions::KindOf(actions[unit])) {
      case Actions::kSpace:
        *w++ = kSpaceByte;
        if constexpr (kCounting) ++counts->spaces;
        ++column;
        return length;
      case Actions::kTagClose:
        ++column;
        return length;
      case Actions::kLineBreak:
        *w++ = kLineBreakByte;
        if constexpr (kCounting) ++counts->line_breaks;
        ++column;
        return length;
      case Actions::kCr: {
        // The CR and the LF of a pair are one line break.
        const char32_t next = next_unit();
        if (next == kChunkEnds || (next != u'\n' && !any)) return 0;
        TakeLineEnd();
        return next == u'\n' ? 2 : length;
      }
      case Actions::kLf:
        if (!any) return 0;
        TakeLineEnd();
        return length;
      default:
        return 0;
    }
  }
};

}  // namespace

std::size_t Encoder::RunUtf8(std::string_view utf8, std::vector<std::uint8_t>& out) {
  if (!actions_ && fed_ + utf8.size() / 3 >= detail::kUnitActionsAfter) actions_.emplace(table_);
  if (!actions_ || counts_ != nullptr) return Utf8TextInput::kRunClosed;
  if (!FastPathOpen()) return 0;
  MakeCodeBytes();

  // The walk takes at most kBlock units, and each gives at most kCodeBytes
  // bytes.
  constexpr std::size_t kBlock = kEncodeBlock;  // units
  std::uint8_t buffer[kBlock * kCodeBytes];
  FastRun<false> run{actions_->data(), code_bytes_.data(), nullptr,
                     line_breaks_ == LineBreaks::kAny, buffer, line_, column_};
  const auto* const p = reinterpret_cast<const std::uint8_t*>(utf8.data());
  const std::size_t n = utf8.size();
  std::size_t i = 0;
  bool blocked = false;
  while (!blocked && n - i >= 8) {
    run.w = buffer;
    i = detail::WalkUtf8(
        p, i, n, kBlock, blocked,
        [&](char16_t c0, char16_t c1) {
          const std::uint32_t b0 = run.code_bytes[c0];
          const std::uint32_t b1 = run.code_bytes[c1];
          if ((b0 | b1) & kNotCode) return false;
          run.TakeCodes(c0, b0, c1, b1);
          return true;
        },
        [&](char16_t unit, unsigned length, const std::uint8_t* at) -> std::size_t {
          return run.TakeUnit(unit, [at] { return char32_t{at[1]}; }, length);
        });
    out.insert(out.end(), buffer, run.w);
  }
  line_ = run.line;
  column_ = run.column;
  if (i != 0) last_unit_ = 0;  // the walk takes no surrogate
  return i;
}

const char16_t* Encoder::Run(const char16_t* p, const char16_t* const end,
                             std::vector<std::uint8_t>& out) {
  MakeCodeBytes();
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
  FastRun<kCounting> run{actions_->data(), code_bytes_.data(), counts,
                         line_breaks_ == LineBreaks::kAny, buffer, line_, column_};
  for (;;) {
    run.w = buffer;
    const char16_t* const stop = end - p > static_cast<std::ptrdiff_t>(kBlock) ? p + kBlock : end;
    bool blocked = false;
    while (p < stop) {
      const std::size_t took = run.TakeUnit(
          *p, [p, end] { return end - p < 2 ? kChunkEnds : char32_t{p[1]}; }, 1);
      if (took == 0) {
        blocked = true;
        break;
      }
      p += took;
    }
    out.insert(out.end(), buffer, run.w);
    if (blocked || p == end) break;
  }
  line_ = run.line;
  column_ = run.column;
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
