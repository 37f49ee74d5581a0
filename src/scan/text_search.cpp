#include "scan/text_search.h"

namespace binconv {

Result<std::vector<std::vector<std::uint8_t>>, SearchTextFault> EncodeSearchTexts(
    const GameTable& encoding, LineBreaks line_breaks, std::span<const std::string> texts) {
  using Kind = SearchTextFault::Kind;
  std::vector<std::vector<std::uint8_t>> patterns;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    Encoder encoder(encoding, line_breaks);
    std::vector<std::uint8_t> bytes;
    if (!encoder.FeedUtf8(texts[i], bytes) || !encoder.FinishUtf8(bytes)) {
      return Unexpected(SearchTextFault{Kind::kBadUtf8, i});
    }
    if (!encoder.problems().empty()) {
      const EncodeProblem& first = encoder.problems().front();
      if (first.kind == ProblemCode::kOddCount) return Unexpected(SearchTextFault{Kind::kOddCount, i});
      return Unexpected(SearchTextFault{Kind::kProblem, i, first});
    }
    if (bytes.empty()) return Unexpected(SearchTextFault{Kind::kNoBytes, i});
    patterns.push_back(std::move(bytes));
  }
  return patterns;
}

}  // namespace binconv
