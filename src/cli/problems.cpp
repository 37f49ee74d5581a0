#include "cli/problems.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "cli/common.h"
#include "cli/io.h"
#include "messages/messages.h"

namespace binconv::cli {

using messages::Language;
using messages::Say;

std::string MessageOf(Language language, const Problem& problem) {
  return messages::Message(language, problem);
}

std::string FormatWordsMessage(Language language, const Problem& problem) {
  return (problem.number != 0 ? "'" + problem.what + "': " : std::string()) +
         MessageOf(language, problem);
}

std::vector<std::string> ProblemLinesInFileOrder(Language language,
                                                 const std::vector<Problem>& problems) {
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
    std::string line = messages::Describe(language, *p);
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
    std::string list;
    for (std::size_t k = 0; k < std::min(more.size(), kPlacesNamed); ++k) {
      list += (k == 0 ? "" : ", ") + more[k];
    }
    if (more.size() > kPlacesNamed) list += ", …";
    line += Say(language, "; {n} times in all, also at {places}",
                {{"n", std::to_string(more.size() + 1)}, {"places", list}});
  }
  return lines;
}

std::string Describe(Language language, const IoError& error) {
  return messages::Message(language, error);
}

void ReportProblem(Language language, const Problem& problem, std::string_view more) {
  PrintError(messages::Describe(language, problem) + std::string(more));
}

Reported<> ReportJobError(Language language, const JobError& error,
                          const std::function<Reported<>(const std::vector<Problem>&)>& reject) {
  if (const auto* io = std::get_if<IoError>(&error)) {
    PrintError(Describe(language, *io));
    return Failure(ExitStatus::kError);
  }
  return reject(std::get<std::vector<Problem>>(error));
}

std::string DescribeMapError(Language language, PointerMapErrorCode code) {
  return messages::Message(language, code);
}

std::string DescribeUnreachable(Language language, const UnreachableTarget& target,
                                const std::string& game) {
  return messages::Message(language, target, game);
}

}  // namespace binconv::cli
