#pragma once
// Where a unit stands in a text, as every problem of an encoding names it.

#include <cstddef>

#include "runtime/utf16.h"

namespace binconv {

enum class LineBreaks {
  kCrLf,  // only CR LF is a line break; a lone CR or LF is looked up like any character
  kAny,   // CR LF, a lone CR and a lone LF are each one line break
};

namespace detail {

// Its 1-based line (lines end at CR LF, a lone CR or a lone LF) and its
// 1-based column in characters (BeginsColumn).
struct TextPlace {
  std::size_t line = 1;
  std::size_t column = 0;
};

// The place of `ch`, the unit after `place` on its line, `last` being the unit
// before it (0 at the line's start); moves `place` on, to the next line after
// a CR or an LF. The caller keeps the LF of a CR LF away.
inline TextPlace StepPlace(TextPlace& place, char16_t& last, char16_t ch) {
  place.column += BeginsColumn(last, ch);
  last = ch;
  const TextPlace here = place;
  if (ch == u'\r' || ch == u'\n') {
    ++place.line;
    place.column = 0;
  }
  return here;
}

}  // namespace detail
}  // namespace binconv
