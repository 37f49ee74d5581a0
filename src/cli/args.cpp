#include "cli/args.h"

#include <algorithm>

namespace binconv::cli {
namespace {

const OptionSpec* FindLong(std::span<const OptionSpec> defs, std::string_view name) {
  for (const OptionSpec& def : defs) {
    if (def.name == name) return &def;
  }
  return nullptr;
}

const OptionSpec* FindAlias(std::span<const OptionSpec> defs, char alias) {
  for (const OptionSpec& def : defs) {
    if (def.alias != 0 && def.alias == alias) return &def;
  }
  return nullptr;
}

std::string Spelling(const OptionSpec& def) { return "--" + std::string(def.name); }

}  // namespace

std::optional<std::string> ParsedArgs::Value(std::string_view name) const {
  auto it = options.find(name);
  if (it == options.end()) return std::nullopt;
  return it->second;
}

Result<ParsedArgs, std::string> ParseArgs(std::span<const std::string> args,
                                          std::span<const OptionSpec> defs,
                                          std::size_t max_positionals) {
  ParsedArgs parsed;
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool is_option = !options_ended && arg.size() > 1 && arg[0] == '-';
    if (!is_option) {
      if (parsed.positionals.size() == max_positionals) {
        return Unexpected(std::string("unexpected argument '") + arg + "'");
      }
      parsed.positionals.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }

    const OptionSpec* def = nullptr;
    std::optional<std::string> inline_value;
    if (arg[1] == '-') {
      std::string_view body = std::string_view(arg).substr(2);
      const std::size_t eq = body.find('=');
      if (eq != std::string_view::npos) {
        inline_value = std::string(body.substr(eq + 1));
        body = body.substr(0, eq);
      }
      def = FindLong(defs, body);
      if (def == nullptr) return Unexpected("unknown option '--" + std::string(body) + "'");
      if (def->value_name.empty() && inline_value) {
        return Unexpected("option " + Spelling(*def) + " takes no value");
      }
    } else {
      def = FindAlias(defs, arg[1]);
      if (def == nullptr) return Unexpected("unknown option '" + arg.substr(0, 2) + "'");
      if (arg.size() > 2) {
        if (def->value_name.empty()) return Unexpected("unknown option '" + arg + "'");
        inline_value = arg.substr(2);
      }
    }

    std::string value;
    if (!def->value_name.empty()) {
      if (inline_value) {
        value = std::move(*inline_value);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return Unexpected("option " + Spelling(*def) + " needs a value (" +
                          std::string(def->value_name) + ")");
      }
    }
    parsed.options[std::string(def->name)] = std::move(value);
  }
  return parsed;
}

std::string DescribeOptions(std::span<const OptionSpec> defs) {
  std::vector<std::string> heads;
  std::size_t width = 0;
  for (const OptionSpec& def : defs) {
    std::string head = def.alias != 0 ? std::string("-") + def.alias + ", " : "    ";
    // Appending piece by piece also keeps g++ 12's -Wrestrict false alarm away.
    head.append("--").append(def.name);
    if (!def.value_name.empty()) head.append(" ").append(def.value_name);
    width = std::max(width, head.size());
    heads.push_back(std::move(head));
  }
  std::string text;
  for (std::size_t i = 0; i < defs.size(); ++i) {
    text += "  " + heads[i] + std::string(width - heads[i].size() + 2, ' ');
    text += std::string(defs[i].help) + "\n";
  }
  return text;
}

}  // namespace binconv::cli
