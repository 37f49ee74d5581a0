#include "codec/encode_run.h"

#include <tuple>
#include <utility>

namespace binconv {

EncodeRun::EncodeRun(const GameTable& encoding, std::string file, EncodeRunOptions options)
    : options_(options), file_(std::move(file)), encoder_(encoding, options.line_breaks) {
  if (options_.count) encoder_.set_counts(&coverage_.counts());
}

Result<Unit, EncodeRun::Stop> EncodeRun::Feed(std::string_view chunk,
                                              std::vector<std::uint8_t>& bytes,
                                              std::vector<Problem>& problems) {
  return Take(encoder_.FeedUtf8(chunk, made_), chunk, bytes, problems);
}

Result<Unit, EncodeRun::Stop> EncodeRun::Finish(std::vector<std::uint8_t>& bytes,
                                                std::vector<Problem>& problems) {
  return Take(encoder_.FinishUtf8(made_), {}, bytes, problems);
}

Result<Unit, EncodeRun::Stop> EncodeRun::Take(bool good, std::string_view chunk,
                                              std::vector<std::uint8_t>& bytes,
                                              std::vector<Problem>& problems) {
  if (!good) {
    // The run ends here: of this chunk only the bad sequence is told.
    Problem bad{ProblemCode::kBadUtf8, file_};
    std::tie(bad.line, bad.column) = places_.PlaceOf(encoder_.utf8_error().offset, chunk);
    bad.detail = places_.NotUtf8DetailOf(chunk);
    problems.push_back(std::move(bad));
    return Unexpected(Stop::kBadUtf8);
  }
  places_.Feed(chunk);
  for (const EncodeProblem& found : encoder_.problems()) {
    if (problems_ == options_.max_problems && options_.max_problems != 0) {
      return Unexpected(Stop::kTooManyProblems);
    }
    problems.push_back(ToProblem(found, file_));
    ++problems_;
    // A tag's half byte is no character to leave out: what it meant is lost.
    if (found.kind == ProblemCode::kOddCount) unpaired_ = true;
  }
  if (options_.count) coverage_.AddProblems(encoder_.problems());
  encoder_.clear_problems();
  // Once a problem refuses the text, none of its bytes is kept.
  if (refused()) made_.clear();
  bytes_out_ += made_.size();
  bytes.insert(bytes.end(), made_.begin(), made_.end());
  made_.clear();
  return Unit{};
}

}  // namespace binconv
