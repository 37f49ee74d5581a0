#include "codec/encode.h"

#include <algorithm>
#include <utility>

#include "codec/detail/encoding_loop.h"
#include "runtime/block_size.h"
#include "runtime/utf16.h"
#include "runtime/utf8.h"

namespace binconv {
namespace {

using Kind = EncodeProblem::Kind;
using Actions = detail::UnitActions;

constexpr std::uint32_t kNotCode = 0x80000000u;

bool DroppedByWriter(char16_t ch) {
  return IsListingSeparator(ch) || ch == u'\r' || ch == u'\n';
}

// The bytes' writer for the fast paths. Counting is settled at compile time
// so that the plain encoder pays nothing for it.
template <bool kCounting>
struct ByteWriter {
  using Out = std::uint8_t;
  static constexpr std::size_t kBlock = kEncodeBlock;
  // A unit gives at most a lead byte and the code's byte.
  static constexpr std::size_t kBufferSize = kBlock * 2;
  const std::uint16_t* actions;
  const std::uint32_t* code_bytes;
  EncodeCounts* counts;  // used only when kCounting
  std::vector<std::uint8_t>& out;

  // A unit with a code (`bytes` from code_bytes): its one or two bytes. Both
  // bytes are stored whatever the count.
  void PutCode(char16_t unit, std::uint32_t bytes, Out*& w) const {
    w[0] = static_cast<std::uint8_t>(bytes);
    w[1] = static_cast<std::uint8_t>(bytes >> 8);
    w += bytes >> 16;
    if constexpr (kCounting) ++counts->by_page[Actions::PageOf(actions[unit])];
  }
  bool TakeCode(char16_t unit, Out*& w) const {
    const std::uint32_t bytes = code_bytes[unit];
    if (bytes & kNotCode) return false;
    PutCode(unit, bytes, w);
    return true;
  }
  // Two of them in a row, the bulk of Japanese text.
  bool TakeCodes(char16_t unit0, char16_t unit1, Out*& w) const {
    const std::uint32_t b0 = code_bytes[unit0];
    const std::uint32_t b1 = code_bytes[unit1];
    if ((b0 | b1) & kNotCode) return false;
    PutCode(unit0, b0, w);
    PutCode(unit1, b1, w);
    return true;
  }
  void PutSpace(Out*& w) const {
    *w++ = kSpaceByte;
    if constexpr (kCounting) ++counts->spaces;
  }
  void PutLineBreak(Out*& w) const {
    *w++ = kLineBreakByte;
    if constexpr (kCounting) ++counts->line_breaks;
  }
  // A ">" outside a tag closes none: the plain way reports it.
  bool PutTagClose(Out*&) const { return false; }
  // Every problem goes to the plain way, which reports it.
  template <class In>
  bool PutAsIs(char16_t, const In*, unsigned, Out*&) const {
    return false;
  }
  void Append(const Out* buffer, const Out* w) const { out.insert(out.end(), buffer, w); }
};

}  // namespace

// The bytes as the encoding rule's sink. The plain way writes each byte as
// two digits, as the listing would hold them: a digit may be waiting for its
// partner.
struct Encoder::Sink {
  static constexpr bool kPairsInTag = true;  // a pair in a tag is one problem
  Encoder& self;
  std::vector<std::uint8_t>& out;

  static constexpr bool places() { return true; }
  bool fast_open() const { return self.pending_nibble_ < 0; }
  bool runs_utf8() const { return self.counts_ == nullptr; }
  void Reserve(std::size_t units) {
    // Up to two bytes a character; growing geometrically keeps small chunks linear.
    const std::size_t need = out.size() + units * 2;
    if (need > out.capacity()) out.reserve(std::max(need, out.capacity() * 2));
  }
  template <class Run>
  auto WithWriter(Run&& run) {
    self.MakeCodeBytes();
    const std::uint16_t* actions = self.core_.actions()->data();
    if (self.counts_ != nullptr) {
      return run(ByteWriter<true>{actions, self.code_bytes_.data(), self.counts_, out});
    }
    return run(ByteWriter<false>{actions, self.code_bytes_.data(), nullptr, out});
  }

  void PutCode(int page, std::uint8_t byte) {
    if (self.counts_) ++self.counts_->by_page[page];
    if (page != 0) Byte(kLeadBytes[page]);
    Byte(byte);
  }
  void PutLineBreak() {
    if (self.counts_) ++self.counts_->line_breaks;
    Byte(kLineBreakByte);
  }
  void PutSpace() {
    if (self.counts_) ++self.counts_->spaces;
    Byte(kSpaceByte);
  }
  void PutTagOpen(char16_t ch, detail::TextPlace place) { Report(self.tags_.Open(ch, place)); }
  void PutTagClose(char16_t ch, detail::TextPlace place) { Report(self.tags_.Close(ch, place)); }
  void PutTextEnd() { Report(self.tags_.End()); }
  void PutTagUnit(char16_t ch, detail::TextPlace place) {
    self.tags_.Content(ch);
    if (ch == kLineBreakMark) {
      Report(self.tags_.LineBreak(place, ch));
    } else if (const int value = HexValue(ch); value >= 0) {
      if (self.counts_) ++self.counts_->tag_digits;
      Nibble(value);
    } else if (!DroppedByWriter(ch)) {
      // Spaces and lone line breaks copied from a tag vanish in the writer.
      Report(Kind::kNotHexInTag, place, ch);
    }
  }
  void PutUncoded(char16_t high, char16_t low, detail::TextPlace place, bool in_tag) {
    if (in_tag) self.tags_.Content(high);
    Report(in_tag ? Kind::kNotHexInTag : Kind::kNoCode, place,
           low != 0 ? CombineSurrogates(high, low) : char32_t{high});
    // The listing would carry this character on, and a digit-like one would
    // be read as a digit there; pairing follows the listing.
    if (const int value = HexValue(high); value >= 0 && !in_tag && !self.drop_problems_) {
      Nibble(value);
    }
  }

  void Byte(std::uint8_t byte) {
    Nibble(byte >> 4);
    Nibble(byte & 15);
  }
  void Nibble(int value) {
    if (self.pending_nibble_ < 0) {
      self.pending_nibble_ = value;
      return;
    }
    out.push_back(static_cast<std::uint8_t>(self.pending_nibble_ * 16 + value));
    self.pending_nibble_ = -1;
  }
  void Report(Kind kind, detail::TextPlace place, char32_t ch) {
    self.problems_.push_back(EncodeProblem{kind, place.line, place.column, ch});
  }
  void Report(std::optional<detail::TagProblem> found) {
    if (found) Report(found->kind, found->place, found->ch);
  }
};

Encoder::Encoder(const CharTable& table, LineBreaks line_breaks) : core_(table, line_breaks) {}

void Encoder::StartText() {
  if (finished_) {
    finished_ = false;
    problems_.clear();
    odd_count_ = false;
  }
}

void Encoder::Feed(std::u16string_view chunk, std::vector<std::uint8_t>& out) {
  StartText();
  Sink sink{*this, out};
  core_.Feed(chunk, sink);
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
  Sink sink{*this, out};
  return core_.RunUtf8(utf8, sink);
}

void Encoder::MakeCodeBytes() {
  if (!code_bytes_.empty()) return;
  // The bytes of each code and their count, so that writing them takes no
  // branch: b0 | b1 << 8 | count << 16; kNotCode for the other units.
  const Actions& actions = *core_.actions();
  code_bytes_.assign(0x10000, kNotCode);
  for (const char16_t unit : actions.coded()) {
    const std::uint16_t action = actions[unit];
    if (Actions::KindOf(action) != Actions::kCode) continue;  // a special unit
    const int page = Actions::PageOf(action);
    const std::uint32_t byte = Actions::ByteOf(action);
    code_bytes_[unit] = page == 0 ? byte | 1u << 16 : kLeadBytes[page] | byte << 8 | 2u << 16;
  }
}

void Encoder::Finish(std::vector<std::uint8_t>& out) {
  Sink sink{*this, out};
  core_.Finish(sink);
  odd_count_ = pending_nibble_ >= 0;
  pending_nibble_ = -1;
  finished_ = true;
}

}  // namespace binconv
