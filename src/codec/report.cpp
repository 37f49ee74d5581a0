#include "codec/report.h"

#include <algorithm>

namespace binconv {

std::size_t CoverageReport::converted() const {
  std::size_t total = 0;
  for (const std::size_t count : by_page) total += count;
  return total;
}

MissingCount CoverageReport::MissingOf(EncodeProblem::Kind kind) const {
  MissingCount count;
  for (const MissingChar& m : missing) {
    if (m.kind != kind) continue;
    ++count.distinct;
    count.total += m.count;
  }
  return count;
}

void CoverageCounter::AddProblems(std::span<const EncodeProblem> problems) {
  for (const EncodeProblem& problem : problems) {
    auto [at, inserted] = seen_.try_emplace({problem.kind, problem.ch}, report_.missing.size());
    if (inserted) {
      report_.missing.push_back({problem.kind, problem.ch, 0, problem.line, problem.column});
    }
    ++report_.missing[at->second].count;
  }
  report_.missing_total += problems.size();
}

const CoverageReport& CoverageCounter::Finish() {
  std::stable_sort(report_.missing.begin(), report_.missing.end(),
                   [](const MissingChar& a, const MissingChar& b) { return a.kind < b.kind; });
  seen_.clear();
  return report_;
}

}  // namespace binconv
