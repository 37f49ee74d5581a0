#include "codec/convert.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "codec/detail/encoding_loop.h"
#include "runtime/block_size.h"
#include "runtime/utf16.h"
#include "runtime/utf8.h"

namespace binconv {
namespace {

using Actions = detail::UnitActions;

// Most characters take three units ("1A "); growing geometrically keeps many
// small chunks linear.
void ReserveFor(std::u16string& out, std::size_t units) {
  const std::size_t need = out.size() + units * 3 + 4;
  if (need > out.capacity()) out.reserve(std::max(need, out.capacity() * 2));
}

// The listing's pieces, each written whole and followed by a space, so that
// the hot paths copy them in one go and move on by what counts.
template <class Char>
struct Pieces {
  std::array<std::array<Char, 4>, kPages> lead{};  // "20 "
  std::array<std::array<Char, 4>, 256> code{};     // "1A "
  std::array<Char, 4> line_break{};                // "24" CR LF
  std::array<Char, 4> space{};                     // "50 "
};

template <class Char>
constexpr Pieces<Char> MakePieces() {
  Pieces<Char> pieces;
  auto put = [](std::array<Char, 4>& piece, std::u16string_view digits, char16_t after) {
    piece = {static_cast<Char>(digits[0]), static_cast<Char>(digits[1]), static_cast<Char>(after),
             0};
  };
  for (int page = 1; page < kPages; ++page) put(pieces.lead[page], LeadCodes[page], u' ');
  for (int b = 0; b < 256; ++b) {
    put(pieces.code[b], detail::TextOfByte(static_cast<std::uint8_t>(b)).view(), u' ');
  }
  put(pieces.line_break, kLineBreakCode, u'\r');
  pieces.line_break[3] = static_cast<Char>(u'\n');
  put(pieces.space, kFullWidthSpaceCode, u' ');
  return pieces;
}

template <class Char>
constexpr Pieces<Char> kPieces = MakePieces<Char>();

// The most a unit adds to a listing: a lead code and a code, three each.
// The pieces are copied four at a time, so a writer may store one more.
constexpr std::size_t kMostPerUnit = 6;
constexpr std::size_t kOvershoot = 1;

template <class Char>
Char* WriteCode(const Pieces<Char>& pieces, std::uint16_t action, Char* w) {
  // Written whether or not the page has a lead code: pages mix too freely
  // for a branch to guess.
  const int page = Actions::PageOf(action);
  std::memcpy(w, pieces.lead[page].data(), 4 * sizeof(Char));
  w += page > 0 ? 3 : 0;
  std::memcpy(w, pieces.code[Actions::ByteOf(action)].data(), 4 * sizeof(Char));
  return w + 3;
}

template <class Char>
Char* WritePiece(const std::array<Char, 4>& piece, std::size_t length, Char* w) {
  std::memcpy(w, piece.data(), 4 * sizeof(Char));
  return w + length;
}

// A character without a code, left in the listing as it is: its unit, or
// the bytes of its sequence of UTF-8.
inline char16_t* WriteAsIs(char16_t* w, char16_t unit, const char16_t*, unsigned) {
  w[0] = unit;
  w[1] = u' ';
  return w + 2;
}

inline char* WriteAsIs(char* w, char16_t, const std::uint8_t* at, unsigned length) {
  std::memcpy(w, at, length);
  w[length] = ' ';
  return w + length + 1;
}

// The listing's writer for the fast paths, into a listing in UTF-16 or
// UTF-8 (Text).
template <class Text>
struct ListingWriter {
  using Out = typename Text::value_type;
  static constexpr std::size_t kBlock = kConvertBlock;
  static constexpr std::size_t kBufferSize = kBlock * kMostPerUnit + kOvershoot;
  static constexpr const Pieces<Out>& pieces = kPieces<Out>;
  const std::uint16_t* actions;
  bool noting;
  Text& out;

  bool TakeCode(char16_t unit, Out*& w) const {
    const std::uint16_t action = actions[unit];
    if (Actions::KindOf(action) != Actions::kCode) return false;
    w = WriteCode(pieces, action, w);
    return true;
  }
  bool TakeCodes(char16_t unit0, char16_t unit1, Out*& w) const {
    const std::uint16_t a0 = actions[unit0];
    const std::uint16_t a1 = actions[unit1];
    if (Actions::KindOf(a0 | a1) != Actions::kCode) return false;
    w = WriteCode(pieces, a1, WriteCode(pieces, a0, w));
    return true;
  }
  void PutSpace(Out*& w) const { w = WritePiece(pieces.space, 3, w); }
  void PutLineBreak(Out*& w) const { w = WritePiece(pieces.line_break, 4, w); }
  bool PutTagClose(Out*& w) const {
    *w++ = static_cast<Out>(' ');
    return true;
  }
  template <class In>
  bool PutAsIs(char16_t unit, const In* at, unsigned length, Out*& w) const {
    // An uncoded character to be noted goes to the plain way, which knows
    // its place.
    if (noting) return false;
    w = WriteAsIs(w, unit, at, length);
    return true;
  }
  void Append(const Out* buffer, const Out* w) const {
    out.append(buffer, static_cast<std::size_t>(w - buffer));
  }
};

}  // namespace

// The listing as the encoding rule's sink: in UTF-16, or in UTF-8 for the
// fast path from UTF-8 alone.
template <class Text>
struct CodeConverter::Sink {
  using Char = typename Text::value_type;
  static constexpr bool kPairsInTag = false;  // a tag's units are copied as they come
  CodeConverter& self;
  Text& out;

  bool places() const { return self.uncoded_ != nullptr; }
  static constexpr bool fast_open() { return true; }
  static constexpr bool runs_utf8() { return true; }
  void Reserve(std::size_t units) { ReserveFor(out, units); }
  template <class Run>
  auto WithWriter(Run&& run) {
    return run(ListingWriter<Text>{self.core_.actions()->data(), places(), out});
  }

  void PutCode(int page, std::uint8_t byte) {
    // One append per character keeps the hot path to a single capacity check.
    char16_t piece[8];
    const char16_t* end =
        WriteCode(kPieces<char16_t>, static_cast<std::uint16_t>(page << 8 | byte), piece);
    out.append(piece, static_cast<std::size_t>(end - piece));
  }
  void PutLineBreak() { out.append(kPieces<char16_t>.line_break.data(), 4); }
  void PutSpace() { out.append(kPieces<char16_t>.space.data(), 3); }
  void PutTagOpen(char16_t, detail::TextPlace) {}
  void PutTagClose(char16_t, detail::TextPlace) { out += u' '; }
  void PutTextEnd() {}
  void PutTagUnit(char16_t ch, detail::TextPlace place) {
    // The listing keeps the mark, which no byte can be read from: it is
    // noted like a character without a code.
    if (ch == kLineBreakMark && self.uncoded_ != nullptr) {
      self.uncoded_->push_back({self.listed_ + (out.size() - self.out_start_), 1, place.line,
                                place.column, ch, ProblemCode::kLineBreakInTag});
    }
    out += ch;
  }
  void PutUncoded(char16_t high, char16_t low, detail::TextPlace place, bool) {
    if (self.uncoded_ != nullptr) {
      self.uncoded_->push_back({self.listed_ + (out.size() - self.out_start_),
                                low != 0 ? std::size_t{2} : std::size_t{1}, place.line,
                                place.column, low != 0 ? CombineSurrogates(high, low) : high});
    }
    out += high;
    // A pair that no cell holds stays one well-formed character with one space.
    if (low != 0) out += low;
    out += u' ';
  }
};

CodeConverter::CodeConverter(const CharTable& table, LineBreaks line_breaks)
    : core_(table, line_breaks) {}

void CodeConverter::Feed(std::u16string_view chunk, std::u16string& out) {
  out_start_ = out.size();
  Sink<std::u16string> sink{*this, out};
  core_.Feed(chunk, sink);
  listed_ += out.size() - out_start_;
}

bool CodeConverter::FeedUtf8(std::string_view bytes, std::string& listing) {
  return utf8_.Feed(*this, bytes, [&](std::string_view run) { return RunUtf8(run, listing); }, listing);
}

bool CodeConverter::FinishUtf8(std::string& listing) { return utf8_.Finish(*this, listing); }

std::size_t CodeConverter::RunUtf8(std::string_view utf8, std::string& listing) {
  const std::size_t before = listing.size();
  Sink<std::string> sink{*this, listing};
  const std::size_t taken = core_.RunUtf8(utf8, sink);
  // All ASCII while uncoded characters are noted, so one unit a byte.
  if (uncoded_ != nullptr) listed_ += listing.size() - before;
  return taken;
}

void CodeConverter::Finish(std::u16string& out) {
  out_start_ = out.size();
  Sink<std::u16string> sink{*this, out};
  core_.Finish(sink);
  listed_ = 0;
}
std::u16string ConvertToCode(std::u16string_view text, const CharTable& table,
                             LineBreaks line_breaks, std::vector<UncodedChar>* uncoded) {
  std::u16string out;
  // Room for the longest listing, so that a long text is never copied while
  // it grows; pages the listing doesn't reach are never touched.
  out.reserve(text.size() * 6 + 8);
  CodeConverter converter(table, line_breaks);
  converter.set_uncoded(uncoded);
  converter.Feed(text, out);
  converter.Finish(out);
  return out;
}

}  // namespace binconv
