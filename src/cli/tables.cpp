#include "cli/tables.h"

#include <algorithm>

#include "chartable/encoding.h"
#include "chartable/table_folders.h"
#include "chartable/tbl.h"
#include "cli/common.h"
#include "cli/io.h"
#include "cli/problems.h"
#include "messages/messages.h"

namespace binconv::cli {

Reported<CommandTables> LoadCommandTables(const ParsedArgs& args) {
  std::filesystem::path folder;
  if (std::optional<std::string> named = args.Value("tables")) {
    folder = PathFromUtf8(*named);
  } else {
    auto found = FindTableFolder(TableSearchPlaceOfThisProcess());
    if (!found) {
      PrintError(messages::Message(args.language, found.error()));
      return Failure(ExitStatus::kError);
    }
    folder = std::move(found).value();
  }
  auto loaded = LoadTableFiles(folder);
  if (!loaded) {
    PrintError(messages::Message(args.language, loaded.error()));
    return Failure(ExitStatus::kError);
  }
  return CommandTables{std::move(loaded).value(), folder};
}

Reported<GameTable> LoadCommandGameTable(messages::Language language, const std::string& name) {
  Reported<std::string> bytes = ReadWholeInput(language, name);
  if (!bytes) return Unexpected(bytes.error());
  auto table = ParseGameTableFreeing(std::move(bytes).value(), name);
  if (!table) {
    const std::vector<Problem>& problems = table.error();
    const std::size_t listed = std::min(problems.size(), messages::kMostProblemsListed);
    for (std::size_t i = 0; i < listed; ++i) ReportProblem(language, problems[i]);
    if (problems.size() > listed) {
      PrintError(name + ": " + messages::MoreProblems(language, problems.size() - listed));
    }
    return Failure(ExitStatus::kError);
  }
  return std::move(table).value();
}

Reported<> LoadCommandEncoding(const ParsedArgs& args, CommandEncoding& out) {
  if (const std::optional<std::string> tbl = args.Value("tbl")) {
    Reported<GameTable> loaded = LoadCommandGameTable(args.language, *tbl);
    if (!loaded) return Unexpected(loaded.error());
    out.codec.emplace(std::move(loaded).value());
    return Unit{};
  }
  Reported<CommandTables> tables = LoadCommandTables(args);
  if (!tables) return Unexpected(tables.error());
  out.tables.emplace(std::move(tables).value());
  // Compiled once, here: every job of the command goes through it.
  out.codec.emplace(GameTableOf(out.tables->loaded.table));
  return Unit{};
}

}  // namespace binconv::cli
