#pragma once
// A small command-line option parser: long options with "--name VALUE" or
// "--name=VALUE", one-letter aliases with "-o VALUE" or "-oVALUE", flags, and
// at most a fixed number of positional arguments. "--" ends the options and a
// lone "-" is a positional argument (standard input or output).

#include <cstddef>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/result.h"

namespace binconv::cli {

struct OptionSpec {
  std::string_view name;        // long name without the dashes
  char alias = 0;               // one-letter alias, 0 for none
  std::string_view value_name;  // empty for a flag
  std::string_view help;
};

struct ParsedArgs {
  std::map<std::string, std::string, std::less<>> options;  // flags map to ""
  std::vector<std::string> positionals;

  bool Has(std::string_view name) const { return options.find(name) != options.end(); }
  std::optional<std::string> Value(std::string_view name) const;
};

// The message says what is wrong, in one line, without the program name.
Result<ParsedArgs, std::string> ParseArgs(std::span<const std::string> args,
                                          std::span<const OptionSpec> defs,
                                          std::size_t max_positionals);

// One line per option, aligned, for --help.
std::string DescribeOptions(std::span<const OptionSpec> defs);

}  // namespace binconv::cli
