#pragma once
// What an encoding covered: how many characters got a code on each page, and
// each distinct character that could not be written, gathered while the text
// streams through an encoder.

#include <cstddef>
#include <map>
#include <span>
#include <utility>
#include <vector>

#include "codec/encode.h"

namespace binconv {

// One distinct character of the problems, with how often it occurs.
struct MissingChar {
  EncodeProblem::Kind kind;
  char32_t ch;
  std::size_t count = 0;
  std::size_t first_line = 0;
  std::size_t first_column = 0;
};

struct MissingCount {
  std::size_t distinct = 0;  // characters
  std::size_t total = 0;     // occurrences
};

struct CoverageReport : EncodeCounts {
  std::vector<MissingChar> missing;  // by kind, then in order of first occurrence
  std::size_t missing_total = 0;     // occurrences of all of them

  std::size_t converted() const;  // characters that got a code from the tables
  MissingCount MissingOf(EncodeProblem::Kind kind) const;
};

// Counts what an encoder sees: hand counts() to Encoder::set_counts and each
// batch of its problems to AddProblems; memory grows only with the number of
// distinct characters.
class CoverageCounter {
 public:
  EncodeCounts& counts() { return report_; }
  void AddProblems(std::span<const EncodeProblem> problems);
  const CoverageReport& Finish();

 private:
  CoverageReport report_;
  std::map<std::pair<EncodeProblem::Kind, char32_t>, std::size_t> seen_;
};

}  // namespace binconv
