#include "chartable/tbl_grid.h"

#include <algorithm>
#include <map>

#include "chartable/encoding.h"
#include "chartable/load.h"
#include "runtime/compare.h"
#include "runtime/cp932.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"

namespace binconv {
namespace {

// Whether a table file can hold `ch` as a cell: the loader splits at commas
// (by TextCompare), trims spaces and splits lines.
bool Storable(char16_t ch) {
  return !TextEqual(ch, u',') && ch != u' ' && ch != u'\r' && ch != u'\n';
}

// `text` with every control character (and the Unicode line and paragraph
// separators) written as \xNN or \uNNNN, so that it stays on one comment line.
std::u16string OnOneLine(std::u16string_view text) {
  std::u16string out;
  for (const char16_t ch : text) {
    const bool control = ch < 0x20 || (ch >= 0x7F && ch < 0xA0);
    if (!control && ch != u'\u2028' && ch != u'\u2029') {
      out.push_back(ch);
      continue;
    }
    const bool byte = ch < 0x100;
    out += byte ? u"\\x" : u"\\u";
    AppendHex(ch, byte ? 2 : 4, out);
  }
  return out;
}

// The fixed line break and space, which are the encoding's own and take no cell.
constexpr int kNoCell = -1;

// The cell a code fills, kNoCell for the fixed line break and space, or why
// the grid can't hold it.
Result<int, ProblemCode> CellOf(const GameCode& code) {
  const CodeBytes& bytes = code.bytes;
  if (code.kind == GameCodeKind::kLineBreak && code.text.empty()) {
    if (bytes != CodeBytes{kLineBreakByte}) {
      return Unexpected(ProblemCode::kGridOtherBreak);
    }
    return kNoCell;
  }
  if (code.kind != GameCodeKind::kText) return Unexpected(ProblemCode::kGridNotAnEntry);
  if (bytes.size() > 2) return Unexpected(ProblemCode::kGridCodeTooLong);
  int page = 0;
  if (bytes.size() == 2) {
    page = PageOfLeadByte(bytes[0]);
    if (page == 0) return Unexpected(ProblemCode::kGridNoLeadByte);
  }
  const std::uint8_t byte = bytes.back();
  const std::u16string_view text = code.text;
  if (page == 0 && byte == kSpaceByte && text.size() == 1 &&
      detail::ClassifySpecial(text[0]) == detail::Special::kSpace) {
    return kNoCell;  // the fixed space, as export writes it
  }
  if (page == 0 && IsReservedByte(byte)) return Unexpected(ProblemCode::kGridReservedByte);
  if (text.size() != 1) return Unexpected(ProblemCode::kGridNotOneChar);
  if (!Storable(text[0])) return Unexpected(ProblemCode::kGridUnstorable);
  return CellCode{static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(byte >> 4),
                  static_cast<std::uint8_t>(byte & 15)}
      .index();
}

// A problem of reading as the grid sees it: a line the grid can't take, or
// nothing at all for a code a control code hides, as the grid holds none.
std::optional<ProblemCode> AsGridProblem(ProblemCode code) {
  switch (code) {
    case ProblemCode::kTblNotAnEntry:
    case ProblemCode::kTblBadCode:
    case ProblemCode::kTblEmptyCode:
    case ProblemCode::kTblBadParams:
    case ProblemCode::kTblSwitch:
      return ProblemCode::kGridNotAnEntry;
    case ProblemCode::kTblCodeTooLong:
      return ProblemCode::kGridCodeTooLong;
    case ProblemCode::kTblUnreachable:
      return std::nullopt;
    default:
      return code;  // kBadUtf8, kTblDuplicateCode
  }
}

}  // namespace

TblExport ExportTbl(const CharTable& table, TblEncoding encoding) {
  const ProducibleCells cells(table);
  // Keyed by the code's bytes, so that the entries come in byte order; the
  // cell, kNoCell for the fixed ones.
  std::map<std::vector<std::uint8_t>, std::pair<GameCode, int>> entries;
  entries[{kLineBreakByte}] = {GameCode{{kLineBreakByte}, GameCodeKind::kLineBreak, u""}, kNoCell};
  entries[{kSpaceByte}] = {GameCode{{kSpaceByte}, GameCodeKind::kText, u"\u3000"}, kNoCell};
  TblExport result;
  for (int index = 0; index < kCells; ++index) {
    const CellCode cell = CellCode::FromIndex(index);
    const std::optional<char16_t> ch = cells.CharAt(cell);
    if (!ch) continue;
    std::vector<std::uint8_t> bytes;
    if (cell.page != 0) {
      bytes.push_back(kLeadBytes[cell.page]);
    } else if (IsReservedByte(cell.byte())) {
      result.shadowed.push_back(cell);
      continue;
    }
    bytes.push_back(cell.byte());
    entries[bytes] = {GameCode{bytes, GameCodeKind::kText, std::u16string(1, *ch)}, index};
  }
  std::vector<GameCode> codes;
  std::vector<int> cell_of;
  for (auto& [bytes, entry] : entries) {
    codes.push_back(std::move(entry.first));
    cell_of.push_back(entry.second);
  }
  TblWritten written = WriteTbl(codes, encoding);
  if (!written.unwritable.empty()) {
    // The rest still go, for a caller that wants them.
    for (auto i = written.unwritable.rbegin(); i != written.unwritable.rend(); ++i) {
      result.unwritable.push_back(CellCode::FromIndex(cell_of[*i]));
      codes.erase(codes.begin() + static_cast<std::ptrdiff_t>(*i));
    }
    std::sort(result.unwritable.begin(), result.unwritable.end(),
              [](CellCode a, CellCode b) { return a.index() < b.index(); });
    written = WriteTbl(codes, encoding);
  }
  result.bytes = std::move(written.bytes);
  return result;
}

GridFit FitToGrid(std::span<const GameCode> codes, std::string_view file) {
  GridFit fit;
  for (const GameCode& code : codes) {
    const auto cell = CellOf(code);
    if (!cell) {
      Problem problem{cell.error()};
      problem.file = std::string(file);
      problem.line = code.line;
      problem.what = TblEntryOf(code);
      fit.problems.push_back(std::move(problem));
      continue;
    }
    if (*cell == kNoCell) continue;
    const CellCode at = CellCode::FromIndex(*cell);
    fit.table.SetCell(at.page, at.row, at.column, code.text,
                      CellOrigin{0, static_cast<std::uint32_t>(code.line), 0});
    ++fit.placed;
  }
  return fit;
}

TblImport ImportTbl(std::string_view bytes, std::string_view file, TblEncoding encoding) {
  TblRead read = ReadTbl(bytes, file, encoding);
  TblImport result{FitToGrid(read.codes, file)};
  std::vector<Problem>& problems = result.fit.problems;
  // A cell holds one text: a second one for a code is left out, and said.
  for (const GameTextAlias& alias : read.aliases) {
    Problem problem{ProblemCode::kTblDuplicateCode};
    problem.file = std::string(file);
    problem.line = alias.line;
    problem.other_line = read.codes[alias.code].line;
    problem.what = TblEntryOf(EntryOf(read.codes, alias));
    problems.push_back(std::move(problem));
  }
  for (Problem& problem : read.problems) {
    const std::optional<ProblemCode> code = AsGridProblem(problem.code);
    if (!code) continue;
    problem.code = *code;
    problems.push_back(std::move(problem));
  }
  SortByLine(problems);
  if (!problems.empty()) result.game_table = ReadTbl(bytes, file).problems.empty();
  return result;
}

namespace {
constexpr std::string_view kStampMark = " stamp ";
}  // namespace

std::optional<std::string> ImportStampOf(std::string_view bytes) {
  if (bytes.starts_with(kUtf8ByteOrderMark)) bytes.remove_prefix(kUtf8ByteOrderMark.size());
  bytes = bytes.substr(0, bytes.find_first_of("\r\n"));
  if (bytes.find("made by binconv-cli import-tbl from ") == std::string_view::npos) {
    return std::nullopt;
  }
  const std::size_t mark = bytes.rfind(kStampMark);
  if (mark == std::string_view::npos) return std::nullopt;
  return std::string(bytes.substr(mark + kStampMark.size()));
}

TableFiles WriteTableFiles(const CharTable& table, std::u16string_view source,
                           std::string_view stamp) {
  auto write = [&](int first_page, int pages, std::u16string_view file) {
    std::u16string text;
    text += u"/ ";
    text += file;
    text += u": made by binconv-cli import-tbl from ";
    text += OnOneLine(source);
    if (!stamp.empty()) {
      for (const char c : kStampMark) text.push_back(static_cast<char16_t>(c));
      for (const char c : stamp) text.push_back(static_cast<char16_t>(c));
    }
    text +=
        u"\r\n/ Each data line is a label and the 16 cells of one row; 16 rows make a page.\r\n";
    for (int page = first_page; page < first_page + pages; ++page) {
      text += u"/ page " + std::u16string(1, static_cast<char16_t>(u'0' + page)) + u"\r\n";
      for (int row = 0; row < kRows; ++row) {
        text.push_back(static_cast<char16_t>(u'0' + page));
        text.push_back(HexDigits[row]);
        for (int column = 0; column < kColumns; ++column) {
          text.push_back(u',');
          text += table.Cell(page, row, column);
        }
        text += u"\r\n";
      }
    }
    std::string bytes;
    const bool cp932 =
        std::all_of(text.begin(), text.end(), [&](char16_t c) { return AppendCp932(c, bytes); });
    if (cp932) return bytes;
    bytes.assign(kUtf8ByteOrderMark);
    AppendUtf8(text, bytes);
    return bytes;
  };
  const std::u16string main_name(kMainTableFile, kMainTableFile + sizeof kMainTableFile - 1);
  const std::u16string ex_name(kExtendedTableFile,
                               kExtendedTableFile + sizeof kExtendedTableFile - 1);
  return {write(0, kPages - 1, main_name), write(kPages - 1, 1, ex_name)};
}

}  // namespace binconv
