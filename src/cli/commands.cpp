#include "cli/commands.h"

#include <array>

namespace binconv::cli {

std::span<const Command> Commands() {
  static const std::array kCommands{kConvertCommand, kWriteCommand, kEncodeCommand, kDecodeCommand,
                                    kCheckTablesCommand};
  return kCommands;
}

}  // namespace binconv::cli
