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

enum class TableErrorCode {
  kCannotOpen,        // missing or unreadable file; reason says why
  kTooFewFields,      // a data line with fewer than 17 fields
  kTooManyDataLines,  // a data line that would land past page 5
  kInvalidUtf8,       // a file read as UTF-8 (see DetectTextEncoding) holds a bad sequence
};

struct TableError {
  TableErrorCode code;
  std::string file;                           // the path as opened, UTF-8
  std::size_t line = 0;                       // 1-based; 0 when the file could not be opened
  std::size_t column = 0;                     // 1-based, for kInvalidUtf8; 0 otherwise
  std::size_t fields = 0;                     // fields found, for kTooFewFields
  std::size_t limit = 0;                      // data lines the file may hold, for kTooManyDataLines
  std::string reason{};                       // system reason, for kCannotOpen
  IoErrorCode io_code = IoErrorCode::kOther;  // what kind of failure, for kCannotOpen
  int system_error = 0;                       // the system's error number, for kCannotOpen
  TextEncoding encoding = TextEncoding::kCp932;  // how the file was read, for kInvalidUtf8
};

// Reads both files from `dir`.
Result<CharTable, TableError> LoadCharTables(const std::filesystem::path& dir);

// The tables with the encoding each file was read in, for the tools that say so.
struct LoadedTables {
  CharTable table;
  std::array<TextEncoding, 2> encodings{};  // the main file's, then the extended file's
};
Result<LoadedTables, TableError> LoadTableFiles(const std::filesystem::path& dir);

// The same from bytes already in memory; the names only label errors.
Result<CharTable, TableError> LoadCharTablesFromBytes(
    std::string_view main_bytes, std::string_view extended_bytes,
    std::string_view main_name = kMainTableFile,
    std::string_view extended_name = kExtendedTableFile);

}  // namespace binconv
