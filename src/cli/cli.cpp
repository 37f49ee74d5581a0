#include "cli/cli.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>
#include <string_view>

#include "messages/messages.h"
#include "cli/commands.h"
#include "cli/common.h"
#include "cli/io.h"
#include "runtime/version.h"

namespace binconv::cli {
namespace {

using messages::Language;
using messages::Phrase;
using messages::Say;

constexpr std::string_view kExitCodes =
    Phrase("Exit status: 0 done; 1 the input was rejected (a text or listing that can't\n"
    "be written, a range past the end of a file) and nothing was written; 2 usage\n"
    "error, unreadable input, bad tables or an output error.\n");

// Options every command takes, before or after its name.
constexpr std::array kGlobalOptions{
    kHelpOption,
    OptionSpec{"version", 0, "", Phrase("print the version and exit")},
    OptionSpec{"lang", 0, "ja|en",
               Phrase("the language of messages and help (default: from the locale)")},
};

std::string Overview(Language language) {
  std::size_t width = 0;
  for (const Command& command : Commands()) width = std::max(width, command.name.size());
  std::string text = Say(language,
                         "Usage: binconv-cli COMMAND [OPTIONS] [FILE]\n"
                         "  or:  binconv-cli --help | --version\n\n"
                         "Converts Japanese text into the bytes of a game's own character encoding,\n"
                         "defined by two table files, and back.\n\nCommands:\n");
  for (const Command& command : Commands()) {
    // Two spaces at least between a name and its summary, however long the name.
    text += "  " + std::string(command.name);
    text += std::string(std::max<std::size_t>(width + 2, 14) - command.name.size(), ' ') +
            Say(language, command.summary) + "\n";
  }
  text += Say(language, "\n\"binconv-cli COMMAND --help\" describes a command's options.\n\n");
  text += Say(language, "Options:\n") + DescribeOptions(kGlobalOptions, language) + "\n";
  text += messages::TableSearchHelp(language);
  text += "\n";
  text += Say(language, kExitCodes);
  return text;
}

std::string CommandHelp(const Command& command, Language language) {
  std::string text = Say(language, "Usage: binconv-cli {command} {synopsis}\n\n",
                         {{"command", std::string(command.name)},
                          {"synopsis", Synopsis(command.usage)}}) +
                     Say(language, command.details) + "\n" + Say(language, "Options:\n") +
                     DescribeOptions(command.usage.options, language) + "\n";
  for (const OptionSpec& option : command.usage.options) {
    if (option.name == "tables") text += messages::TableSearchHelp(language) + "\n";
  }
  return text + Say(language, kExitCodes);
}

ExitStatus PrintHelp(const std::string& text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
  return std::fflush(stdout) == 0 && written ? ExitStatus::kOk : ExitStatus::kError;
}

// " (see binconv-cli insert --help)"
std::string SeeHelp(Language language, const Command& command) {
  return Say(language, " (see binconv-cli {command} --help)",
             {{"command", std::string(command.name)}});
}

// A misuse told the way the command's declaration says.
ExitStatus ReportMisuse(Language language, const Command& command, const Misuse& misuse) {
  if (command.usage.points == HelpPointer::kOverview) return UsageError(language, misuse.message);
  if (misuse.kind == Misuse::Kind::kClash) {
    PrintError(misuse.message);
  } else {
    PrintError(WithAside(misuse.message, SeeHelp(language, command)));
  }
  return ExitStatus::kError;
}

// --lang ja|en, taken out of the arguments wherever it stands before "--".
Reported<std::vector<std::string>> TakeLanguage(std::span<const std::string> args,
                                                Language& language) {
  std::vector<std::string> rest;
  bool ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    ended = ended || arg == "--";
    std::optional<std::string> value;
    if (!ended && arg == "--lang") {
      if (i + 1 == args.size()) {
        return Failure(UsageError(language, Say(language, "option {option} needs a value ({value})",
                                                {{"option", "--lang"}, {"value", "ja|en"}})));
      }
      value = args[++i];
    } else if (!ended && arg.starts_with("--lang=")) {
      value = arg.substr(7);
    }
    if (!value) {
      rest.push_back(arg);
    } else if (*value == "ja" || *value == "en") {
      language = *value == "ja" ? Language::kJapanese : Language::kEnglish;
    } else {
      return Failure(UsageError(
          language, Say(language, "--lang '{value}' is neither ja nor en", {{"value", *value}})));
    }
  }
  return rest;
}

const Command* FindCommand(std::string_view name) {
  for (const Command& command : Commands()) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

}  // namespace

ExitStatus RunCli(std::span<const std::string> all_args, Language language) {
  auto taken = TakeLanguage(all_args, language);
  if (!taken) return taken.error();
  const std::span<const std::string> args = taken.value();
  if (args.empty()) return UsageError(language, Say(language, "no command given"));
  if (args.front() == "--help" || args.front() == "-h" || args.front() == "help") {
    return PrintHelp(Overview(language));
  }
  if (args.front() == "--version") {
    return PrintHelp("binconv-cli " + std::string(kVersion) + "\n");
  }
  const Command* command = FindCommand(args.front());
  if (command == nullptr) {
    return UsageError(language,
                      Say(language, "unknown command '{command}'", {{"command", args.front()}}));
  }

  auto parsed = ParseArgs(args.subspan(1), command->usage, language);
  if (!parsed) {
    PrintError(std::string(command->name) + ": " +
               WithAside(parsed.error(), SeeHelp(language, *command)));
    return ExitStatus::kError;
  }
  if (parsed.value().Has("help")) return PrintHelp(CommandHelp(*command, language));
  if (auto misuse = FindMisuse(command->name, parsed.value(), command->usage)) {
    return ReportMisuse(language, *command, *misuse);
  }
  // Whatever escapes a command (memory, a library's exception) ends it with a
  // message and the status of trouble, never an abort. A file being written
  // is removed as its writer unwinds.
  try {
    return command->run(parsed.value());
  } catch (const std::exception& error) {
    PrintError(std::string(command->name) + ": " +
               Say(language, "unexpected failure: {reason}", {{"reason", error.what()}}));
  } catch (...) {
    PrintError(std::string(command->name) + ": " + Say(language, "unexpected failure"));
  }
  return ExitStatus::kError;
}

}  // namespace binconv::cli
