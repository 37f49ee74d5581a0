#include "codec/detail/encoding_core.h"

#include "chartable/encoding.h"
#include "runtime/utf16.h"

namespace binconv::detail {
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

TextPlace EncodingCore::Place(char16_t ch) {
  place_.column += BeginsColumn(last_unit_, ch);
  last_unit_ = ch;
  const TextPlace place = place_;
  if (ch == u'\r' || ch == u'\n') {
    ++place_.line;
    place_.column = 0;
  }
  return place;
}

void EncodingCore::PassRun(std::size_t breaks, std::size_t columns) {
  if (breaks > 0) {
    place_.line += breaks;
    place_.column = columns;
  } else {
    place_.column += columns;
  }
  // The fast paths take no surrogate, so the next unit begins a column.
  last_unit_ = 0;
}

}  // namespace binconv::detail
