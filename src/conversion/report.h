#pragma once
// What an encoding covered: how many characters got a code on each page, and
// each distinct character that could not be written. Also the lenient form of
// encoding, which leaves such characters out instead of refusing the text.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chartable/char_table.h"
#include "conversion/convert.h"
#include "conversion/encode.h"

namespace binconv {

// One distinct character of the problems, with how often it occurs.
struct MissingChar {
  EncodeProblem::Kind kind;
  char32_t ch;
  std::size_t count = 0;
  std::size_t first_line = 0;
  std::size_t first_column = 0;
};

struct CoverageReport {
  std::array<std::size_t, kPages> by_page{};  // characters that got a code, by its page
  std::size_t line_breaks = 0;
  std::size_t spaces = 0;
  std::size_t tag_digits = 0;        // hex digits written in tags
  std::vector<MissingChar> missing;  // by kind, then in order of first occurrence
  std::size_t missing_total = 0;     // occurrences of all of them

  std::size_t converted() const;  // characters that got a code from the tables
};

// Counts over `text` as Encoder reads it; `problems` are the Encoder's for the
// same text and line breaks.
CoverageReport MakeCoverageReport(std::u16string_view text, const CharTable& table,
                                  LineBreaks line_breaks, std::span<const EncodeProblem> problems);

// `text` with the character of every problem taken out, in a way that leaves
// the bytes of everything else as they were (a CR and an LF on either side of
// a dropped character don't become one line break).
std::u16string DropProblems(std::u16string_view text, std::span<const EncodeProblem> problems);

struct EncodeOutcome {
  std::vector<std::uint8_t> bytes;
  std::vector<EncodeProblem> problems;  // of the text as given
  std::size_t dropped = 0;              // problem characters left out of `bytes`
  bool odd_count = false;               // the digits of `bytes` did not pair up
  CoverageReport report;

  // Whether `bytes` are the text's whole encoding, less the dropped characters.
  bool writable() const { return !odd_count && problems.size() == dropped; }
};

// Encodes the whole text; with `drop_problems` the characters that can't be
// written are left out rather than making the bytes unusable.
EncodeOutcome EncodeWithReport(std::u16string_view text, const CharTable& table,
                               LineBreaks line_breaks, bool drop_problems);

}  // namespace binconv
