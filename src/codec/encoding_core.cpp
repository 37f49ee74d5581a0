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

}  // namespace binconv::detail
