#pragma once
// binconv-cli as a library: the whole program but for the process's entry, so
// that tests and fuzz targets run the very commands users run.

#include <span>
#include <string>

#include "cli/io.h"
#include "messages/messages.h"

namespace binconv::cli {

// Runs the command line `args` (without the program's name) and returns the
// exit status; output goes to the standard streams. It speaks `language`
// unless the arguments choose one with --lang.
ExitStatus RunCli(std::span<const std::string> args,
                  messages::Language language = messages::Language::kEnglish);

}  // namespace binconv::cli
