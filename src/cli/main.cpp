// binconv-cli: the batch form of the tool, for scripts and build pipelines.

#include <csignal>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/entry.h"
#include "cli/io.h"
#include "cli/stdio.h"

namespace {

using binconv::cli::Command;

constexpr std::string_view kExitCodes =
    "Exit status: 0 done; 1 the text or listing was rejected and nothing was\n"
    "written; 2 usage error, unreadable input, bad tables or an output error.\n";

std::string Overview() {
  std::string text = "Usage: binconv-cli COMMAND [OPTIONS] [FILE]\n\nCommands:\n";
  for (const Command& command : binconv::cli::Commands()) {
    text += "  " + std::string(command.name);
    text += std::string(14 - command.name.size(), ' ') + std::string(command.summary) + "\n";
  }
  text += "\n\"binconv-cli COMMAND --help\" describes a command's options.\n\n";
  text += kExitCodes;
  return text;
}

std::string CommandHelp(const Command& command) {
  std::string text = "Usage: binconv-cli " + std::string(command.name) + " " +
                     std::string(command.synopsis) + "\n\n" + std::string(command.details) +
                     "\nOptions:\n" + binconv::cli::DescribeOptions(command.options) + "\n" +
                     std::string(kExitCodes);
  return text;
}

int PrintHelp(const std::string& text) {
  const bool written =
      binconv::cli::WriteStdout(
          std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))
          .ok();
  return written ? binconv::cli::kExitOk : binconv::cli::kExitError;
}

int UsageError(std::string_view message) {
  binconv::cli::PrintError(std::string(message) + " (see binconv-cli --help)");
  return binconv::cli::kExitError;
}

const Command* FindCommand(std::string_view name) {
  for (const Command& command : binconv::cli::Commands()) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

}  // namespace

int binconv::cli::RunCli(std::vector<std::string> args) {
  if (args.empty()) return UsageError("no command given");
  if (args.front() == "--help" || args.front() == "-h" || args.front() == "help") {
    return PrintHelp(Overview());
  }
  const Command* command = FindCommand(args.front());
  if (command == nullptr) return UsageError("unknown command '" + args.front() + "'");

  auto parsed = binconv::cli::ParseArgs(std::span(args).subspan(1), command->options,
                                        command->max_positionals);
  if (!parsed) return UsageError(std::string(command->name) + ": " + parsed.error());
  if (parsed.value().Has("help")) return PrintHelp(CommandHelp(*command));
  return command->run(parsed.value());
}

#ifndef _WIN32
int main(int argc, char** argv) {
  // A reader that goes away shows up as EPIPE on write, which ends quietly.
  std::signal(SIGPIPE, SIG_IGN);
  return binconv::cli::RunCli(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
