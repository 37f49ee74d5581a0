#pragma once
// The two comparisons of the tool. TextCompare is used for every delimiter and
// special character; BinaryCompare only for table lookups, so that kana and
// width variants keep their own codes.

#include <string_view>

namespace binconv {

// Folds width (U+FF01..U+FF5E onto U+0021..U+007E, U+3000 onto U+0020) and
// letter case (to lower case), so that two units are TextCompare-equal exactly
// when their folds are equal.
char16_t FoldForTextCompare(char16_t c);

inline bool TextEqual(char16_t a, char16_t b) {
  return a == b || FoldForTextCompare(a) == FoldForTextCompare(b);
}

// Equality after folding every unit.
bool TextCompare(std::u16string_view a, std::u16string_view b);


}  // namespace binconv
