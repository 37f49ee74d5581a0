#pragma once
// String services: all delimiters are found by TextCompare, left to right.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace binconv {

// Pieces between occurrences of `delimiter`, numbered from 0. Empty pieces
// count. An empty delimiter gives the whole string as the only piece. The views
// point into `s`. At most `max_pieces` (1 or more) are found: the search stops
// there, so that a huge line costs only what the caller uses, and the last
// piece given still ends at its delimiter. Fewer pieces than `max_pieces` are
// therefore all the pieces there are.
std::vector<std::u16string_view> Split(std::u16string_view s, std::u16string_view delimiter,
                                       std::size_t max_pieces = SIZE_MAX);

// Leading and trailing U+0020 removed. U+3000 is kept: a table cell may hold it
// on purpose.
std::u16string_view Trim(std::u16string_view s);

// The edits (a character added, taken out or changed, or two side by side
// swapped) that turn `a` into `b`: how near a mistyped name is to a known one.
template <class Char>
std::size_t EditDistance(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                          d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace binconv
