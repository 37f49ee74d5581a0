#include "support/files.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "chartable/load.h"
#include "messages/messages.h"
#include "support/temp_dir.h"

namespace binconv::test {

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("can't write " + path.string());
}

fs::path DefaultTablesDir() { return fs::path(BINCONV_SOURCE_DIR) / "tables"; }

const CharTable& DefaultTables() {
  static const CharTable table = [] {
    auto loaded = LoadCharTables(DefaultTablesDir());
    if (!loaded)
      throw std::runtime_error(messages::Message(messages::Language::kEnglish, loaded.error()));
    return std::move(loaded).value();
  }();
  return table;
}

const GameTable& DefaultEncoding() {
  static const GameTable codec = GameTableOf(DefaultTables());
  return codec;
}

ScratchDir::ScratchDir() {
  root_ = MakeTempDir("binconv-test");
  if (root_.empty()) throw std::runtime_error("can't make a scratch folder");
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(root_, ignored);
}

std::set<std::string> ScratchDir::Names(const fs::path& sub) const {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(root_ / sub)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

Scratch::Scratch() {
  fs::create_directory(work());
  fs::create_directory(io());
  for (const char* name : {kMainTableFile, kExtendedTableFile}) {
    fs::copy_file(DefaultTablesDir() / name, work() / name);
  }
}

}  // namespace binconv::test
