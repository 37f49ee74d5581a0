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
  out_start_ = out.size();
  const bool fast = actions_.has_value();
  const char16_t* p = chunk.data();
  const char16_t* const end = p + chunk.size();
  while (p != end) {
    if (fast && !in_tag_ && !pending_cr_ && !after_cr_ && pending_high_ == 0) {
      p = Run(p, end, out);
      if (p == end) break;
    }
    Unit(*p++, out);
  }
  listed_ += out.size() - out_start_;
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
  const bool noting = uncoded_ != nullptr;
  const std::size_t listing_before = listing.size();
  std::size_t breaks = 0;
  const std::uint8_t* line_start = p;  // just past the last line break taken
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
              ++breaks;
              line_start = at + 1;
              return length;
            case Actions::kLineBreak:
              w = PutPiece(kPieces8.line_break, 4, w);
              return length;
            case Actions::kCr:
              // The CR and the LF of a pair are one line break.
              if (at[1] != '\n' && !any) return 0;
              w = PutPiece(kPieces8.line_break, 4, w);
              ++breaks;
              line_start = at + (at[1] == '\n' ? 2 : 1);
              return at[1] == '\n' ? 2 : 1;
            case Actions::kNoCode:
              // Noted on the plain path, which knows its place.
              if (noting) return 0;
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
  if (noting) {
    // Characters are counted by their first bytes, only when they are noted.
    const std::uint8_t* from = breaks > 0 ? line_start : p;
    std::size_t columns = 0;
    for (const std::uint8_t* q = from; q < p + i; ++q) columns += (*q & 0xC0) != 0x80;
    PassRun(breaks, columns);
    // All ASCII while uncoded characters are noted, so one unit a byte.
    listed_ += listing.size() - listing_before;
  }
  return i;
}

void CodeConverter::PassRun(std::size_t breaks, std::size_t columns) {
  // A lone LF that the plain path took ends its line only when the next unit comes.
  if (last_unit_ == u'\n') {
    ++place_.line;
    place_.column = 0;
  }
  if (breaks > 0) {
    place_.line += breaks;
    place_.column = columns;
  } else {
    place_.column += columns;
  }
  // The next unit goes on from here, on this line.
  last_unit_ = 0;
}

const char16_t* CodeConverter::Run(const char16_t* p, const char16_t* const end,
                                   std::u16string& out) {
  // Pieces are gathered here so that the string is grown once per block.
  // At most kBlock units; a CR LF pair gives four for two.
  constexpr std::size_t kBlock = kConvertBlock;
  char16_t buffer[kBlock * kMostPerUnit + kOvershoot];
  const std::uint16_t* const actions = actions_->data();
  const bool any = line_breaks_ == LineBreaks::kAny;
  const bool noting = uncoded_ != nullptr;
  const char16_t* const start = p;
  std::size_t breaks = 0;
  const char16_t* line_start = p;  // just past the last line break taken
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
          ++breaks;
          line_start = p;
          continue;
        case Actions::kLf:
          if (!any) break;
          ++breaks;
          line_start = p + 1;
          [[fallthrough]];
        case Actions::kLineBreak:
          ++p;
          w = PutPiece(kPieces16.line_break, 4, w);
          continue;
        case Actions::kNoCode:
          // A high surrogate waits to see whether its partner joins it; an
          // uncoded character to be noted goes to the plain path.
          if (IsHighSurrogate(*p) || noting) break;
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
    if (blocked || p == end) break;
  }
  if (noting) {
    // The two units of a pair are one column.
    std::size_t columns = 0;
    for (const char16_t* q = breaks > 0 ? line_start : start; q < p; ++q) {
      columns += !(IsLowSurrogate(*q) && q > start && IsHighSurrogate(q[-1]));
    }
    PassRun(breaks, columns);
  }
  return p;
}

void CodeConverter::Unit(char16_t ch, std::u16string& out) {
  const bool any = line_breaks_ == LineBreaks::kAny;
  if (uncoded_ != nullptr) {
    // Lines end at CR LF, a lone CR or a lone LF, as the encoder counts them;
    // the two units of a pair are one column.
    if (last_unit_ == u'\n' || (last_unit_ == u'\r' && ch != u'\n')) {
      ++place_.line;
      place_.column = 1;
    } else if (!(last_unit_ == u'\r' && ch == u'\n') &&
               !(IsHighSurrogate(last_unit_) && IsLowSurrogate(ch))) {
      ++place_.column;
    }
    last_unit_ = ch;
  }
  if (pending_cr_) {
    pending_cr_ = false;
    if (ch == u'\n') {
      Step(kLineBreakMark, cr_place_, out);
      return;
    }
    Step(u'\r', cr_place_, out);
  }
  if (after_cr_) {
    after_cr_ = false;
    if (ch == u'\n') return;
  }
  if (ch == u'\r' && any) {
    // One line break, with or without an LF after it.
    Step(kLineBreakMark, place_, out);
    after_cr_ = true;
  } else if (ch == u'\r') {
    pending_cr_ = true;
    cr_place_ = place_;
  } else if (ch == u'\n') {
    Step(any ? kLineBreakMark : u'\n', place_, out);
  } else {
    Step(ch, place_, out);
  }
}

void CodeConverter::Finish(std::u16string& out) {
  out_start_ = out.size();
  if (pending_cr_) {
    pending_cr_ = false;
    Step(u'\r', cr_place_, out);
  }
  after_cr_ = false;
  if (pending_high_ != 0) {
    NoteUncoded(out.size(), 1, high_place_, pending_high_);
    out += std::exchange(pending_high_, char16_t{0});
    out += u' ';
  }
  in_tag_ = false;
  place_ = Place();
  last_unit_ = 0;
  listed_ = 0;
}

void CodeConverter::NoteUncoded(std::size_t at, std::size_t length, Place place, char32_t ch) {
  if (uncoded_ == nullptr) return;
  uncoded_->push_back({listed_ + (at - out_start_), length, place.line, place.column, ch});
}

void CodeConverter::Step(char16_t ch, Place place, std::u16string& out) {
  if (pending_high_ != 0) {
    const char16_t high = std::exchange(pending_high_, char16_t{0});
    const bool pair = IsLowSurrogate(ch) && !table_.Find(ch);
    NoteUncoded(out.size(), pair ? 2 : 1, high_place_,
                pair ? CombineSurrogates(high, ch) : char32_t{high});
    out += high;
    // A pair that no cell holds stays one well-formed character with one space.
    if (pair) {
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
      Emit(ch, place, out);
  }
}

void CodeConverter::Emit(char16_t ch, Place place, std::u16string& out) {
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
    high_place_ = place;
    return;
  }
  NoteUncoded(out.size(), 1, place, ch);
  out += ch;
  out += u' ';
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
