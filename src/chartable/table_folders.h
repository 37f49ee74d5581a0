#pragma once
// Where the table files are looked for when no folder is named: the current
// folder, then the user's own folder, then the defaults installed with the
// program. The main and the extended file always come from the same folder.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "runtime/problem.h"
#include "runtime/result.h"

namespace binconv {

// What the search depends on, passed in so that it can be tested; a front-end
// fills it from its process with TableSearchPlaceOfThisProcess.
struct TableSearchPlace {
  std::filesystem::path current_dir;  // absolute
  std::filesystem::path executable;   // the running program's file; empty if unknown
  // The environment variables of those names; nullopt when unset.
  std::optional<std::filesystem::path> xdg_config_home;
  std::optional<std::filesystem::path> home;
  std::optional<std::filesystem::path> appdata;
  bool windows = false;  // %APPDATA% and the .exe's own folder instead of the XDG ones
};

// The folders in the order they are tried, without repeats:
//  1. the current folder, as always, so the stored setups of today still work;
//  2. $XDG_CONFIG_HOME/binconv, or ~/.config/binconv when that is unset, empty
//     or not absolute (as the XDG base directory rules say); on Windows
//     %APPDATA%\binconv;
//  3. the installed defaults: ../share/binconv/tables beside the executable's
//     folder, on Windows the .exe's own folder.
// A folder that can't be made (no HOME, no executable path) is left out.
std::vector<std::filesystem::path> TableFolderCandidates(const TableSearchPlace& place);

// The first candidate folder that holds the main table file. It is used even
// if it lacks the extended file: loading then says so, rather than mixing files
// of two folders. kNoTableFolder, naming every folder looked in, when none does.
Result<std::filesystem::path, Problem> FindTableFolder(const TableSearchPlace& place);

// The place of the running process: its current folder, its executable and
// its environment.
TableSearchPlace TableSearchPlaceOfThisProcess();

}  // namespace binconv
