// The README and every page of docs/ run as a reader would follow them. Each
// ```console block is a terminal: a "$ " line is a command (a trailing "\"
// joins the next line), and the lines under it are what it must print, its
// standard output and error as they come. A page's blocks run in order in a
// fresh copy of examples/, with this build's binconv-cli first on PATH and the
// default tables where an installed program finds them. Any other block, and
// the Windows read-mes of the zip, may show a binconv-cli command only if a
// console block runs the same command line.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_runner.h"
#include "support/examples.h"
#include "support/files.h"

namespace binconv::test {
namespace {

const fs::path kSource = BINCONV_SOURCE_DIR;

struct Command {
  int line = 0;
  std::string text;
  std::vector<std::string> output;
};

struct Page {
  std::vector<Command> commands;           // of its console blocks
  std::vector<std::pair<int, std::string>> shown;  // binconv-cli lines elsewhere
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Trim(const std::string& s) {
  const std::size_t begin = s.find_first_not_of(" \t");
  return begin == std::string::npos ? "" : s.substr(begin, s.find_last_not_of(" \t") - begin + 1);
}

// A line that runs binconv-cli: it starts the line (after a prompt) or a
// command of a list or pipeline. A message "binconv-cli: ..." does not, nor a
// line of a read-me's text that is not indented.
bool RunsCli(const std::string& line, bool text) {
  std::string trimmed = Trim(line);
  if (text && (trimmed.empty() || trimmed[0] == line[0])) return false;
  if (trimmed.starts_with("$ ")) trimmed.erase(0, 2);
  for (const char* name : {"binconv-cli ", "binconv-cli.exe ", "..\\binconv-cli.exe "}) {
    for (std::size_t at = trimmed.find(name); at != std::string::npos; at = trimmed.find(name, at + 1)) {
      const std::string before = Trim(trimmed.substr(0, at));
      if (before.empty() || before.ends_with("|") || before.ends_with("&&") || before.ends_with(";")) {
        return true;
      }
    }
  }
  return false;
}

// The command line as the Linux console blocks would give it: the Windows
// read-mes run ..\binconv-cli.exe from examples\.
std::string Normal(std::string line) {
  line = Trim(line);
  if (line.starts_with("$ ")) line.erase(0, 2);
  for (const std::string from : {"..\\binconv-cli.exe", "binconv-cli.exe"}) {
    for (std::size_t at; (at = line.find(from)) != std::string::npos;) line.replace(at, from.size(), "binconv-cli");
  }
  std::replace(line.begin(), line.end(), '\\', '/');
  std::string out;
  for (const char c : line) {
    if (c != ' ' || (!out.empty() && out.back() != ' ')) out += c;
  }
  return out;
}

Page ReadPage(const fs::path& file) {
  Page page;
  bool in_block = false;
  bool console = false;
  bool joining = false;
  std::string indent;  // of the fence, which a block in a list item has
  const std::vector<std::string> lines = Lines(ReadAll(file));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string line = lines[i];
    const int number = static_cast<int>(i + 1);
    if (Trim(line).starts_with("```")) {
      in_block = !in_block;
      console = in_block && Trim(line) == "```console";
      indent = line.substr(0, line.find('`'));
      joining = false;
      continue;
    }
    if (console && line.starts_with(indent)) line.erase(0, indent.size());
    if (console && joining) {
      page.commands.back().text += "\n" + line;
    } else if (console && line.starts_with("$ ")) {
      page.commands.push_back({number, line.substr(2), {}});
    } else if (console) {
      if (page.commands.empty()) ADD_FAILURE() << file << ":" << number << ": output before a command";
      else page.commands.back().output.push_back(line);
      continue;
    } else if (in_block ? RunsCli(line, false) : file.extension() == ".txt" && RunsCli(line, true)) {
      page.shown.push_back({number, line});
    }
    joining = console && line.ends_with("\\");
  }
  EXPECT_FALSE(in_block) << file << ": a block is not closed";
  return page;
}

std::vector<fs::path> Pages() {
  std::vector<fs::path> pages{kSource / "README.md"};
  for (const fs::directory_entry& entry : fs::directory_iterator(kSource / "docs")) {
    if (entry.path().extension() == ".md") pages.push_back(entry.path());
  }
  std::sort(pages.begin() + 1, pages.end());
  return pages;
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

class ManualTest : public testing::TestWithParam<fs::path> {};

TEST_P(ManualTest, ConsoleBlocksPrintWhatTheyShow) {
  const Page page = ReadPage(GetParam());
  ScratchDir scratch;
  const fs::path work = scratch.path() / "work";
  fs::copy(ExamplesDir(), work, fs::copy_options::recursive);
  fs::create_directories(scratch.path() / "config" / "binconv");
  for (const char* name : {"Zezovar.ini", "Zezovar_ex.ini"}) {
    fs::copy_file(DefaultTablesDir() / name, scratch.path() / "config" / "binconv" / name);
  }
  fs::create_directories(scratch.path() / "bin");
  WriteAll(scratch.path() / "bin" / "binconv-cli",
           "#!/bin/sh\nexec " + Quoted(ProgramUnderTest()) + " \"$@\"\n");
  fs::permissions(scratch.path() / "bin" / "binconv-cli", fs::perms::owner_all);
  // One shell for the page, as a reader's terminal: a cd or a variable
  // holds for the commands after it. A record separator after each command
  // splits what they print.
  std::string script;
  for (const Command& command : page.commands) script += command.text + "\nprintf '\\036\\n'\n";
  WriteAll(scratch.path() / "page.sh", script);
  const std::string run = "cd " + Quoted(work) + " && PATH=" + Quoted(scratch.path() / "bin") +
                          ":\"$PATH\" XDG_CONFIG_HOME=" + Quoted(scratch.path() / "config") +
                          " LC_ALL=C.UTF-8 bash ../page.sh </dev/null >../output 2>&1";
  ASSERT_NE(std::system(run.c_str()), -1) << "no shell";
  const std::string output = ReadAll(scratch.path() / "output");
  std::vector<std::string> printed;
  for (std::size_t from = 0, at; (at = output.find("\036\n", from)) != std::string::npos; from = at + 2) {
    printed.push_back(output.substr(from, at - from));
  }
  for (std::size_t k = 0; k < page.commands.size(); ++k) {
    const Command& command = page.commands[k];
    // Trailing spaces and CRs are not seen on a terminal, nor kept by editors.
    std::string got;
    for (const std::string& line : Lines(k < printed.size() ? printed[k] : "")) {
      got += line.substr(0, line.find_last_not_of(" \r") + 1) + "\n";
    }
    std::string expected;
    for (const std::string& line : command.output) expected += line + "\n";
    while (got.ends_with("\n\n")) got.pop_back();
    while (expected.ends_with("\n\n")) expected.pop_back();
    if (got == "\n") got.clear();
    if (expected == "\n") expected.clear();
    EXPECT_EQ(got, expected) << GetParam().filename().string() << ":" << command.line << ": $ "
                             << command.text;
  }
  EXPECT_EQ(printed.size(), page.commands.size()) << "the shell ended early";
}

std::string PageName(const testing::TestParamInfo<fs::path>& info) {
  std::string name = info.param.stem().string();
  std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Pages, ManualTest, testing::ValuesIn(Pages()), PageName);

TEST(ManualShownTest, EveryCommandShownIsRun) {
  std::set<std::string> run;
  std::vector<std::pair<fs::path, Page>> pages;
  for (const fs::path& file : Pages()) pages.push_back({file, ReadPage(file)});
  for (const char* readme : {"README-en.txt", "README-ja.txt"}) {
    const fs::path file = kSource / "packaging" / "windows" / readme;
    pages.push_back({file, ReadPage(file)});
  }
  // A command line run, and each command of its lists and pipelines.
  for (const auto& [file, page] : pages) {
    for (const Command& command : page.commands) {
      run.insert(Normal(command.text));
      std::string rest = command.text;
      for (const char* separator : {"&&", "||", ";", "|"}) {
        for (std::size_t at; (at = rest.find(separator)) != std::string::npos;) rest.replace(at, std::strlen(separator), "\n");
      }
      for (const std::string& part : Lines(rest)) run.insert(Normal(part));
    }
  }
  std::size_t shown = 0;
  for (const auto& [file, page] : pages) {
    for (const auto& [line, text] : page.shown) {
      ++shown;
      EXPECT_TRUE(run.contains(Normal(text))) << file.filename().string() << ":" << line
                                              << " shows a command no console block runs: " << text;
    }
  }
  // The read-mes show the examples in cmd.exe's form; finding none would mean
  // this test no longer reads them.
  EXPECT_GE(shown, 10u);
}

}  // namespace
}  // namespace binconv::test
