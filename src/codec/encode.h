#pragma once
// What encoding a text finds and counts, whatever the encoding: each
// problem with its place in the text, and what the text held.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "chartable/encoding.h"
#include "codec/detail/text_place.h"
#include "runtime/problem.h"
#include "runtime/utf8.h"

namespace binconv {

struct EncodeProblem {
  // kNoCode: a character outside tags that no cell holds; kNotHexInTag: a
  // character inside a tag that is not a hex digit or separator; a broken
  // tag (detail/tag_syntax.h) at its mark.
  using Kind = ProblemCode;
  Kind kind;
  std::size_t line;    // 1-based line of the text
  std::size_t column;  // 1-based column in characters (BeginsColumn)
  char32_t ch;         // a whole surrogate pair as one character
  // kUnknownLabel: the tag as typed, and the table's labels nearest to it.
  std::u16string text = {};
  std::vector<std::u16string> nearest = {};
};

// The problem as every layer reports it, in the text named `file`.
inline Problem ToProblem(const EncodeProblem& found, std::string file) {
  Problem problem{found.kind, std::move(file), found.line, found.column};
  problem.ch = found.ch;
  problem.what = EncodeUtf8(found.text);
  for (const std::u16string& label : found.nearest) problem.files.push_back(EncodeUtf8(label));
  return problem;
}

// What a text held, counted as it was encoded.
struct EncodeCounts {
  std::array<std::size_t, kPages> by_page{};  // characters that got a code, by its page
  std::size_t line_breaks = 0;
  std::size_t spaces = 0;
  std::size_t tag_digits = 0;  // hex digits written in tags
};


}  // namespace binconv
