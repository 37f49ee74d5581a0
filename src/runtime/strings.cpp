#include "runtime/strings.h"

#include "runtime/compare.h"

namespace binconv {
namespace {

// Position of the next TextCompare match of `needle` at or after `from`, or npos.
std::size_t FindText(std::u16string_view s, std::u16string_view needle, std::size_t from) {
  if (needle.size() > s.size()) return std::u16string_view::npos;
  const char16_t first = FoldForTextCompare(needle.front());
  for (std::size_t i = from; i + needle.size() <= s.size(); ++i) {
    if (FoldForTextCompare(s[i]) == first && TextCompare(s.substr(i, needle.size()), needle)) {
      return i;
    }
  }
  return std::u16string_view::npos;
}

}  // namespace

std::vector<std::u16string_view> Split(std::u16string_view s, std::u16string_view delimiter,
                                       std::size_t max_pieces) {
  std::vector<std::u16string_view> pieces;
  if (delimiter.empty()) {
    pieces.push_back(s);
    return pieces;
  }
  std::size_t start = 0;
  while (pieces.size() < max_pieces) {
    const std::size_t at = FindText(s, delimiter, start);
    if (at == std::u16string_view::npos) {
      pieces.push_back(s.substr(start));
      break;
    }
    pieces.push_back(s.substr(start, at - start));
    start = at + delimiter.size();
  }
  return pieces;
}

std::u16string_view Trim(std::u16string_view s) {
  const std::size_t first = s.find_first_not_of(u' ');
  if (first == std::u16string_view::npos) return {};
  const std::size_t last = s.find_last_not_of(u' ');
  return s.substr(first, last - first + 1);
}

}  // namespace binconv
