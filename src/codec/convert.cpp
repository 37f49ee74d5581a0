#include "codec/convert.h"

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
      if (IsSurrogate(*ch)) {
        actions_[*ch] = Action(kSurrogateCode);
      } else {
        actions_[*ch] = static_cast<std::uint16_t>(code.page << 8 | code.byte());
        coded_.push_back(*ch);
      }
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
using detail::kChunkEnds;

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

// A character without a code, left in the listing as it is: its unit, or
// the bytes of its sequence of UTF-8.
inline char16_t* PutAsIs(char16_t* w, char16_t unit, const char16_t*, unsigned) {
  w[0] = unit;
  w[1] = u' ';
  return w + 2;
}

inline char* PutAsIs(char* w, char16_t, const std::uint8_t* at, unsigned length) {
  std::memcpy(w, at, length);
  w[length] = ' ';
  return w + length + 1;
}

// What a fast path carries while it runs: the listing is written as Char
// (UTF-16 or UTF-8) from input units at In (UTF-16 units or UTF-8 bytes).
template <class Char, class In>
struct FastRun {
  const Pieces<Char>& pieces;
  const std::uint16_t* actions;
  bool any;
  bool noting;
  Char* w;
  std::size_t breaks = 0;  // line breaks taken
  const In* line_start;    // just past the last line break taken

  void TakeCode(std::uint16_t action) { w = PutCode(pieces, action, w); }

  // A line break of the text that took `took` units from `at`; line breaks
  // are ASCII, so as many bytes of UTF-8.
  void TakeLineEnd(const In* at, std::size_t took) {
    w = PutPiece(pieces.line_break, 4, w);
    ++breaks;
    line_start = at + took;
  }

  // The one rule of both fast paths for the unit at `at` that needs no
  // state, of `length` input units (UTF-16 units or bytes of UTF-8).
  // `next_unit()` gives the unit after it, asked only of a CR: kChunkEnds
  // when unknown; from UTF-8 the next byte, which is an LF exactly when the
  // next unit is. Returns how much input it took: `length`, 2 for a CR LF
  // (two units, two bytes), or 0 to leave the unit to the plain path.
  template <class Next>
  std::size_t TakeUnit(char16_t unit, Next next_unit, const In* at, unsigned length) {
    const std::uint16_t action = actions[unit];
    // Codes first, the bulk of any text.
    if (Actions::KindOf(action) == Actions::kCode) {
      TakeCode(action);
      return length;
    }
    switch (Actions::KindOf(action)) {
      case Actions::kCode:
        break;
      case Actions::kSpace:
        w = PutPiece(pieces.space, 3, w);
        return length;
      case Actions::kTagClose:
        *w++ = static_cast<Char>(' ');
        return length;
      case Actions::kLineBreak:
        w = PutPiece(pieces.line_break, 4, w);
        return length;
      case Actions::kCr: {
        // The CR and the LF of a pair are one line break.
        const char32_t next = next_unit();
        if (next == kChunkEnds || (next != u'\n' && !any)) return 0;
        const std::size_t took = next == u'\n' ? 2 : length;
        TakeLineEnd(at, took);
        return took;
      }
      case Actions::kLf:
        if (!any) return 0;
        TakeLineEnd(at, length);
        return length;
      case Actions::kNoCode:
        // A high surrogate waits to see whether its partner joins it; an
        // uncoded character to be noted goes to the plain path, which
        // knows its place.
        if (IsHighSurrogate(unit) || noting) return 0;
        w = PutAsIs(w, unit, at, length);
        return length;
      case Actions::kTagOpen:
      case Actions::kSurrogateCode:
        break;
    }
    return 0;
  }
};

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
  const auto* const p = reinterpret_cast<const std::uint8_t*>(utf8.data());
  FastRun<char, std::uint8_t> run{kPieces8, actions_->data(), line_breaks_ == LineBreaks::kAny,
                                  uncoded_ != nullptr, buffer, 0, p};
  const std::size_t n = utf8.size();
  std::size_t i = 0;
  const std::size_t listing_before = listing.size();
  bool blocked = false;
  while (!blocked && n - i >= 8) {
    run.w = buffer;
    i = detail::WalkUtf8(
        p, i, n, kBlock, blocked,
        [&](char16_t c0, char16_t c1) {
          const std::uint16_t a0 = run.actions[c0];
          const std::uint16_t a1 = run.actions[c1];
          if (Actions::KindOf(a0 | a1) != Actions::kCode) return false;
          run.TakeCode(a0);
          run.TakeCode(a1);
          return true;
        },
        [&](char16_t unit, unsigned length, const std::uint8_t* at) -> std::size_t {
          return run.TakeUnit(unit, [at] { return char32_t{at[1]}; }, at, length);
        });
    listing.append(buffer, static_cast<std::size_t>(run.w - buffer));
  }
  if (run.noting) {
    // Columns are counted only when uncoded characters are noted.
    const std::uint8_t* from = run.breaks > 0 ? run.line_start : p;
    const std::string_view line(reinterpret_cast<const char*>(from),
                                static_cast<std::size_t>(p + i - from));
    PassRun(run.breaks, ColumnOfByte(line, line.size()) - 1);
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
  const char16_t* const start = p;
  FastRun<char16_t, char16_t> run{kPieces16, actions_->data(), line_breaks_ == LineBreaks::kAny,
                                  uncoded_ != nullptr, buffer, 0, p};
  for (;;) {
    run.w = buffer;
    const char16_t* const stop = end - p > static_cast<std::ptrdiff_t>(kBlock) ? p + kBlock : end;
    bool blocked = false;
    while (p < stop) {
      const std::size_t took = run.TakeUnit(
          *p, [p, end] { return end - p < 2 ? kChunkEnds : char32_t{p[1]}; }, p, 1);
      if (took == 0) {
        blocked = true;
        break;
      }
      p += took;
    }
    out.append(buffer, static_cast<std::size_t>(run.w - buffer));
    if (blocked || p == end) break;
  }
  if (run.noting) {
    const char16_t* from = run.breaks > 0 ? run.line_start : start;
    const std::u16string_view line(from, static_cast<std::size_t>(p - from));
    PassRun(run.breaks, ColumnOf(line, line.size()) - 1);
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
