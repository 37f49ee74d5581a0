// binconv-cli: the batch form of the tool, for scripts and build pipelines.

#include <csignal>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/stdio.h"
#include "runtime/file.h"

int main(int argc, char** argv) {
  // A reader that goes away shows up as EPIPE on write, which ends quietly.
  std::signal(SIGPIPE, SIG_IGN);
  binconv::RemoveTemporaryFilesOnSignals();
  const std::vector<std::string> args(argv + 1, argv + argc);
  return static_cast<int>(binconv::cli::RunCli(args, binconv::cli::LanguageOfUser()));
}
