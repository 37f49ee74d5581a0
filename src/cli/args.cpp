#include "cli/args.h"

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/strings.h"

namespace binconv::cli {
namespace {

using messages::Language;
using messages::Say;

const OptionSpec* FindLong(std::span<const OptionSpec> defs, std::string_view name) {
  for (const OptionSpec& def : defs) {
    if (def.name == name) return &def;
  }
  return nullptr;
}

// "; did you mean --format?" for the option nearest to a mistyped one: the
// one it begins, or else the one fewest edits away, at most two and fewer
// than half its length; empty when none is near.
std::string NearestOptionHint(Language language, std::span<const OptionSpec> defs,
                              std::string_view typed) {
  const OptionSpec* best = nullptr;
  std::size_t best_edits = 3;
  for (const OptionSpec& def : defs) {
    if (typed.size() >= 2 && def.name.starts_with(typed)) {
      best = &def;
      break;
    }
    const std::size_t edits = EditDistance(typed, def.name);
    if (edits < best_edits && 2 * edits < def.name.size()) {
      best = &def;
      best_edits = edits;
    }
  }
  if (best == nullptr) return "";
  return Say(language, "; did you mean {option}?", {{"option", "--" + std::string(best->name)}});
}

// For an argument too many: the game of a command that reads it with an
// option, given as a plain argument.
std::string GameOptionHint(std::span<const OptionSpec> defs, const ParsedArgs& parsed) {
  std::string options;
  for (const std::string_view name : {"from", "into"}) {
    if (FindLong(defs, name) == nullptr || parsed.Has(name)) continue;
    if (!options.empty()) options += Say(parsed.language, " or ");
    options += "--" + std::string(name);
  }
  if (options.empty() || parsed.positionals.empty()) return "";
  return Say(parsed.language, "; if '{argument}' is the game, give it with {options}",
             {{"argument", parsed.positionals.front()}, {"options", options}});
}

const OptionSpec* FindAlias(std::span<const OptionSpec> defs, char alias) {
  for (const OptionSpec& def : defs) {
    if (def.alias != 0 && def.alias == alias) return &def;
  }
  return nullptr;
}

std::string Spelling(const OptionSpec& def) { return "--" + std::string(def.name); }

std::string UnknownOption(Language language, const std::string& option) {
  return Say(language, "unknown option '{option}'", {{"option", option}});
}

// The words of a space-separated list.
std::vector<std::string_view> Words(std::string_view list, char separator = ' ') {
  std::vector<std::string_view> words;
  while (!list.empty()) {
    const std::size_t end = std::min(list.find(separator), list.size());
    if (end != 0) words.push_back(list.substr(0, end));
    list.remove_prefix(std::min(end + 1, list.size()));
  }
  return words;
}

bool Lists(std::string_view list, std::string_view name) {
  for (const std::string_view word : Words(list)) {
    if (word == name) return true;
  }
  return false;
}

// Either declares that it excludes the other.
bool Exclude(const OptionSpec& a, const OptionSpec& b) {
  return Lists(a.excludes, b.name) || Lists(b.excludes, a.name);
}

// "-o" or "--into", as a message names an option.
std::string Flag(const OptionSpec& def) {
  return def.alias != 0 ? std::string("-") + def.alias : Spelling(def);
}

// "-o NAME", "--into GAME", "--force".
std::string Spelled(const OptionSpec& def, std::string_view value) {
  std::string text = Flag(def);
  if (!value.empty()) text.append(" ").append(value);
  return text;
}
std::string Spelled(const OptionSpec& def) { return Spelled(def, def.value_name); }

// A name the declaration gives; one it lacks (a slip that the unit test
// catches) stands as a flag of that name.
OptionSpec Named(std::span<const OptionSpec> defs, std::string_view name) {
  const OptionSpec* def = FindLong(defs, name);
  return def != nullptr ? *def : OptionSpec{.name = name};
}

const Form& FormOf(const ParsedArgs& args, const Usage& usage) {
  return usage.other != nullptr && args.Has(usage.other->when) ? *usage.other : usage.form;
}

std::optional<Misuse> MissingOption(std::string_view command, const ParsedArgs& args,
                                    std::span<const OptionSpec> defs) {
  for (const OptionSpec& def : defs) {
    if (!def.required || args.Has(def.name)) continue;
    bool stood_in = false;
    for (const OptionSpec& other : defs) {
      stood_in = stood_in || (other.required && Exclude(def, other) && args.Has(other.name));
    }
    if (stood_in) continue;
    if (!def.missing.empty()) return Misuse{Misuse::Kind::kMissing, Say(args.language, def.missing)};
    return Misuse{Misuse::Kind::kMissing,
                  Say(args.language, "{command} needs {option}",
                      {{"command", std::string(command)}, {"option", Spelled(def)}})};
  }
  return std::nullopt;
}

// What `def`, given, excludes or lacks.
std::optional<Misuse> Clash(const ParsedArgs& args, std::span<const OptionSpec> defs,
                            const OptionSpec& def) {
  auto clash = [&](std::string message) {
    if (!def.misuse.empty()) message = Say(args.language, def.misuse);
    return Misuse{Misuse::Kind::kClash, std::move(message)};
  };
  for (const std::string_view name : Words(def.excludes)) {
    if (args.Has(name)) {
      return clash(Say(args.language, "{option} and {other} exclude each other",
                       {{"option", Flag(def)}, {"other", Flag(Named(defs, name))}}));
    }
  }
  for (const std::string_view need : Words(def.needs)) {
    std::string wanted;
    bool met = false;
    for (const std::string_view name : Words(need, '|')) {
      met = met || args.Has(name);
      if (!wanted.empty()) wanted += Say(args.language, " or ");
      wanted += Spelled(Named(defs, name));
    }
    if (!met) {
      return clash(Say(args.language, "{option} needs {wanted}",
                       {{"option", Flag(def)}, {"wanted", wanted}}));
    }
  }
  return std::nullopt;
}

// The synopsis of one form: which options it shows, nested under the option
// they need, options that exclude each other as one group "[a | b]" (in
// parentheses when one of them is required) where the last of them stands.
class FormSynopsis {
 public:
  FormSynopsis(const Usage& usage, const Form& form) : defs_(usage.options), form_(form) {
    const Form* rival = &form == &usage.form ? usage.other : nullptr;
    const OptionSpec* selector = form.when.empty() ? nullptr : FindLong(defs_, form.when);
    for (const OptionSpec& def : defs_) {
      bool shown = def.name != "help" && &def != selector;
      if (rival != nullptr) {
        shown = shown && def.name != rival->when && !Lists(def.needs, rival->when);
      }
      if (selector != nullptr) shown = shown && !Exclude(*selector, def);
      shown_.push_back(shown);
    }
  }

  std::string Text() const {
    std::vector<std::string> pieces;
    if (!form_.order.empty()) {
      for (const std::string_view token : Words(form_.order)) pieces.push_back(Token(token));
    } else {
      if (!form_.when.empty()) pieces.push_back(Spelled(Named(defs_, form_.when)));
      for (std::size_t i = 0; i < defs_.size(); ++i) pieces.push_back(TopLevel(i));
      pieces.emplace_back(form_.positionals.shown);
    }
    std::string text;
    for (const std::string& piece : pieces) {
      if (piece.empty()) continue;
      text += (text.empty() ? "" : " ") + piece;
    }
    return text;
  }

 private:
  // "@", "name", "name=VALUE", or "a|b" for options that exclude each
  // other, shown flat.
  std::string Token(std::string_view token) const {
    if (token == "@") return std::string(form_.positionals.shown);
    if (const std::size_t bar = token.find('|'); bar < token.find('=')) {
      const std::string first = Token(token.substr(0, bar));
      const std::string rest = Token(token.substr(bar + 1));
      return first.substr(0, first.size() - 1) + " | " + rest.substr(1);
    }
    const std::size_t eq = token.find('=');
    const OptionSpec def = Named(defs_, token.substr(0, eq));
    const std::string_view value =
        eq == std::string_view::npos ? def.value_name : token.substr(eq + 1);
    const bool bare = def.required || def.name == form_.when;
    return bare ? Spelled(def, value) : "[" + Spelled(def, value) + "]";
  }

  // The option a shown option is nested under: the first it needs alone,
  // declared before it.
  std::optional<std::size_t> Parent(std::size_t i) const {
    const std::vector<std::string_view> needs = Words(defs_[i].needs);
    if (needs.empty() || needs.front().find('|') != std::string_view::npos) return std::nullopt;
    for (std::size_t p = 0; p < i; ++p) {
      if (shown_[p] && defs_[p].name == needs.front()) return p;
    }
    return std::nullopt;
  }

  // The option with what is nested under it.
  std::string Item(std::size_t i) const {
    std::string text = Spelled(defs_[i]);
    for (std::size_t c = i + 1; c < defs_.size(); ++c) {
      if (!shown_[c] || Parent(c) != i) continue;
      const bool bare = defs_[c].required || Lists(defs_[i].needs, defs_[c].name);
      text += " " + (bare ? Item(c) : "[" + Item(c) + "]");
    }
    return text;
  }

  std::string TopLevel(std::size_t i) const {
    if (!shown_[i] || Parent(i)) return {};
    std::vector<std::size_t> group;
    for (std::size_t g = 0; g < defs_.size(); ++g) {
      if (shown_[g] && Parent(g) == std::nullopt && (g == i || Exclude(defs_[i], defs_[g]))) {
        group.push_back(g);
      }
    }
    if (group.back() != i) return {};  // shown where the last of the group stands
    std::string text;
    bool required = false;
    for (const std::size_t g : group) {
      text += (text.empty() ? "" : " | ") + Item(g);
      required = required || defs_[g].required;
    }
    return required ? (group.size() > 1 ? "(" + text + ")" : text) : "[" + text + "]";
  }

  std::span<const OptionSpec> defs_;
  const Form& form_;
  std::vector<bool> shown_;
};

}  // namespace

std::optional<std::string> ParsedArgs::Value(std::string_view name) const {
  auto it = options.find(name);
  if (it == options.end()) return std::nullopt;
  return it->second;
}

Result<ParsedArgs, std::string> ParseArgs(std::span<const std::string> args,
                                          std::span<const OptionSpec> defs,
                                          std::size_t max_positionals, Language language) {
  ParsedArgs parsed;
  parsed.language = language;
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool is_option = !options_ended && arg.size() > 1 && arg[0] == '-';
    if (!is_option) {
      if (parsed.positionals.size() == max_positionals) {
        return Unexpected(Say(language, "unexpected argument '{argument}'", {{"argument", arg}}) +
                          GameOptionHint(defs, parsed));
      }
      parsed.positionals.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      parsed.before_end_of_options = parsed.positionals.size();
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
      if (def == nullptr) {
        return Unexpected(UnknownOption(language, "--" + std::string(body)) +
                          NearestOptionHint(language, defs, body));
      }
      if (def->value_name.empty() && inline_value) {
        return Unexpected(
            Say(language, "option {option} takes no value", {{"option", Spelling(*def)}}));
      }
    } else {
      def = FindAlias(defs, arg[1]);
      if (def == nullptr) return Unexpected(UnknownOption(language, arg.substr(0, 2)));
      if (arg.size() > 2) {
        if (def->value_name.empty()) return Unexpected(UnknownOption(language, arg));
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
        return Unexpected(Say(language, "option {option} needs a value ({value})",
                              {{"option", Spelling(*def)}, {"value", std::string(def->value_name)}}));
      }
    }
    parsed.options[std::string(def->name)] = std::move(value);
  }
  return parsed;
}

Result<ParsedArgs, std::string> ParseArgs(std::span<const std::string> args, const Usage& usage,
                                          Language language) {
  std::size_t most = usage.form.positionals.max;
  if (usage.other != nullptr) most = std::max(most, usage.other->positionals.max);
  return ParseArgs(args, usage.options, most, language);
}

std::optional<Misuse> FindMisuse(std::string_view command, const ParsedArgs& args,
                                 const Usage& usage) {
  const Positionals& wanted = FormOf(args, usage).positionals;
  const std::size_t given = args.positionals.size();
  if (given < wanted.min || given > wanted.max) {
    return Misuse{Misuse::Kind::kMissing, Say(args.language, wanted.needs)};
  }
  if (auto missing = MissingOption(command, args, usage.options)) return missing;
  for (const OptionSpec& def : usage.options) {
    if (!args.Has(def.name)) continue;
    if (auto clash = Clash(args, usage.options, def)) return clash;
  }
  return std::nullopt;
}

std::string Synopsis(const Usage& usage) {
  std::string text = FormSynopsis(usage, usage.form).Text();
  if (usage.other != nullptr) {
    text += std::string(usage.other->apart) + FormSynopsis(usage, *usage.other).Text();
  }
  return text;
}

std::string DescribeOptions(std::span<const OptionSpec> defs, Language language) {
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
    text += Say(language, defs[i].help) + "\n";
  }
  return text;
}

}  // namespace binconv::cli
