// The option parser and what a command's declaration derives: the checks made
// before a command runs and the synopsis line of its --help.

#include "cli/args.h"

#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace binconv::cli {
namespace {

// A command shaped as write and insert are: -o or --into GAME (which needs
// --at), --fill needing both, a required --mode and one optional INPUT.
constexpr std::array kOptions{
    OptionSpec{.name = "output", .alias = 'o', .value_name = "NAME"},
    OptionSpec{.name = "into", .value_name = "GAME", .excludes = "output", .needs = "at"},
    OptionSpec{.name = "at", .value_name = "OFFSET", .needs = "into"},
    OptionSpec{.name = "fill", .value_name = "XX", .needs = "into at"},
    OptionSpec{.name = "mode", .value_name = "M", .required = true},
    OptionSpec{.name = "count", .needs = "output|into", .misuse = "--count counts what is written"},
    OptionSpec{.name = "exact", .alias = 'x'}};
constexpr Usage kUsage{.options = kOptions,
                       .form = {.positionals = {.shown = "[INPUT]", .max = 1, .needs = "t needs"}}};

std::vector<std::string> Args(std::initializer_list<const char*> args) {
  return {args.begin(), args.end()};
}

struct ParseCase {
  std::vector<std::string> args;
  std::string parsed;  // "name=value;..." then "|" and the positionals, or "error: ..."
};

std::string Shown(const Result<ParsedArgs, std::string>& parsed) {
  if (!parsed) return "error: " + parsed.error();
  std::string text;
  for (const auto& [name, value] : parsed->options) text += name + "=" + value + ";";
  text += "|";
  for (const std::string& positional : parsed->positionals) text += positional + ";";
  return text;
}

class ParseArgsTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseArgsTest, TakesOptionsAndPositionals) {
  EXPECT_EQ(Shown(ParseArgs(GetParam().args, kUsage)), GetParam().parsed);
}

INSTANTIATE_TEST_SUITE_P(
    Args, ParseArgsTest,
    testing::Values(ParseCase{Args({"--mode", "a", "in"}), "mode=a;|in;"},
                    ParseCase{Args({"--mode=a=b"}), "mode=a=b;|"},
                    ParseCase{Args({"-o", "f", "-x"}), "exact=;output=f;|"},
                    ParseCase{Args({"-of"}), "output=f;|"},
                    ParseCase{Args({"-xo"}), "error: unknown option '-xo'"},
                    ParseCase{Args({"-"}), "|-;"},
                    ParseCase{Args({"--", "--mode"}), "|--mode;"},
                    ParseCase{Args({"--exact=1"}), "error: option --exact takes no value"},
                    ParseCase{Args({"--mode"}), "error: option --mode needs a value (M)"},
                    ParseCase{Args({"--bogus"}), "error: unknown option '--bogus'"},
                    ParseCase{Args({"-q"}), "error: unknown option '-q'"},
                    // A typo is answered with the option meant; the game given
                    // as an argument, with the option that takes it.
                    ParseCase{Args({"--mdoe", "a"}),
                              "error: unknown option '--mdoe'; did you mean --mode?"},
                    ParseCase{Args({"--exa"}), "error: unknown option '--exa'; did you mean --exact?"},
                    ParseCase{Args({"a", "b"}),
                              "error: unexpected argument 'b'; if 'a' is the game, give it with "
                              "--into"},
                    ParseCase{Args({"--into", "g", "a", "b"}), "error: unexpected argument 'b'"}));

struct MisuseCase {
  std::vector<std::string> args;
  std::string misuse;  // empty when the command line is fine
};

class FindMisuseTest : public testing::TestWithParam<MisuseCase> {};

TEST_P(FindMisuseTest, ChecksTheDeclaration) {
  auto parsed = ParseArgs(GetParam().args, kUsage);
  ASSERT_TRUE(parsed) << parsed.error();
  const std::optional<Misuse> misuse = FindMisuse("t", parsed.value(), kUsage);
  EXPECT_EQ(misuse ? misuse->message : "", GetParam().misuse);
}

INSTANTIATE_TEST_SUITE_P(
    Declared, FindMisuseTest,
    testing::Values(MisuseCase{Args({"--mode", "a", "-o", "f", "in"}), ""},
                    MisuseCase{Args({"-o", "f"}), "t needs --mode M"},
                    MisuseCase{Args({"--mode", "a", "--into", "g", "-o", "f"}),
                               "--into and -o exclude each other"},
                    MisuseCase{Args({"--mode", "a", "--into", "g"}), "--into needs --at OFFSET"},
                    MisuseCase{Args({"--mode", "a", "--at", "1"}), "--at needs --into GAME"},
                    // Needs are checked in the order declared.
                    MisuseCase{Args({"--mode", "a", "--fill", "00"}), "--fill needs --into GAME"},
                    MisuseCase{Args({"--mode", "a", "--count"}), "--count counts what is written"},
                    MisuseCase{Args({"--mode", "a", "--count", "--into", "g", "--at", "1"}), ""}));

// The commands' own declarations: positionals by form, options that stand
// in for each other, and the form an option selects.
struct CommandMisuseCase {
  std::string_view command;
  std::vector<std::string> args;
  std::string misuse;
};

class CommandMisuseTest : public testing::TestWithParam<CommandMisuseCase> {};

TEST_P(CommandMisuseTest, ChecksTheCommandsDeclaration) {
  const Command* command = nullptr;
  for (const Command& c : Commands()) command = c.name == GetParam().command ? &c : command;
  ASSERT_NE(command, nullptr);
  auto parsed = ParseArgs(GetParam().args, command->usage);
  ASSERT_TRUE(parsed) << parsed.error();
  const std::optional<Misuse> misuse = FindMisuse(command->name, parsed.value(), command->usage);
  EXPECT_EQ(misuse ? misuse->message : "", GetParam().misuse);
}

constexpr char kPatchNeeds[] = "patch needs ORIGINAL PATCH -o OUTPUT, or --into FILE PATCH";

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandMisuseTest,
    testing::Values(
        CommandMisuseCase{"dump", Args({"--from", "g"}), "dump needs a PLAN"},
        // Required options, with their own message or the one made from the name.
        CommandMisuseCase{"dump", Args({"plan"}), "dump needs --from GAME"},
        CommandMisuseCase{"diff", Args({"a", "b"}), "diff needs ORIGINAL, MODIFIED and -o PATCH"},
        CommandMisuseCase{"pointers-to", Args({"g", "1"}), "pointers-to needs --format TYPE"},
        CommandMisuseCase{"search", Args({"g", "a", "b"}), ""},
        CommandMisuseCase{"search", Args({"--relative", "g", "a", "b"}),
                          "search --relative needs GAME and one KANA word"},
        CommandMisuseCase{"patch", Args({"--into", "f", "p"}), ""},
        CommandMisuseCase{"patch", Args({"--into", "f", "o", "p"}), kPatchNeeds},
        CommandMisuseCase{"patch", Args({"o", "p"}), kPatchNeeds},
        CommandMisuseCase{"patch", Args({"-o", "x", "--into", "f", "p"}), kPatchNeeds},
        CommandMisuseCase{"insert", Args({"--from", "g", "--patch", "p.bps", "plan"}), ""},
        CommandMisuseCase{"insert", Args({"--into", "g", "--from", "o", "plan"}),
                          "--into and --from exclude each other"},
        CommandMisuseCase{"insert", Args({"-o", "x", "plan"}),
                          "insert needs --into GAME or --from ORIGINAL -o OUTPUT"}));

// Every text a command declares is shown in Japanese too: one left out of
// the catalogue would print English in the middle of Japanese help.
TEST(CommandTextTest, EveryDeclaredTextHasItsJapanese) {
  for (const Command& command : Commands()) {
    std::vector<std::string_view> texts = {command.summary, command.details,
                                           command.usage.form.positionals.needs};
    if (command.usage.other != nullptr) texts.push_back(command.usage.other->positionals.needs);
    for (const OptionSpec& option : command.usage.options) {
      texts.insert(texts.end(), {option.help, option.missing, option.misuse});
    }
    for (const std::string_view text : texts) {
      if (text.empty()) continue;
      EXPECT_NE(messages::Say(messages::Language::kJapanese, text), text)
          << command.name << ": no Japanese for\n" << text;
    }
  }
}

// Options that exclude each other make one group; an option that needs
// another stands after it, inside its brackets.
TEST(SynopsisTest, GroupsExclusiveOptionsAndNestsNeededOnes) {
  EXPECT_EQ(Synopsis(kUsage),
            "[-o NAME | --into GAME --at OFFSET [--fill XX]] --mode M [--count] [-x] [INPUT]");
}

// A name in excludes, needs or a form that no option has would pass every
// check unseen.
TEST(SynopsisTest, NamesOnlyDeclaredOptions) {
  for (const Command& command : Commands()) {
    const Usage& usage = command.usage;
    auto declared = [&](std::string_view name) {
      for (const OptionSpec& option : usage.options) {
        if (option.name == name) return true;
      }
      return name == "@";
    };
    // Words apart by spaces, each "a|b" or "name=TEXT".
    auto check = [&](std::string_view list) {
      std::istringstream in{std::string(list)};
      for (std::string word; in >> word;) {
        std::istringstream names(word.substr(0, word.find('=')));
        for (std::string name; std::getline(names, name, '|');) {
          EXPECT_TRUE(declared(name)) << command.name << ": " << word;
        }
      }
    };
    for (const OptionSpec& option : usage.options) {
      check(option.excludes);
      check(option.needs);
    }
    for (const Form* form : {&usage.form, usage.other}) {
      if (form == nullptr) continue;
      EXPECT_TRUE(form->when.empty() || declared(form->when)) << command.name;
      check(form->order);
    }
  }
}

}  // namespace
}  // namespace binconv::cli
