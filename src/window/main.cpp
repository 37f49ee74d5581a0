#include <QApplication>
#include <filesystem>

#include "window/app.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  std::error_code ignored;
  std::filesystem::path dir = std::filesystem::current_path(ignored);
  if (dir.empty()) dir = ".";
  return binconv::window::RunWindow(dir);
}
