#pragma once
// The tables a command works with: those of --tables DIR, or of the first
// folder of the search that holds them.

#include <filesystem>
#include <optional>
#include <string>

#include "chartable/game_table.h"
#include "chartable/load.h"
#include "cli/args.h"
#include "cli/io.h"
#include "codec/string_end.h"

namespace binconv::cli {

inline constexpr OptionSpec kTablesOption{
    "tables", 0, "DIR",
    Phrase("read Zezovar.ini and Zezovar_ex.ini from DIR only (default: searched, see below)")};

// A game's own encoding instead of the tables.
inline constexpr OptionSpec kGameTblOption{
    "tbl", 0, "FILE", Phrase("read the encoding from the .tbl FILE instead of the tables"),
    false, "tables"};

struct CommandTables {
  LoadedTables loaded;
  std::filesystem::path folder;  // as given with --tables, or as found
};

// The one way a command loads its tables: those --tables names, or else the
// first folder of the search that holds them.
Reported<CommandTables> LoadCommandTables(const ParsedArgs& args);

// The encoding a command works in: that of the .tbl --tbl names, or of the
// tables, made once when loaded. It must stay where it is while its
// encoding() is in use.
struct CommandEncoding {
  std::optional<CommandTables> tables;  // without --tbl
  std::optional<GameTable> codec;
  const GameTable& encoding() const { return *codec; }
};

// Loads the encoding --tbl or --tables names (see LoadCommandTables).
Reported<> LoadCommandEncoding(const ParsedArgs& args, CommandEncoding& out);

// The encoding of the .tbl file `name`; every problem of it is reported, with
// its line, and then there is none.
Reported<GameTable> LoadCommandGameTable(messages::Language language, const std::string& name);

}  // namespace binconv::cli
