#pragma once
// A small command-line option parser: long options with "--name VALUE" or
// "--name=VALUE", one-letter aliases with "-o VALUE" or "-oVALUE", flags, and
// positional arguments. "--" ends the options and a lone "-" is a positional
// argument (standard input or output).
//
// A command declares what it takes (a Usage): each option with whether it is
// required and which options it excludes or needs, and its positional
// arguments, in one form or two. The checks and the synopsis line of --help
// are derived from that declaration, so that the two never disagree.

#include <cstddef>
#include <limits>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "messages/messages.h"
#include "runtime/result.h"

namespace binconv::cli {

// Texts of a declaration are marked for the catalogue where they stand and
// worded in the user's language when shown.
using messages::Phrase;

inline constexpr std::size_t kAnyNumber = std::numeric_limits<std::size_t>::max();

struct OptionSpec {
  std::string_view name = {};        // long name without the dashes
  char alias = 0;                    // one-letter alias, 0 for none
  std::string_view value_name = {};  // empty for a flag
  std::string_view help = {};
  // The command can't run without it, or without an option it excludes that
  // is required too (one of them, then).
  bool required = false;
  std::string_view excludes = {};  // names of options that can't go with it, space-separated
  std::string_view needs = {};     // names of options it can't go without; "a|b": either
  // The whole message when it is required and missing; by default
  // "COMMAND needs --name VALUE".
  std::string_view missing = {};
  // The whole message when what it excludes or needs is not respected; by
  // default "--a and -b exclude each other" or "--a needs --b VALUE".
  std::string_view misuse = {};
};

// The same option with other relations: a shared option that one command
// ties to others.
constexpr OptionSpec Related(OptionSpec option, std::string_view excludes, std::string_view needs,
                             std::string_view misuse = {}) {
  option.excludes = excludes;
  option.needs = needs;
  option.misuse = misuse;
  return option;
}

// The same option, required: `missing` is the whole message when it isn't
// given, by default "COMMAND needs --name VALUE".
constexpr OptionSpec Required(OptionSpec option, std::string_view missing = {}) {
  option.required = true;
  option.missing = missing;
  return option;
}

struct Positionals {
  std::string_view shown = {};  // as the synopsis shows them: "[INPUT]", "GAME TEXT..."
  std::size_t min = 0;
  std::size_t max = 0;
  std::string_view needs = {};  // the whole message when there are fewer than min or more than max
};

// Exactly `count` positional arguments, `needs` saying which when they aren't.
constexpr Positionals Exactly(std::size_t count, std::string_view shown, std::string_view needs) {
  return {shown, count, count, needs};
}
// One input at the most: standard input when there is none.
constexpr Positionals OptionalInput(std::string_view shown) { return {shown, 0, 1, {}}; }

// One way to call a command.
struct Form {
  std::string_view when = {};  // the option that selects this form; empty for the main one
  Positionals positionals = {};
  // The synopsis's order when it isn't the declaration's: option names, "@"
  // for the positionals, "name=TEXT" to show TEXT for the value, "a|b" for
  // options that exclude each other. Empty: the
  // selector, the options as declared, then the positionals.
  std::string_view order = {};
  std::string_view apart = "  |  ";  // between this form and the main one in the synopsis
};

// Where a misuse message points the user: every message to the overview's
// --help; or what is missing to the command's own --help, and a clash of
// options told bare.
enum class HelpPointer { kOverview, kCommand };

// What a command takes.
struct Usage {
  std::span<const OptionSpec> options = {};
  Form form = {};
  const Form* other = nullptr;  // a second form, selected by its option
  HelpPointer points = HelpPointer::kOverview;
};

struct ParsedArgs {
  std::map<std::string, std::string, std::less<>> options;  // flags map to ""
  std::vector<std::string> positionals;
  // How many positionals came before "--"; all of them without one.
  std::size_t before_end_of_options = std::numeric_limits<std::size_t>::max();
  // What the command speaks: its messages, help and progress.
  messages::Language language = messages::Language::kEnglish;

  bool Has(std::string_view name) const { return options.find(name) != options.end(); }
  std::optional<std::string> Value(std::string_view name) const;
};

// The message says what is wrong, in one line, without the program name, in
// `language`, which the parsed arguments keep.
Result<ParsedArgs, std::string> ParseArgs(
    std::span<const std::string> args, std::span<const OptionSpec> defs,
    std::size_t max_positionals, messages::Language language = messages::Language::kEnglish);
// With as many positionals as the usage's forms allow at most.
Result<ParsedArgs, std::string> ParseArgs(
    std::span<const std::string> args, const Usage& usage,
    messages::Language language = messages::Language::kEnglish);

// A command line that breaks its declaration: what is missing (positional
// arguments, a required option) or a clash of options.
struct Misuse {
  enum class Kind { kMissing, kClash };
  Kind kind;
  std::string message;  // without the program name or a pointer to --help
};

// Checks, in this order, the positionals of the form chosen, the required
// options, then each option as declared: what it excludes, what it needs.
std::optional<Misuse> FindMisuse(std::string_view command, const ParsedArgs& args,
                                 const Usage& usage);

// The arguments after the command's name, for the usage line of --help.
std::string Synopsis(const Usage& usage);

// One line per option, aligned, for --help.
std::string DescribeOptions(std::span<const OptionSpec> defs, messages::Language language);

}  // namespace binconv::cli
