#include "cli/args.h"

#include <algorithm>

namespace binconv::cli {
namespace {

const OptionSpec* FindLong(std::span<const OptionSpec> specs, std::string_view name) {
  for (const OptionSpec& spec : specs) {
    if (spec.name == name) return &spec;
  }
  return nullptr;
}

const OptionSpec* FindAlias(std::span<const OptionSpec> specs, char alias) {
  for (const OptionSpec& spec : specs) {
    if (spec.alias != 0 && spec.alias == alias) return &spec;
  }
  return nullptr;
}

std::string Spelling(const OptionSpec& spec) { return "--" + std::string(spec.name); }

}  // namespace

std::optional<std::string> ParsedArgs::Value(std::string_view name) const {
  auto it = options.find(name);
  if (it == options.end()) return std::nullopt;
  return it->second;
}

Result<ParsedArgs, std::string> ParseArgs(std::span<const std::string> args,
                                          std::span<const OptionSpec> specs,
                                          std::size_t max_positionals) {
  ParsedArgs parsed;
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool is_option = !options_ended && arg.size() > 1 && arg[0] == '-';
    if (!is_option) {
      if (parsed.positionals.size() == max_positionals) {
        return std::string("unexpected argument '") + arg + "'";
      }
      parsed.positionals.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }

    const OptionSpec* spec = nullptr;
    std::optional<std::string> inline_value;
    if (arg[1] == '-') {
      std::string_view body = std::string_view(arg).substr(2);
      const std::size_t eq = body.find('=');
      if (eq != std::string_view::npos) {
        inline_value = std::string(body.substr(eq + 1));
        body = body.substr(0, eq);
      }
      spec = FindLong(specs, body);
      if (spec == nullptr) return "unknown option '--" + std::string(body) + "'";
      if (spec->value_name.empty() && inline_value) {
        return "option " + Spelling(*spec) + " takes no value";
      }
    } else {
      spec = FindAlias(specs, arg[1]);
      if (spec == nullptr) return "unknown option '" + arg.substr(0, 2) + "'";
      if (arg.size() > 2) {
        if (spec->value_name.empty()) return "unknown option '" + arg + "'";
        inline_value = arg.substr(2);
      }
    }

    std::string value;
    if (!spec->value_name.empty()) {
      if (inline_value) {
        value = std::move(*inline_value);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return "option " + Spelling(*spec) + " needs a value (" + std::string(spec->value_name) +
               ")";
      }
    }
    parsed.options[std::string(spec->name)] = std::move(value);
  }
  return parsed;
}

std::string DescribeOptions(std::span<const OptionSpec> specs) {
  std::vector<std::string> heads;
  std::size_t width = 0;
  for (const OptionSpec& spec : specs) {
    std::string head = spec.alias != 0 ? std::string("-") + spec.alias + ", " : "    ";
    head += "--" + std::string(spec.name);
    if (!spec.value_name.empty()) head += " " + std::string(spec.value_name);
    width = std::max(width, head.size());
    heads.push_back(std::move(head));
  }
  std::string text;
  for (std::size_t i = 0; i < specs.size(); ++i) {
    text += "  " + heads[i] + std::string(width - heads[i].size() + 2, ' ');
    text += std::string(specs[i].help) + "\n";
  }
  return text;
}

}  // namespace binconv::cli
