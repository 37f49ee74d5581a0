#include "conversion/convert.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "runtime/compare.h"
#include "runtime/utf8.h"

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

namespace {

constexpr std::uint16_t Action(UnitActions::Kind kind) {
  return static_cast<std::uint16_t>(kind << 11);
}

// Every unit that TextCompare takes for a delimiter, found once per process.
const std::vector<std::pair<char16_t, Special>>& SpecialUnits() {
  static const std::vector<std::pair<char16_t, Special>> units = [] {
    std::vector<std::pair<char16_t, Special>> found;
    for (std::uint32_t c = 0; c <= 0xFFFF; ++c) {
      const auto ch = static_cast<char16_t>(c);
      if (const Special special = ClassifySpecial(ch); special != Special::kNone) {
        found.emplace_back(ch, special);
      }
    }
    return found;
  }();
  return units;
}

}  // namespace

UnitActions::UnitActions(const CharTable& table) : actions_(0x10000, Action(kNoCode)) {
  for (int page = 0; page < kPages; ++page) {
    for (int row = 0; row < kRows; ++row) {
      for (int column = 0; column < kColumns; ++column) {
        const std::u16string& cell = table.Cell(page, row, column);
        if (cell.size() != 1 || actions_[cell[0]] != Action(kNoCode)) continue;
        actions_[cell[0]] = static_cast<std::uint16_t>(page << 8 | row << 4 | column);
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

// Most characters take three units ("1A "); growing geometrically keeps many
// small chunks linear.
void ReserveFor(std::u16string& out, std::size_t units) {
  const std::size_t need = out.size() + units * 3 + 4;
  if (need > out.capacity()) out.reserve(std::max(need, out.capacity() * 2));
}

constexpr std::array<std::array<char16_t, 2>, kPages> kLeadPieces = [] {
  std::array<std::array<char16_t, 2>, kPages> pieces{};
  for (int page = 1; page < kPages; ++page) {
    pieces[page] = {LeadCodes[page][0], LeadCodes[page][1]};
  }
  return pieces;
}();

// The listing's ASCII pieces, four bytes each so that they copy in one go.
constexpr std::array<std::array<char, 4>, kPages> kLeadText = [] {
  std::array<std::array<char, 4>, kPages> text{};
  for (int page = 1; page < kPages; ++page) {
    text[page] = {static_cast<char>(LeadCodes[page][0]), static_cast<char>(LeadCodes[page][1]), ' ',
                  0};
  }
  return text;
}();

constexpr std::array<std::array<char, 4>, 256> kByteText = [] {
  std::array<std::array<char, 4>, 256> text{};
  for (int b = 0; b < 256; ++b) {
    text[b] = {static_cast<char>(HexDigits[b >> 4]), static_cast<char>(HexDigits[b & 15]), ' ', 0};
  }
  return text;
}();

char16_t* PutLineBreak(char16_t* w) {
  w[0] = kLineBreakCode[0];
  w[1] = kLineBreakCode[1];
  w[2] = u'\r';
  w[3] = u'\n';
  return w + 4;
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
    if (actions_ && !in_tag_ && !pending_cr_ && pending_high_ == 0) {
      p = Run(p, end, out);
      if (p == end) break;
    }
    Unit(*p++, out);
  }
}

std::size_t CodeConverter::FeedUtf8Run(std::string_view utf8, std::string& listing) {
  using Actions = detail::UnitActions;
  if (!actions_ && fed_ + utf8.size() / 3 >= detail::kUnitActionsAfter) actions_.emplace(table_);
  if (!actions_ || in_tag_ || pending_cr_ || pending_high_ != 0) return 0;

  constexpr std::size_t kBlock = 512;  // characters, each at most seven bytes of listing
  char buffer[kBlock * 7];
  const std::uint16_t* const actions = actions_->data();
  const bool any = line_breaks_ == LineBreaks::kAny;
  const auto* const p = reinterpret_cast<const std::uint8_t*>(utf8.data());
  const std::size_t n = utf8.size();
  std::size_t i = 0;
  bool blocked = false;
  // Eight bytes are read at a time; the last few go the decoder's way.
  while (!blocked && n - i >= 8) {
    char* w = buffer;
    // Both pieces are written whole and the pointer moves by what counts.
    auto put_code = [&w](std::uint16_t action) {
      const int page = Actions::PageOf(action);
      std::memcpy(w, kLeadText[page].data(), 4);
      w += page > 0 ? 3 : 0;
      std::memcpy(w, kByteText[Actions::ByteOf(action)].data(), 4);
      w += 3;
    };
    for (std::size_t k = 0; k < kBlock && n - i >= 8; ++k) {
      const std::uint64_t v = detail::LoadLittleEndian64(p + i);
      // Japanese text is mostly two three-byte characters with codes in a row.
      constexpr std::uint64_t kMask = 0xC0C0F0u;
      constexpr std::uint64_t kPattern = 0x8080E0u;
      if ((v & (kMask << 24 | kMask)) == (kPattern << 24 | kPattern)) {
        const std::uint32_t c0 = detail::ThreeByteUnit(v);
        const std::uint32_t c1 = detail::ThreeByteUnit(v >> 24);
        const std::uint16_t a0 = actions[c0];
        const std::uint16_t a1 = actions[c1];
        if ((((detail::BadThreeByteBits(c0) | detail::BadThreeByteBits(c1)) & 1u) == 0) &&
            Actions::KindOf(a0 | a1) == Actions::kCode) {
          put_code(a0);
          put_code(a1);
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
      switch (Actions::KindOf(action)) {
        case Actions::kCode:
          put_code(action);
          break;
        case Actions::kSpace:
          std::memcpy(w, "50 ", 3);
          w += 3;
          break;
        case Actions::kTagClose:
          *w++ = ' ';
          break;
        case Actions::kLf:
          if (!any) {
            blocked = true;
            break;
          }
          std::memcpy(w, "24\r\n", 4);
          w += 4;
          break;
        case Actions::kLineBreak:
          std::memcpy(w, "24\r\n", 4);
          w += 4;
          break;
        case Actions::kCr:
          if (p[i + 1] != '\n' && !any) {
            blocked = true;
            break;
          }
          // The CR and the LF of a pair are one line break.
          i += p[i + 1] == '\n';
          std::memcpy(w, "24\r\n", 4);
          w += 4;
          break;
        case Actions::kNoCode:
          // Left in the listing as it is; never a surrogate here.
          std::memcpy(w, p + i, sequence.length);
          w += sequence.length;
          *w++ = ' ';
          break;
        case Actions::kTagOpen:
          blocked = true;
          break;
      }
      if (blocked) break;
      i += sequence.length;
    }
    listing.append(buffer, static_cast<std::size_t>(w - buffer));
  }
  return i;
}

const char16_t* CodeConverter::Run(const char16_t* p, const char16_t* const end,
                                   std::u16string& out) const {
  using Actions = detail::UnitActions;
  // Pieces are gathered here so that the string is grown once per block.
  constexpr std::size_t kBlock = 512;
  char16_t buffer[kBlock * 6];
  const std::uint16_t* const actions = actions_->data();
  const bool any = line_breaks_ == LineBreaks::kAny;
  for (;;) {
    char16_t* w = buffer;
    const char16_t* const stop = end - p > static_cast<std::ptrdiff_t>(kBlock) ? p + kBlock : end;
    bool blocked = false;
    while (p < stop) {
      const std::uint16_t action = actions[*p];
      if (Actions::KindOf(action) == Actions::kCode) {
        // Written whether or not the page has a lead code: pages mix too
        // freely for a branch to guess.
        const int page = Actions::PageOf(action);
        w[0] = kLeadPieces[page][0];
        w[1] = kLeadPieces[page][1];
        w[2] = u' ';
        w += page > 0 ? 3 : 0;
        const std::uint8_t byte = Actions::ByteOf(action);
        w[0] = HexDigits[byte >> 4];
        w[1] = HexDigits[byte & 15];
        w[2] = u' ';
        w += 3;
        ++p;
        continue;
      }
      switch (Actions::KindOf(action)) {
        case Actions::kSpace:
          w[0] = kFullWidthSpaceCode[0];
          w[1] = kFullWidthSpaceCode[1];
          w[2] = u' ';
          w += 3;
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
          w = PutLineBreak(w);
          continue;
        case Actions::kLf:
          if (!any) break;
          [[fallthrough]];
        case Actions::kLineBreak:
          ++p;
          w = PutLineBreak(w);
          continue;
        case Actions::kNoCode:
          // A high surrogate waits to see whether its partner joins it.
          if (detail::IsHighSurrogate(*p)) break;
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
  const char16_t lone_cr = line_breaks_ == LineBreaks::kAny ? kLineBreakMark : u'\r';
  const char16_t lone_lf = line_breaks_ == LineBreaks::kAny ? kLineBreakMark : u'\n';
  if (pending_cr_) {
    pending_cr_ = false;
    if (ch == u'\n') {
      Step(kLineBreakMark, out);
      return;
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
      out.append(u"24\r\n", 4);
      return;
    case Special::kSpace:
      out.append(u"50 ", 3);
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
    char16_t piece[6];
    std::size_t n = 0;
    if (code->page > 0) {
      for (const char16_t digit : LeadCodes[code->page]) piece[n++] = digit;
      piece[n++] = u' ';
    }
    piece[n++] = HexDigits[code->row];
    piece[n++] = HexDigits[code->column];
    piece[n++] = u' ';
    out.append(piece, n);
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
  // Room for the longest listing, so that a long text is never copied while
  // it grows; pages the listing doesn't reach are never touched.
  out.reserve(text.size() * 6 + 8);
  CodeConverter converter(table, line_breaks);
  converter.Feed(text, out);
  converter.Finish(out);
  return out;
}

}  // namespace binconv
