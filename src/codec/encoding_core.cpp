#include "codec/detail/encoding_core.h"

#include <array>
#include <utility>

#include "chartable/encoding.h"
#include "runtime/utf16.h"

namespace binconv::detail {
namespace {

constexpr std::uint16_t Action(UnitActions::Kind kind) {
  return static_cast<std::uint16_t>(kind << 11);
}

// Each class of unit that conversion intercepts, with its kind. The test of
// this table switches over every class, so a new one is not forgotten here.
constexpr std::array<std::pair<Special, UnitActions::Kind>, 4> kSpecialKinds{{
    {Special::kTagOpen, UnitActions::kTagOpen},
    {Special::kTagClose, UnitActions::kTagClose},
    {Special::kLineBreak, UnitActions::kLineBreak},
    {Special::kSpace, UnitActions::kSpace},
}};

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
    for (const auto& [of, kind] : kSpecialKinds) {
      if (special == of) actions_[ch] = Action(kind);
    }
  }
  actions_[u'\r'] = Action(kCr);
  actions_[u'\n'] = Action(kLf);
}

}  // namespace binconv::detail
