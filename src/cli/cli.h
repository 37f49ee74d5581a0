#pragma once
// binconv-cli as a library: the whole program but for the process's entry, so
// that tests and fuzz targets run the very commands users run.

#include <span>
#include <string>

#include "cli/io.h"

namespace binconv::cli {

// Runs the command line `args` (without the program's name) and returns the
// exit status; output goes to the standard streams.
ExitStatus RunCli(std::span<const std::string> args);

}  // namespace binconv::cli
