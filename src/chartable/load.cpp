#include "chartable/load.h"

#include <string>
#include <vector>

#include "runtime/compare.h"
#include "runtime/file.h"
#include "runtime/strings.h"
#include "runtime/text_file.h"
#include "runtime/utf16.h"

namespace binconv {
namespace {

struct TableFile {
  std::string_view bytes;
  std::string name;
  std::uint8_t id;     // CellOrigin::file
  int first_page;      // where its first data line lands
  int max_data_lines;  // data lines it may hold before running past page 5
};

bool IsCommentLine(std::u16string_view line) { return !line.empty() && TextEqual(line[0], u'/'); }

// Fills the file's pages; returns the encoding the file was read in.
Result<TextEncoding, Problem> ReadTableFile(const TableFile& file, CharTable& table) {
  LineReader reader(file.bytes);
  std::u16string line;
  int data_lines = 0;
  while (reader.Next(line)) {
    if (IsCommentLine(line) || Trim(line).empty()) continue;
    if (data_lines == file.max_data_lines) {
      Problem error{ProblemCode::kTableManyLines, file.name, reader.line_number()};
      error.number = static_cast<std::uint64_t>(file.max_data_lines);
      return Unexpected(std::move(error));
    }
    // Only pieces 1 to 16 are stored; a line with more keeps none of the rest,
    // and one with fewer has them all, so the count in the error is exact.
    const std::vector<std::u16string_view> pieces = Split(line, u",", kMinFields);
    if (pieces.size() < kMinFields) {
      Problem error{ProblemCode::kTableFewFields, file.name, reader.line_number()};
      error.number = pieces.size();
      error.other_number = kMinFields;
      return Unexpected(std::move(error));
    }
    const int page = file.first_page + data_lines / kRows;
    const int row = data_lines % kRows;
    for (int column = 0; column < kColumns; ++column) {
      const std::u16string_view piece = pieces[column + 1];
      const std::u16string_view cell = Trim(piece);
      const std::size_t start =
          static_cast<std::size_t>(cell.data() - line.data()) + (cell.empty() ? piece.size() : 0);
      table.SetCell(page, row, column, std::u16string(cell),
                    CellOrigin{file.id, static_cast<std::uint32_t>(reader.line_number()),
                               static_cast<std::uint32_t>(ColumnOf(line, start))});
    }
    ++data_lines;
  }
  if (reader.bad_utf8()) {
    // Why the file was taken for UTF-8: its mark, or the valid text before.
    Problem error{reader.encoding() == TextEncoding::kUtf8Bom ? ProblemCode::kTableBadUtf8Marked
                                                              : ProblemCode::kTableBadUtf8,
                  file.name, reader.line_number()};
    error.column = reader.bad_utf8_column();
    return Unexpected(std::move(error));
  }
  return reader.encoding();
}

// Why, without what only a write can add (a file not put back, read-only).
Problem CannotOpen(const std::string& path, const IoError& io) {
  Problem error{ProblemCode::kTableUnreadable, path};
  error.io =
      IoError{io.code, path, io.system_error, io.reason, io.detail, io.first, io.last, io.size};
  error.io->part = io.part;
  return error;
}

}  // namespace

std::string TablePath(const std::filesystem::path& dir, const char* name) {
  if (dir.empty() || dir == ".") return name;
  return PathToUtf8(dir / name);
}

namespace {

TableFile MainFile(std::string_view bytes, std::string_view name) {
  return {bytes, std::string(name), 0, 0, kMainTableMaxDataLines};
}

TableFile ExtendedFile(std::string_view bytes, std::string_view name) {
  return {bytes, std::string(name), 1, kPages - 1, kExtendedTableMaxDataLines};
}

}  // namespace

Result<CharTable, Problem> LoadCharTablesFromBytes(std::string_view main_bytes,
                                                   std::string_view extended_bytes,
                                                   std::string_view main_name,
                                                   std::string_view extended_name) {
  CharTable table;
  if (auto read = ReadTableFile(MainFile(main_bytes, main_name), table); !read) {
    return Unexpected(std::move(read).error());
  }
  if (auto read = ReadTableFile(ExtendedFile(extended_bytes, extended_name), table); !read) {
    return Unexpected(std::move(read).error());
  }
  return table;
}

Result<CharTable, Problem> LoadCharTables(const std::filesystem::path& dir) {
  auto loaded = LoadTableFiles(dir);
  if (!loaded) return Unexpected(loaded.error());
  return std::move(loaded).value().table;
}

Result<LoadedTables, Problem> LoadTableFiles(const std::filesystem::path& dir) {
  // The main file is read and checked before the extended one is opened, so
  // the first fault in reading order is the one reported.
  LoadedTables loaded;
  CharTable& table = loaded.table;
  constexpr std::array<std::pair<const char*, TableFile (*)(std::string_view, std::string_view)>, 2>
      kFiles{{{kMainTableFile, &MainFile}, {kExtendedTableFile, &ExtendedFile}}};
  for (std::size_t i = 0; i < kFiles.size(); ++i) {
    const std::string path = TablePath(dir, kFiles[i].first);
    Result<std::string, IoError> bytes = ReadFileBytes(PathFromUtf8(path));
    if (!bytes) return Unexpected(CannotOpen(path, bytes.error()));
    auto read = ReadTableFile(kFiles[i].second(bytes.value(), path), table);
    if (!read) return Unexpected(std::move(read).error());
    loaded.encodings[i] = *read;
  }
  return loaded;
}

}  // namespace binconv
