#include "runtime/compare.h"

#include <array>
#include <cstdint>

namespace binconv {
namespace detail {
namespace {

struct FoldPair {
  std::uint16_t from;
  std::uint16_t to;
};

constexpr FoldPair kCaseFold[] = {
#include "runtime/case_fold_table.inc"
};

// One table for both folds, so the hot paths of conversion pay a single load.
// Built at compile time in few steps so that clang's constexpr budget suffices.
struct FoldTable {
  std::array<char16_t, 0x10000> to{};
  constexpr FoldTable() {
    for (std::size_t i = 0; i < to.size(); ++i) to[i] = static_cast<char16_t>(i);
    for (const FoldPair& p : kCaseFold) to[p.from] = static_cast<char16_t>(p.to);
    // Width folds onto the half-width form, then on to its lower case.
    for (std::size_t i = 0xFF01; i <= 0xFF5E; ++i) to[i] = to[i - 0xFEE0];
    to[0x3000] = 0x0020;
  }
};

constexpr FoldTable kFold{};

}  // namespace
}  // namespace detail

char16_t FoldForTextCompare(char16_t c) { return detail::kFold.to[c]; }

bool TextCompare(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!TextEqual(a[i], b[i])) return false;
  }
  return true;
}

}  // namespace binconv
