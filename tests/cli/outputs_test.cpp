// Outputs that must not be inputs: every output option of the table, named
// after one of the command's inputs (or another output), is refused and
// every file stays as it was.

#include "cli/outputs.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/cli_runner.h"
#include "support/files.h"

namespace binconv::cli_test {
namespace {

using namespace binconv::test;

using Args = std::vector<std::string>;

// For each output of the table ("command option"), a command line that names
// an input (or another output) with it.
const std::map<std::string, Args>& Clashes() {
  static const std::map<std::string, Args> clashes = {
      {"convert output", {"convert", "-o", "in.txt", "in.txt"}},
      {"write output", {"write", "-o", "./list.txt", "list.txt"}},
      {"write into", {"write", "--into", "list.txt", "--at", "0", "list.txt"}},
      {"encode output", {"encode", "-o", "link.txt", "in.txt"}},
      {"encode into", {"encode", "--into", "Zezovar.ini", "--at", "0", "in.txt"}},
      {"decode output", {"decode", "--tables", ".", "-o", "Zezovar_ex.ini", "game.bin"}},
      {"export-tbl output", {"export-tbl", "-o", "./Zezovar.ini"}},
      {"import-tbl output", {"import-tbl", "Zezovar.ini"}},
      {"insert output", {"insert", "--from", "game.bin", "-o", "plan.txt", "plan.txt"}},
      {"insert into", {"insert", "--into", "plan.txt", "plan.txt"}},
      {"insert patch",
       {"insert", "--from", "game.bin", "--patch", "s.txt", "--format", "bps", "plan.txt"}},
      {"insert map", {"insert", "--from", "game.bin", "-o", "out.bin", "--map", "game.bin",
                      "plan.txt"}},
      {"diff output", {"diff", "game.bin", "p.bps", "-o", "game.bin", "--format", "bps"}},
      {"patch output", {"patch", "game.bin", "p.bps", "-o", "game.bin"}},
      {"patch into", {"patch", "--into", "p.bps", "./p.bps"}},
      {"search save-tbl", {"search", "--relative", "--save-tbl", "game.bin", "game.bin", "あい"}},
  };
  return clashes;
}

// Outputs that clash with each other, and a plan's scripts.
const std::vector<Args> kMoreClashes = {
    {"insert", "--from", "game.bin", "-o", "out.bin", "--map", "./out.bin", "plan.txt"},
    {"insert", "--from", "game.bin", "-o", "out.bin", "--patch", "m.bps", "--map", "m.bps",
     "plan.txt"},
    {"insert", "--from", "game.bin", "-o", "out.bin", "--map", "s.txt", "plan.txt"},
    {"dump", "--force", "--from", "game.bin", "game_plan.txt"},
};

TEST(OutputsTest, NoOutputMayBeAnInput) {
  std::vector<Args> runs = kMoreClashes;
  for (const cli::FileOption& row : cli::kFileOptions) {
    if (row.use == cli::FileUse::kRead) continue;
    const std::string key = std::string(row.command) + " " + std::string(row.option);
    const auto clash = Clashes().find(key);
    ASSERT_NE(clash, Clashes().end()) << "no command line for the output " << key;
    runs.push_back(clash->second);
  }
  for (const Args& args : runs) {
    std::string shown;
    for (const std::string& arg : args) shown += arg + " ";
    SCOPED_TRACE(shown);
    Scratch scratch;
    const std::map<std::string, std::string> files = {
        {"in.txt", "あい"},        {"list.txt", "5658"},
        {"game.bin", "\x56\x58\xFF"}, {"p.bps", "BPS1"},
        {"plan.txt", "script s.txt table=0 count=1 format=f end=FF\nformat f u16le\n"},
        {"s.txt", "#binconv script 1\n"},
        {"game_plan.txt", "script game.bin table=0 count=1 format=f end=FF\nformat f u16le\n"}};
    for (const auto& [name, bytes] : files) WriteAll(scratch.work() / name, bytes);
    fs::create_symlink("in.txt", scratch.work() / "link.txt");
    const std::set<std::string> names = scratch.Names();
    const std::string tables = ReadAll(scratch.work() / "Zezovar.ini");
    const Outcome outcome = RunCli(scratch, args);
    EXPECT_EQ(outcome.exit_code, 2) << outcome;
    EXPECT_TRUE(outcome.err.find("which would be lost") != std::string::npos ||
                outcome.err.find("name the same file") != std::string::npos)
        << outcome;
    EXPECT_EQ(scratch.Names(), names);
    for (const auto& [name, bytes] : files) EXPECT_EQ(ReadAll(scratch.work() / name), bytes) << name;
    EXPECT_EQ(ReadAll(scratch.work() / "Zezovar.ini"), tables);
  }
}

}  // namespace
}  // namespace binconv::cli_test
