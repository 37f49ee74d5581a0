#pragma once
// The tables a command works with: those of --tables DIR, or of the first
// folder of the search that holds them.

#include <filesystem>
#include <optional>

#include "chartable/load.h"
#include "cli/args.h"

namespace binconv::cli {

inline constexpr OptionSpec kTablesOption{
    "tables", 0, "DIR",
    "read Zezovar.ini and Zezovar_ex.ini from DIR only (default: searched, see below)"};

struct CommandTables {
  LoadedTables loaded;
  std::filesystem::path folder;  // as given with --tables, or as found
};

// Reports any trouble on standard error and then gives nullopt.
std::optional<CommandTables> LoadCommandTables(const ParsedArgs& args);

}  // namespace binconv::cli
