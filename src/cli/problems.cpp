#include "cli/problems.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

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

std::vector<std::string> ProblemLinesInFileOrder(const std::vector<Problem>& problems) {
  std::vector<std::string> files;  // in the order they first come
  auto file_of = [&](const Problem& p) {
    const auto at = std::find(files.begin(), files.end(), p.file);
    return static_cast<std::size_t>(at - files.begin());
  };
  for (const Problem& p : problems) {
    if (file_of(p) == files.size()) files.push_back(p.file);
  }
  std::vector<const Problem*> order;
  for (const Problem& p : problems) order.push_back(&p);
  std::stable_sort(order.begin(), order.end(), [&](const Problem* a, const Problem* b) {
    return std::tuple(file_of(*a), a->line, a->column) < std::tuple(file_of(*b), b->line, b->column);
  });
  constexpr std::size_t kPlacesNamed = 3;
  std::vector<std::string> lines;
  std::map<char32_t, std::size_t> line_of_char;  // a character's line, and its places
  std::map<char32_t, std::vector<std::string>> places;
  std::set<std::string> told;
  for (const Problem* p : order) {
    std::string line = Describe(*p);
    if (!told.insert(line).second) continue;
    if (p->code == ProblemCode::kNoCode) {
      const auto [first, fresh] = line_of_char.emplace(p->ch, lines.size());
      if (!fresh) {
        places[p->ch].push_back(p->file + ":" + std::to_string(p->line) + ":" +
                                std::to_string(p->column));
        continue;
      }
    }
    lines.push_back(std::move(line));
  }
  for (const auto& [ch, more] : places) {
    std::string& line = lines[line_of_char[ch]];
    line += "; " + std::to_string(more.size() + 1) + " times in all, also at ";
    for (std::size_t k = 0; k < std::min(more.size(), kPlacesNamed); ++k) {
      line += (k == 0 ? "" : ", ") + more[k];
    }
    if (more.size() > kPlacesNamed) line += ", …";
  }
  return lines;
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
