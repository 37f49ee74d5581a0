#include "cli/cli.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string_view>

#include "messages/messages.h"
#include "cli/commands.h"
#include "cli/io.h"
#include "runtime/version.h"

namespace binconv::cli {
namespace {

constexpr std::string_view kExitCodes =
    "Exit status: 0 done; 1 the input was rejected (a text or listing that can't\n"
    "be written, a range past the end of a file) and nothing was written; 2 usage\n"
    "error, unreadable input, bad tables or an output error.\n";

std::string Overview() {
  std::size_t width = 0;
  for (const Command& command : Commands()) width = std::max(width, command.name.size());
  std::string text =
      "Usage: binconv-cli COMMAND [OPTIONS] [FILE]\n"
      "  or:  binconv-cli --help | --version\n\n"
      "Converts Japanese text into the bytes of a game's own character encoding,\n"
      "defined by two table files, and back.\n\nCommands:\n";
  for (const Command& command : Commands()) {
    // Two spaces at least between a name and its summary, however long the name.
    text += "  " + std::string(command.name);
    text += std::string(std::max<std::size_t>(width + 2, 14) - command.name.size(), ' ') +
            std::string(command.summary) + "\n";
  }
  text += "\n\"binconv-cli COMMAND --help\" describes a command's options.\n\n";
  text += "Options:\n  -h, --help     show this help and exit\n";
  text += "      --version  print the version and exit\n\n";
  text += messages::TableSearchHelp(messages::Language::kEnglish);
  text += "\n";
  text += kExitCodes;
  return text;
}

std::string CommandHelp(const Command& command) {
  std::string text = "Usage: binconv-cli " + std::string(command.name) + " " +
                     Synopsis(command.usage) + "\n\n" + std::string(command.details) +
                     "\nOptions:\n" + DescribeOptions(command.usage.options) + "\n";
  for (const OptionSpec& option : command.usage.options) {
    if (option.name == "tables") {
      text += messages::TableSearchHelp(messages::Language::kEnglish) + "\n";
    }
  }
  return text + std::string(kExitCodes);
}

ExitStatus PrintHelp(const std::string& text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
  return std::fflush(stdout) == 0 && written ? ExitStatus::kOk : ExitStatus::kError;
}

// A misuse told the way the command's declaration says.
ExitStatus ReportMisuse(const Command& command, const Misuse& misuse) {
  if (command.usage.points == HelpPointer::kOverview) return UsageError(misuse.message);
  if (misuse.kind == Misuse::Kind::kClash) {
    PrintError(misuse.message);
  } else {
    PrintError(misuse.message + " (see binconv-cli " + std::string(command.name) + " --help)");
  }
  return ExitStatus::kError;
}

const Command* FindCommand(std::string_view name) {
  for (const Command& command : Commands()) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

}  // namespace

ExitStatus RunCli(std::span<const std::string> args) {
  if (args.empty()) return UsageError("no command given");
  if (args.front() == "--help" || args.front() == "-h" || args.front() == "help") {
    return PrintHelp(Overview());
  }
  if (args.front() == "--version") {
    return PrintHelp("binconv-cli " + std::string(kVersion) + "\n");
  }
  const Command* command = FindCommand(args.front());
  if (command == nullptr) return UsageError("unknown command '" + args.front() + "'");

  auto parsed = ParseArgs(args.subspan(1), command->usage);
  if (!parsed) {
    PrintError(std::string(command->name) + ": " + parsed.error() + " (see binconv-cli " +
               std::string(command->name) + " --help)");
    return ExitStatus::kError;
  }
  if (parsed.value().Has("help")) return PrintHelp(CommandHelp(*command));
  if (auto misuse = FindMisuse(command->name, parsed.value(), command->usage)) {
    return ReportMisuse(*command, *misuse);
  }
  // Whatever escapes a command (memory, a library's exception) ends it with a
  // message and the status of trouble, never an abort. A file being written
  // is removed as its writer unwinds.
  try {
    return command->run(parsed.value());
  } catch (const std::exception& error) {
    PrintError(std::string(command->name) + ": unexpected failure: " + error.what());
  } catch (...) {
    PrintError(std::string(command->name) + ": unexpected failure");
  }
  return ExitStatus::kError;
}

}  // namespace binconv::cli
