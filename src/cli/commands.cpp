#include "cli/commands.h"

#include <array>

namespace binconv::cli {

std::span<const Command> Commands() {
  static const std::array kCommands{kConvertCommand,    kWriteCommand,     kEncodeCommand,
                                    kInsertCommand,     kDumpCommand,      kDecodeCommand,    kCheckTablesCommand,
                                    kExportTblCommand,  kImportTblCommand};
  return kCommands;
}

}  // namespace binconv::cli
