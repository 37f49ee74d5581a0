#include "conversion/convert.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "runtime/block_size.h"
#include "runtime/utf16.h"
#include "runtime/utf8.h"

namespace binconv {
namespace detail {
namespace {

constexpr std::uint16_t Action(UnitActions::Kind kind) {
  return static_cast<std::uint16_t>(kind << 11);
}

}  // namespace

UnitActions::UnitActions(const CharTable& table) : actions_(0x10000, Action(kNoCode)) {
  // A unit has a code exactly when its cell is producible; the units that
  // conversion intercepts get their own kinds.
  const ProducibleCells producible(table);
  for (int index = 0; index < kCells; ++index) {
    const CellCode code = CellCode::FromIndex(index);
    if (const std::optional<char16_t> ch = producible.CharAt(code)) {
      actions_[*ch] = IsSurrogate(*ch) ? Action(kSurrogateCode)
                                       : static_cast<std::uint16_t>(code.page << 8 | code.byte());
    }
  }
  for (const auto& [ch, special] : SpecialUnits()) {
    switch (special) {
      case Special::kTagOpen:
        actions_[ch] = Action(kTagOpen);
        break;
      case Special::kTagClose:
        actions_[ch] = Action(kTagClose);
        break;
      case Special::kLineBreak:
        actions_[ch] = Action(kLineBreak);
        break;
      case Special::kSpace:
        actions_[ch] = Action(kSpace);
        break;
      case Special::kNone:
        break;
    }
  }
  actions_[u'\r'] = Action(kCr);
  actions_[u'\n'] = Action(kLf);
}

}  // namespace detail

namespace {

using detail::Special;
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

constexpr Pieces<char16_t> kPieces16 = MakePieces<char16_t>();
constexpr Pieces<char> kPieces8 = MakePieces<char>();

// The most a unit adds to a listing: a lead code and a code, three each.
// The pieces are copied four at a time, so a writer may store one more.
constexpr std::size_t kMostPerUnit = 6;
constexpr std::size_t kOvershoot = 1;

template <class Char>
Char* PutCode(const Pieces<Char>& pieces, std::uint16_t action, Char* w) {
  // Written whether or not the page has a lead code: pages mix too freely
  // for a branch to guess.
  const int page = Actions::PageOf(action);
  std::memcpy(w, pieces.lead[page].data(), 4 * sizeof(Char));
  w += page > 0 ? 3 : 0;
  std::memcpy(w, pieces.code[Actions::ByteOf(action)].data(), 4 * sizeof(Char));
  return w + 3;
}

template <class Char>
Char* PutPiece(const std::array<Char, 4>& piece, std::size_t length, Char* w) {
  std::memcpy(w, piece.data(), 4 * sizeof(Char));
  return w + length;
}

}  // namespace

CodeConverter::CodeConverter(const CharTable& table, LineBreaks line_breaks)
    : table_(table), line_breaks_(line_breaks) {}

void CodeConverter::Feed(std::u16string_view chunk, std::u16string& out) {
  ReserveFor(out, chunk.size());
  fed_ += chunk.size();
  if (!actions_ && fed_ >= detail::kUnitActionsAfter) actions_.emplace(table_);
  const char16_t* p = chunk.data();
  const char16_t* const end = p + chunk.size();
  while (p != end) {
    if (actions_ && !in_tag_ && !pending_cr_ && !after_cr_ && pending_high_ == 0) {
      p = Run(p, end, out);
      if (p == end) break;
    }
    Unit(*p++, out);
  }
}

bool CodeConverter::FeedUtf8(std::string_view bytes, std::string& listing) {
  return input_.Take(
      bytes, [&](std::string_view run) { return RunUtf8(run, listing); },
      [&](std::u16string_view text) {
        listing16_.clear();
        Feed(text, listing16_);
        AppendUtf8(listing16_, listing);
      });
}

bool CodeConverter::FinishUtf8(std::string& listing) {
  const bool good = input_.Finish();
  listing16_.clear();
  Finish(listing16_);
  // A text cut off inside a character gives nothing more.
  if (good) AppendUtf8(listing16_, listing);
  return good;
}

std::size_t CodeConverter::RunUtf8(std::string_view utf8, std::string& listing) {
  if (!actions_ && fed_ + utf8.size() / 3 >= detail::kUnitActionsAfter) actions_.emplace(table_);
  if (!actions_) return Utf8TextInput::kRunClosed;
  if (in_tag_ || pending_cr_ || after_cr_ || pending_high_ != 0) return 0;

  // The walk takes at most kBlock units.
  constexpr std::size_t kBlock = kConvertBlock;
  char buffer[kBlock * kMostPerUnit + kOvershoot];
  const std::uint16_t* const actions = actions_->data();
  const bool any = line_breaks_ == LineBreaks::kAny;
  const auto* const p = reinterpret_cast<const std::uint8_t*>(utf8.data());
  const std::size_t n = utf8.size();
  std::size_t i = 0;
  bool blocked = false;
  while (!blocked && n - i >= 8) {
    char* w = buffer;
    i = detail::WalkUtf8(
        p, i, n, kBlock, blocked,
        [&](char16_t c0, char16_t c1) {
          const std::uint16_t a0 = actions[c0];
          const std::uint16_t a1 = actions[c1];
          if (Actions::KindOf(a0 | a1) != Actions::kCode) return false;
          w = PutCode(kPieces8, a0, w);
          w = PutCode(kPieces8, a1, w);
          return true;
        },
        [&](char16_t unit, unsigned length, const std::uint8_t* at) -> std::size_t {
          const std::uint16_t action = actions[unit];
          switch (Actions::KindOf(action)) {
            case Actions::kCode:
              w = PutCode(kPieces8, action, w);
              return length;
            case Actions::kSpace:
              w = PutPiece(kPieces8.space, 3, w);
              return length;
            case Actions::kTagClose:
              *w++ = ' ';
              return length;
            case Actions::kLf:
              if (!any) return 0;
              w = PutPiece(kPieces8.line_break, 4, w);
              return length;
            case Actions::kLineBreak:
              w = PutPiece(kPieces8.line_break, 4, w);
              return length;
            case Actions::kCr:
              // The CR and the LF of a pair are one line break.
              if (at[1] != '\n' && !any) return 0;
              w = PutPiece(kPieces8.line_break, 4, w);
              return at[1] == '\n' ? 2 : 1;
            case Actions::kNoCode:
              // Left in the listing as it is; never a surrogate here.
              std::memcpy(w, at, length);
              w += length;
              *w++ = ' ';
              return length;
            case Actions::kTagOpen:
            case Actions::kSurrogateCode:
              break;
          }
          return 0;
        });
    listing.append(buffer, static_cast<std::size_t>(w - buffer));
  }
  return i;
}

const char16_t* CodeConverter::Run(const char16_t* p, const char16_t* const end,
                                   std::u16string& out) const {
  // Pieces are gathered here so that the string is grown once per block.
  // At most kBlock units; a CR LF pair gives four for two.
  constexpr std::size_t kBlock = kConvertBlock;
  char16_t buffer[kBlock * kMostPerUnit + kOvershoot];
  const std::uint16_t* const actions = actions_->data();
  const bool any = line_breaks_ == LineBreaks::kAny;
  for (;;) {
    char16_t* w = buffer;
    const char16_t* const stop = end - p > static_cast<std::ptrdiff_t>(kBlock) ? p + kBlock : end;
    bool blocked = false;
    while (p < stop) {
      const std::uint16_t action = actions[*p];
      if (Actions::KindOf(action) == Actions::kCode) {
        w = PutCode(kPieces16, action, w);
        ++p;
        continue;
      }
      switch (Actions::KindOf(action)) {
        case Actions::kSpace:
          w = PutPiece(kPieces16.space, 3, w);
          ++p;
          continue;
        case Actions::kTagClose:
          *w++ = u' ';
          ++p;
          continue;
        case Actions::kCr:
          // A CR at the end of the chunk waits for the next one.
          if (end - p < 2 || (p[1] != u'\n' && !any)) break;
          p += p[1] == u'\n' ? 2 : 1;
          w = PutPiece(kPieces16.line_break, 4, w);
          continue;
        case Actions::kLf:
          if (!any) break;
          [[fallthrough]];
        case Actions::kLineBreak:
          ++p;
          w = PutPiece(kPieces16.line_break, 4, w);
          continue;
        case Actions::kNoCode:
          // A high surrogate waits to see whether its partner joins it.
          if (IsHighSurrogate(*p)) break;
          w[0] = *p++;
          w[1] = u' ';
          w += 2;
          continue;
        default:
          break;
      }
      blocked = true;
      break;
    }
    out.append(buffer, static_cast<std::size_t>(w - buffer));
    if (blocked || p == end) return p;
  }
}

void CodeConverter::Unit(char16_t ch, std::u16string& out) {
  const bool any = line_breaks_ == LineBreaks::kAny;
  if (pending_cr_) {
    pending_cr_ = false;
    if (ch == u'\n') {
      Step(kLineBreakMark, out);
      return;
    }
    Step(u'\r', out);
  }
  if (after_cr_) {
    after_cr_ = false;
    if (ch == u'\n') return;
  }
  if (ch == u'\r' && any) {
    // One line break, with or without an LF after it.
    Step(kLineBreakMark, out);
    after_cr_ = true;
  } else if (ch == u'\r') {
    pending_cr_ = true;
  } else if (ch == u'\n') {
    Step(any ? kLineBreakMark : u'\n', out);
  } else {
    Step(ch, out);
  }
}

void CodeConverter::Finish(std::u16string& out) {
  if (pending_cr_) {
    pending_cr_ = false;
    Step(u'\r', out);
  }
  after_cr_ = false;
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
    if (IsLowSurrogate(ch) && !table_.Find(ch)) {
      out += ch;
      out += u' ';
      return;
    }
    out += u' ';
  }
  const Special special = detail::ClassifySpecial(ch);
  if (detail::StepTagFlag(special, in_tag_)) return;
  if (in_tag_) {
    out += ch;
    return;
  }
  switch (special) {
    case Special::kLineBreak:
      out.append(kPieces16.line_break.data(), 4);
      return;
    case Special::kSpace:
      out.append(kPieces16.space.data(), 3);
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
    // One append per character keeps the hot path to a single capacity check.
    char16_t piece[8];
    const char16_t* end =
        PutCode(kPieces16, static_cast<std::uint16_t>(code->page << 8 | code->byte()), piece);
    out.append(piece, static_cast<std::size_t>(end - piece));
    return;
  }
  if (IsHighSurrogate(ch)) {
    pending_high_ = ch;
    return;
  }
  out += ch;
  out += u' ';
}

std::u16string ConvertToCode(std::u16string_view text, const CharTable& table,
                             LineBreaks line_breaks) {
  std::u16string out;
  // Room for the longest listing, so that a long text is never copied while
  // it grows; pages the listing doesn't reach are never touched.
  out.reserve(text.size() * 6 + 8);
  CodeConverter converter(table, line_breaks);
  converter.Feed(text, out);
  converter.Finish(out);
  return out;
}

}  // namespace binconv
