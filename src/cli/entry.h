#pragma once
// The command line's run, apart from the system's entry point (main on POSIX,
// wmain on Windows).

#include <string>
#include <vector>

namespace binconv::cli {

// `args` are the arguments after the program's name, UTF-8. Returns the exit
// status.
int RunCli(std::vector<std::string> args);

}  // namespace binconv::cli
