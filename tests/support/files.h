#pragma once
// Files and scratch folders for tests, and the repository's default tables.

#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "chartable/char_table.h"
#include "codec/string_end.h"

namespace binconv::test {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path);
void WriteAll(const fs::path& path, std::string_view bytes);

// The folder of the repository's two table files.
fs::path DefaultTablesDir();
// Those tables, loaded once; a load error throws.
const CharTable& DefaultTables();
// The same tables compiled into the encoding the jobs take, once.
const GameTable& DefaultEncoding();

// A fresh, empty folder, removed with all it holds (made writable first).
// Setup errors throw, which fails the test that made it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const fs::path& path() const { return root_; }
  // Names of the entries of path()/sub.
  std::set<std::string> Names(const fs::path& sub = {}) const;

 private:
  fs::path root_;
};

// For runs of binconv-cli: work/ is the program's current folder and holds a
// copy of the default tables; io/ keeps the captured streams out of it.
class Scratch : public ScratchDir {
 public:
  Scratch();
  fs::path work() const { return path() / "work"; }
  fs::path io() const { return path() / "io"; }
  // Names in work/, the tables included.
  std::set<std::string> Names() const { return ScratchDir::Names("work"); }
};

}  // namespace binconv::test
