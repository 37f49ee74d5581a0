#include "support/script_job.h"

#include "runtime/file.h"

namespace binconv::test {

std::string SmallGame() {
  std::string game(32, '\0');
  game.replace(0, 4, "\x10\x00\x14\x00", 4);
  game.replace(0x10, 2, "\x56\xFF");
  game.replace(0x14, 2, "\x58\xFF");
  return game;
}

JobRun::JobRun(const std::string& game) { WriteAll(path(), game); }

Result<std::vector<DumpedScript>, JobError> JobRun::Dump(const std::string& plan_text) {
  plan_ = ParsePlan(plan_text, plan_name_).value();
  FileReader game;
  if (auto opened = game.Open(path()); !opened) return Unexpected(JobError(opened.error()));
  return DumpPlan({plan_, plan_name_, DefaultEncoding(), game, game_name_});
}

Result<InsertResult, JobError> JobRun::Insert(const std::string& plan_text, const Files& files) {
  plan_ = ParsePlan(plan_text, plan_name_).value();
  FileReader game;
  if (auto opened = game.Open(path()); !opened) return Unexpected(JobError(opened.error()));
  auto read = [&](const fs::path& name) -> Result<std::string, IoError> {
    if (auto it = files.find(PathToUtf8(name)); it != files.end()) return it->second;
    return Unexpected(IoError{IoErrorCode::kNotFound, PathToUtf8(name), 0, "not found"});
  };
  return InsertPlan(
      {{plan_, plan_name_, DefaultEncoding(), game, game_name_}, LineBreaks::kAny, read});
}

ProblemLines LinesOf(const JobError& error) {
  ProblemLines lines;
  for (const Problem& p : std::get<std::vector<Problem>>(error)) {
    lines.emplace_back(p.plan_line != 0 ? p.plan_line : p.line, p.code);
  }
  return lines;
}

}  // namespace binconv::test
