#pragma once
// String services: all delimiters are found by TextCompare, left to right.

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

}  // namespace binconv
