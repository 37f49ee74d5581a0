#pragma once
// One text encoded as it streams in, as the encode command does it: the
// problems given out as they are found, so that a long text with many of them
// still shows progress; the bytes given out only while they may still be
// kept; and a coverage report on request.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "codec/encoder.h"
#include "codec/report.h"
#include "codec/string_end.h"
#include "runtime/problem.h"
#include "runtime/result.h"
#include "runtime/text_file.h"

namespace binconv {

// Past this many problems a text is plainly not for the encoding: telling
// every problem of a large file would cost memory and bury the first ones.
inline constexpr std::size_t kMaxProblemsTold = 1000;

struct EncodeRunOptions {
  LineBreaks line_breaks = LineBreaks::kAny;
  // Leaves out each character without a code and keeps the bytes coming.
  bool keep_going = false;
  // Counts what the text holds, for coverage(); a .tbl has no pages to count.
  bool count = false;
  // The reading stops past this many problems, kMaxProblemsTold unless a
  // report or keep_going wants them all (0: never).
  std::size_t max_problems = 0;
};

class EncodeRun {
 public:
  // Why a run stops before the text's end.
  enum class Stop {
    kBadUtf8,          // the text is not UTF-8; its problem was given out
    kTooManyProblems,  // more than max_problems
  };

  // `file` names the text in its problems. The encoding must outlive the run.
  EncodeRun(const GameTable& encoding, std::string file, EncodeRunOptions options);

  // Encodes the next chunk: appends to `bytes` what may be written (nothing
  // once a problem has been found, unless keep_going) and to `problems` each
  // problem found.
  Result<Unit, Stop> Feed(std::string_view chunk, std::vector<std::uint8_t>& bytes,
                          std::vector<Problem>& problems);
  // The end of the text, as Feed.
  Result<Unit, Stop> Finish(std::vector<std::uint8_t>& bytes, std::vector<Problem>& problems);

  // Whether a tag's hex digits did not pair up (each such tag is a problem
  // at its place too).
  bool odd_count() const { return unpaired_; }
  // Whether nothing may be written: a tag's digits don't pair up, or a
  // problem was found without keep_going.
  bool refused() const { return unpaired_ || (problems_ != 0 && !options_.keep_going); }
  std::size_t problem_count() const { return problems_; }
  // The bytes given out so far.
  std::size_t bytes_out() const { return bytes_out_; }
  // With `count`, once finished: what got a code, by page, and what did not.
  const CoverageReport& coverage() { return coverage_.Finish(); }

 private:
  Result<Unit, Stop> Take(bool good, std::string_view chunk, std::vector<std::uint8_t>& bytes,
                          std::vector<Problem>& problems);

  EncodeRunOptions options_;
  std::string file_;
  Encoder encoder_;
  CoverageCounter coverage_;
  TextPlaceCounter places_;
  std::size_t problems_ = 0;
  bool unpaired_ = false;
  std::size_t bytes_out_ = 0;
  std::vector<std::uint8_t> made_;  // of the latest chunk
};

}  // namespace binconv
