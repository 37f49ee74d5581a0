#pragma once
// The tables a command works with: those of --tables DIR, or of the first
// folder of the search that holds them.

#include <filesystem>
#include <optional>

#include "chartable/load.h"
#include "cli/args.h"
#include "cli/io.h"

namespace binconv::cli {

inline constexpr OptionSpec kTablesOption{
    "tables", 0, "DIR",
    "read Zezovar.ini and Zezovar_ex.ini from DIR only (default: searched, see below)"};

struct CommandTables {
  LoadedTables loaded;
  std::filesystem::path folder;  // as given with --tables, or as found
};

// The one way a command loads its tables: those --tables names, or else the
// first folder of the search that holds them.
Reported<CommandTables> LoadCommandTables(const ParsedArgs& args);

}  // namespace binconv::cli
