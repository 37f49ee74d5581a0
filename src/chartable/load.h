#pragma once
// Fills a CharTable from the main table file (pages 0 on) and the extended
// table file (page 5).

#include <array>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "chartable/char_table.h"
#include "runtime/file.h"
#include "runtime/problem.h"
#include "runtime/result.h"
#include "runtime/text_file.h"

namespace binconv {

inline constexpr char kMainTableFile[] = "Zezovar.ini";
inline constexpr char kExtendedTableFile[] = "Zezovar_ex.ini";
inline constexpr int kMainTableMaxDataLines = 96;
inline constexpr int kExtendedTableMaxDataLines = 16;
inline constexpr std::size_t kMinFields = 17;

// A table file in `dir` as messages name it: the bare name in the current
// folder.
std::string TablePath(const std::filesystem::path& dir, const char* name);

// Reads both files from `dir`. A file that does not load gives the problem
// of its first fault (kTableUnreadable to kTableBadUtf8Marked), its file the
// path as opened: kTableBadUtf8 and kTableBadUtf8Marked for a file read as
// UTF-8 (see DetectTextEncoding) that holds a bad sequence.
Result<CharTable, Problem> LoadCharTables(const std::filesystem::path& dir);

// The tables with the encoding each file was read in, for the tools that say so.
struct LoadedTables {
  CharTable table;
  std::array<TextEncoding, 2> encodings{};  // the main file's, then the extended file's
};
Result<LoadedTables, Problem> LoadTableFiles(const std::filesystem::path& dir);

// The same from bytes already in memory; the names only label errors.
Result<CharTable, Problem> LoadCharTablesFromBytes(
    std::string_view main_bytes, std::string_view extended_bytes,
    std::string_view main_name = kMainTableFile,
    std::string_view extended_name = kExtendedTableFile);

}  // namespace binconv
