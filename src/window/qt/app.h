#pragma once
// The program's run: start-up sequence, then the event loop.

#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "chartable/table_folders.h"
#include "runtime/result.h"

namespace binconv::window::qt {

// Needs a QApplication. Builds the window and runs its start-up sequence with
// the tables of `dir`. If they can't be read, a modal message names the file,
// the line and the problem, the window never appears and the result is 1;
// otherwise the window is shown with the focus in the name box and the result
// is the event loop's.
int RunWindow(const std::filesystem::path& dir);

// The same with the folder that the search found; when it found none, a modal
// message lists every folder tried and the result is 1.
int RunWindow(const Result<std::filesystem::path, Problem>& found);

// The same as the command line `args` (those after the program's name) says:
// with --tbl FILE a game's own table, else the tables the search finds.
int RunWindow(std::span<const char* const> args);

// What the program prints for --help or --version (also -h), wherever among
// the arguments after the program's name; nullopt for anything else, which
// the window ignores.
std::optional<std::string> CommandLineAnswer(std::span<const char* const> args);

}  // namespace binconv::window::qt
