#include "cli/commands.h"

#include <array>

namespace binconv::cli {

std::span<const Command> Commands() {
  static const std::array kCommands{
      kConvertCommand, kWriteCommand,       kEncodeCommand,    kInsertCommand,    kDumpCommand,
      kDecodeCommand,  kCheckTablesCommand, kExportTblCommand, kImportTblCommand, kDiffCommand,
      kPatchCommand,   kSearchCommand,      kStringsCommand,   kPointersToCommand};
  return kCommands;
}

}  // namespace binconv::cli
