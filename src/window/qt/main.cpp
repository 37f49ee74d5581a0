#include <QApplication>
#include <cstdio>
#include <span>

#include "window/qt/app.h"

int main(int argc, char* argv[]) {
  // Answered before Qt starts, so that they work without a display.
  // (A program may be started with no arguments at all, not even its name.)
  const std::span<const char* const> args =
      argc > 1 ? std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc - 1))
               : std::span<const char* const>();
  if (auto answer = binconv::window::qt::CommandLineAnswer(args)) {
    const bool written = std::fputs(answer->c_str(), stdout) >= 0;
    return std::fflush(stdout) == 0 && written ? 0 : 1;
  }
  // Qt takes its own options (-platform, -style…) out of argc and argv.
  QApplication app(argc, argv);
  QGuiApplication::setDesktopFileName(QStringLiteral(BINCONV_APP_ID));
  return binconv::window::qt::RunWindow(
      argc > 1 ? std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc - 1))
               : std::span<const char* const>());
}
