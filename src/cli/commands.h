#pragma once
// The commands of binconv-cli. Each takes its parsed arguments and returns
// the process's exit status, having reported any trouble on standard error.
// Each is defined in its own file; Commands() holds them in one table.

#include <span>
#include <string_view>

#include "cli/args.h"
#include "cli/io.h"

namespace binconv::cli {

// What --help says of a command, declared at the top of its file with the
// prose of its details.
struct CommandText {
  std::string_view name = {};
  std::string_view summary = {};  // one line for the overview
  std::string_view details = {};  // the rest of the command's --help
};

struct Command : CommandText {
  // Its options and positional arguments; the synopsis of --help and the
  // checks made before `run` follow from them.
  Usage usage = {};
  ExitStatus (*run)(const ParsedArgs& args) = nullptr;
};

extern const Command kConvertCommand;
extern const Command kWriteCommand;
extern const Command kEncodeCommand;
extern const Command kDecodeCommand;
extern const Command kCheckTablesCommand;
extern const Command kInsertCommand;
extern const Command kDumpCommand;
extern const Command kExportTblCommand;
extern const Command kImportTblCommand;
extern const Command kDiffCommand;
extern const Command kPatchCommand;
extern const Command kSearchCommand;
extern const Command kStringsCommand;
extern const Command kPointersToCommand;

// Every command, in the order --help lists them.
std::span<const Command> Commands();

}  // namespace binconv::cli
