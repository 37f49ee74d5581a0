#include "cli/problems.h"

#include "cli/common.h"
#include "cli/io.h"
#include "messages/messages.h"

namespace binconv::cli {

std::string Describe(const Problem& p) {
  return messages::Describe(messages::Language::kEnglish, p);
}

std::string MessageOf(const Problem& problem) {
  return messages::Message(messages::Language::kEnglish, problem);
}

std::string FormatWordsMessage(const Problem& problem) {
  return (problem.number != 0 ? "'" + problem.what + "': " : std::string()) + MessageOf(problem);
}

std::string Describe(const IoError& error) {
  return messages::Message(messages::Language::kEnglish, error);
}

void ReportProblem(const Problem& problem, std::string_view more) {
  PrintError(Describe(problem) + std::string(more));
}

Reported<> ReportJobError(const JobError& error,
                          const std::function<Reported<>(const std::vector<Problem>&)>& reject) {
  if (const auto* io = std::get_if<IoError>(&error)) {
    PrintError(Describe(*io));
    return Failure(ExitStatus::kError);
  }
  return reject(std::get<std::vector<Problem>>(error));
}

std::string DescribeMapError(PointerMapErrorCode code) {
  return messages::Message(messages::Language::kEnglish, code);
}

std::string DescribeUnreachable(const UnreachableTarget& target, const std::string& game) {
  return messages::Message(messages::Language::kEnglish, target, game);
}

}  // namespace binconv::cli
