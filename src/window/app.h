#pragma once
// The program's run: start-up sequence, then the event loop.

#include <filesystem>

namespace binconv::window {

// Needs a QApplication. Builds the window and runs its start-up sequence with
// the tables of `dir`. If they can't be read, a modal message names the file,
// the line and the problem, the window never appears and the result is 1;
// otherwise the window is shown with the focus in the name box and the result
// is the event loop's.
int RunWindow(const std::filesystem::path& dir);

}  // namespace binconv::window
