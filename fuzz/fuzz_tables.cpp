// Arbitrary bytes as the two table files: they load, or the load stops with a
// typed error that names a line inside the file at fault. A loaded grid must
// hold what an independent reading of the lines puts there, and its index must
// agree with a plain scan of the cells.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "chartable/char_table.h"
#include "chartable/load.h"
#include "fuzz_support.h"
#include "messages/messages.h"
#include "runtime/compare.h"
#include "runtime/text_file.h"
#include "runtime/utf8.h"

namespace binconv::fuzz {
namespace {

// Splits the input into the main and the extended file.
constexpr std::string_view kSeparator = "\n%%%%\n";
constexpr char kMainName[] = "main.ini";
constexpr char kExtendedName[] = "extended.ini";

struct Cells {
  std::array<std::u16string, kCells> text;
  std::array<std::size_t, kCells> line{};  // 0 when no data line set the cell
};

// Lines as the loader sees them, counted independently of the line reader.
std::size_t CountLines(std::string_view bytes) {
  std::size_t lines = 0;
  std::size_t i = 0;
  while (i < bytes.size()) {
    ++lines;
    while (i < bytes.size() && bytes[i] != '\r' && bytes[i] != '\n') ++i;
    if (i < bytes.size())
      i += (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ? 2 : 1;
  }
  return lines;
}

std::string_view RawLine(std::string_view bytes, std::size_t number) {
  std::size_t i = 0;
  for (std::size_t current = 1;; ++current) {
    std::size_t end = i;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    if (current == number) return bytes.substr(i, end - i);
    if (end >= bytes.size()) return {};
    i = end + ((bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1);
  }
}

// The loading rules written out once more, plainly, as the oracle.
std::optional<Problem> ReadLikeTheRules(std::string_view bytes, const char* name, int first_page,
                                        int max_data_lines, Cells& cells) {
  LineReader reader(bytes);
  std::u16string line;
  int data_lines = 0;
  while (reader.Next(line)) {
    if (!line.empty() && FoldForTextCompare(line[0]) == u'/') continue;
    if (line.find_first_not_of(u' ') == std::u16string::npos) continue;
    if (data_lines == max_data_lines) {
      Problem error{ProblemCode::kTableManyLines, name, reader.line_number()};
      error.number = static_cast<std::uint64_t>(max_data_lines);
      return error;
    }
    std::vector<std::u16string> pieces(1);
    for (const char16_t c : line) {
      if (FoldForTextCompare(c) == u',') {
        pieces.emplace_back();
      } else {
        pieces.back() += c;
      }
    }
    if (pieces.size() < kMinFields) {
      Problem error{ProblemCode::kTableFewFields, name, reader.line_number()};
      error.number = pieces.size();
      error.other_number = kMinFields;
      return error;
    }
    const int page = first_page + data_lines / kRows;
    const int row = data_lines % kRows;
    for (int column = 0; column < kColumns; ++column) {
      std::u16string cell = pieces[static_cast<std::size_t>(column) + 1];
      while (!cell.empty() && cell.back() == u' ') cell.pop_back();
      cell.erase(0, std::min(cell.size(), cell.find_first_not_of(u' ')));
      const std::size_t at = static_cast<std::size_t>((page * kRows + row) * kColumns + column);
      cells.text[at] = std::move(cell);
      cells.line[at] = reader.line_number();
    }
    ++data_lines;
  }
  if (reader.bad_utf8()) {
    Problem error{reader.encoding() == TextEncoding::kUtf8Bom ? ProblemCode::kTableBadUtf8Marked
                                                              : ProblemCode::kTableBadUtf8,
                  name, reader.line_number()};
    error.column = reader.bad_utf8_column();
    return error;
  }
  return std::nullopt;
}

std::string Describe(const Problem& e) {
  return messages::Message(messages::Language::kEnglish, e) + " [code " +
         std::to_string(static_cast<int>(e.code)) + " line " + std::to_string(e.line) + " column " +
         std::to_string(e.column) + " number " + std::to_string(e.number) + " of " +
         std::to_string(e.other_number) + "]";
}

void CheckError(const Problem& error, std::string_view main, std::string_view extended) {
  const bool in_main = error.file == kMainName;
  FUZZ_CHECK(in_main || error.file == kExtendedName, Describe(error));
  const std::string_view bytes = in_main ? main : extended;
  FUZZ_CHECK(error.line >= 1 && error.line <= CountLines(bytes),
             Describe(error) + " in a file of " + std::to_string(CountLines(bytes)) + " lines");
  const std::string description = messages::Message(messages::Language::kEnglish, error);
  FUZZ_CHECK(description.starts_with(error.file + ":" + std::to_string(error.line) + ":"),
             description);
  switch (error.code) {
    case ProblemCode::kTableFewFields:
      FUZZ_CHECK(error.number >= 1 && error.number < kMinFields, Describe(error));
      break;
    case ProblemCode::kTableManyLines:
      FUZZ_CHECK(error.number == static_cast<std::uint64_t>(in_main ? kMainTableMaxDataLines
                                                                    : kExtendedTableMaxDataLines),
                 Describe(error));
      break;
    case ProblemCode::kTableBadUtf8:
    case ProblemCode::kTableBadUtf8Marked: {
      // Read as UTF-8: marked, or valid for a good many characters first.
      const bool marked = bytes.starts_with("\xEF\xBB\xBF");
      FUZZ_CHECK(marked == (error.code == ProblemCode::kTableBadUtf8Marked), Describe(error));
      if (!marked) {
        const auto whole = DecodeUtf8(bytes);
        FUZZ_CHECK(!whole.has_value(), Describe(error));
        const std::string_view valid = bytes.substr(0, whole.error().offset);
        const auto sequences = std::count_if(valid.begin(), valid.end(), [](char c) {
          return static_cast<unsigned char>(c) >= 0xC0;
        });
        FUZZ_CHECK(static_cast<std::size_t>(sequences) >= kDamagedUtf8Evidence, Describe(error));
      }
      std::string_view raw = RawLine(bytes, error.line);
      if (error.line == 1 && marked) raw.remove_prefix(3);
      const auto decoded = DecodeUtf8(raw);
      FUZZ_CHECK(!decoded.has_value(), Describe(error) + " line bytes " + Hex(raw));
      // The column counts the characters before the bad sequence, plus one.
      const std::u16string before = DecodeUtf8(raw.substr(0, decoded.error().offset)).value();
      const auto lows = std::count_if(before.begin(), before.end(),
                                      [](char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; });
      FUZZ_CHECK(before.size() - static_cast<std::size_t>(lows) + 1 == error.column,
                 Describe(error) + " line bytes " + Hex(raw));
      break;
    }
    default:
      FUZZ_CHECK(false, "no file is opened when loading from bytes: " + Describe(error));
  }
}

bool SameError(const Problem& a, const Problem& b) {
  return a.code == b.code && a.file == b.file && a.line == b.line && a.column == b.column &&
         a.number == b.number && a.other_number == b.other_number;
}

void CheckIndex(const CharTable& table) {
  static std::array<std::uint16_t, 0x10000> first;
  first.fill(0xFFFF);
  for (int at = kCells - 1; at >= 0; --at) {
    const std::u16string& cell =
        table.Cell(at / (kRows * kColumns), at / kColumns % kRows, at % kColumns);
    if (cell.size() == 1) first[cell[0]] = static_cast<std::uint16_t>(at);
  }
  for (std::size_t ch = 0; ch < first.size(); ++ch) {
    const std::optional<CellCode> found = table.Find(static_cast<char16_t>(ch));
    const int expected = first[ch] == 0xFFFF ? -1 : first[ch];
    const int got = found ? found->index() : -1;
    FUZZ_CHECK(expected == got, "Find(U+" + Hex(std::u16string(1, static_cast<char16_t>(ch))) +
                                    ") gives cell " + std::to_string(got) + ", the scan " +
                                    std::to_string(expected));
  }
}

}  // namespace
}  // namespace binconv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace binconv;
  using namespace binconv::fuzz;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find(kSeparator);
  const std::string_view main = input.substr(0, cut);
  const std::string_view extended =
      cut == std::string_view::npos ? std::string_view() : input.substr(cut + kSeparator.size());

  const auto loaded = LoadCharTablesFromBytes(main, extended, kMainName, kExtendedName);

  Cells expected;
  std::optional<Problem> expected_error =
      ReadLikeTheRules(main, kMainName, 0, kMainTableMaxDataLines, expected);
  if (!expected_error) {
    expected_error =
        ReadLikeTheRules(extended, kExtendedName, kPages - 1, kExtendedTableMaxDataLines, expected);
  }

  if (!loaded) {
    CheckError(loaded.error(), main, extended);
    FUZZ_CHECK(expected_error && SameError(*expected_error, loaded.error()),
               "loader: " + Describe(loaded.error()) +
                   "\nrules:  " + (expected_error ? Describe(*expected_error) : "loads"));
    return 0;
  }
  FUZZ_CHECK(!expected_error, "loader: loads\nrules:  " + Describe(*expected_error));
  const CharTable& table = loaded.value();
  for (int at = 0; at < kCells; ++at) {
    const int page = at / (kRows * kColumns);
    const int row = at / kColumns % kRows;
    const int column = at % kColumns;
    const std::size_t i = static_cast<std::size_t>(at);
    FUZZ_CHECK(table.Cell(page, row, column) == expected.text[i],
               "cell " + std::to_string(at) + ": loader " + Hex(table.Cell(page, row, column)) +
                   " rules " + Hex(expected.text[i]));
    FUZZ_CHECK(table.Origin(page, row, column).line == expected.line[i],
               "cell " + std::to_string(at) + " origin line " +
                   std::to_string(table.Origin(page, row, column).line) + " rules " +
                   std::to_string(expected.line[i]));
  }
  CheckIndex(table);
  return 0;
}
