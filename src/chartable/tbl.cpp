#include "chartable/tbl.h"

#include <algorithm>
#include <map>
#include <optional>

#include "chartable/encoding.h"
#include "chartable/load.h"
#include "runtime/compare.h"
#include "runtime/cp932.h"
#include "runtime/hex.h"
#include "runtime/result.h"
#include "runtime/text_file.h"
#include "runtime/utf16.h"
#include "runtime/utf8.h"

namespace binconv {
namespace {

// The text in the encoding; false when a character doesn't fit, with `bad`
// the first such.
bool Encode(std::u16string_view text, TblEncoding encoding, std::string& out) {
  if (encoding == TblEncoding::kUtf8) {
    for (const char16_t c : text) {
      if (IsHighSurrogate(c) || IsLowSurrogate(c)) return false;
    }
    AppendUtf8(text, out);
    return true;
  }
  for (const char16_t c : text) {
    if (!AppendCp932(c, out)) return false;
  }
  return true;
}

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

}  // namespace

TblExport ExportTbl(const CharTable& table, TblEncoding encoding) {
  const ProducibleCells cells(table);
  // Keyed by the code's bytes, so that the entries come in byte order.
  std::map<std::vector<std::uint8_t>, std::u16string> entries;
  entries[{kLineBreakByte}] = u"*24";
  entries[{kSpaceByte}] = u"50=\u3000";
  TblExport result;
  for (int index = 0; index < kCells; ++index) {
    const CellCode code = CellCode::FromIndex(index);
    const std::optional<char16_t> ch = cells.CharAt(code);
    if (!ch) continue;
    std::vector<std::uint8_t> key;
    if (code.page == 0) {
      if (IsReservedByte(code.byte())) {
        result.shadowed.push_back(code);
        continue;
      }
    } else {
      key.push_back(kLeadBytes[code.page]);
    }
    key.push_back(code.byte());
    std::u16string line;
    for (const std::uint8_t b : key) AppendHexByte(b, line);
    line.push_back(u'=');
    line.push_back(*ch);
    std::string ignored;
    if (!Encode(std::u16string(1, *ch), encoding, ignored)) {
      result.unwritable.push_back(code);
      continue;
    }
    entries[key] = std::move(line);
  }
  const std::string_view end = encoding == TblEncoding::kUtf8 ? "\n" : "\r\n";
  for (const auto& [key, line] : entries) {
    Encode(line, encoding, result.bytes);
    result.bytes.append(end);
  }
  return result;
}

namespace {

// An entry line as written: the bytes of its code and the value after "=".
struct TblEntry {
  std::vector<std::uint8_t> code;
  std::u16string_view value;
  bool line_break = false;  // "*24", which has no value
};

// Where an entry goes, keyed as ImportTbl counts duplicates: a cell's index,
// or these for the fixed line break and space.
constexpr int kLineBreakSlot = -1;
constexpr int kSpaceSlot = -2;

// The line in the file's encoding; nullopt when it is not valid UTF-8.
std::optional<std::u16string> DecodeTblLine(std::string_view raw, TblEncoding encoding) {
  if (encoding == TblEncoding::kCp932) return DecodeCp932(raw);
  auto decoded = DecodeUtf8(raw);
  if (!decoded) return std::nullopt;
  return std::move(decoded).value();
}

// The code, hex byte pairs up to "=" or "*24" for the line break, and the value.
Result<TblEntry, TblErrorCode> ParseTblEntry(std::u16string_view line) {
  TblEntry entry;
  const std::size_t equals = line.find(u'=');
  std::u16string_view digits = line.substr(0, equals);
  if (!digits.empty() && digits.front() == u'*' && equals == std::u16string_view::npos) {
    digits.remove_prefix(1);
    entry.line_break = true;
  } else if (equals == std::u16string_view::npos) {
    return Unexpected(TblErrorCode::kNotAnEntry);
  } else {
    entry.value = line.substr(equals + 1);
  }
  if (digits.empty() || digits.size() % 2 != 0) return Unexpected(TblErrorCode::kNotAnEntry);
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    const int high = HexValue(digits[i]);
    const int low = HexValue(digits[i + 1]);
    if (high < 0 || low < 0) return Unexpected(TblErrorCode::kNotAnEntry);
    entry.code.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return entry;
}

// The slot the entry fills, or why the grid can't hold it.
Result<int, TblErrorCode> SlotOfTblEntry(const TblEntry& entry) {
  const std::vector<std::uint8_t>& code = entry.code;
  if (entry.line_break) {
    if (code != std::vector<std::uint8_t>{kLineBreakByte}) {
      return Unexpected(TblErrorCode::kOtherLineBreak);
    }
    return kLineBreakSlot;
  }
  if (code.size() > 2) return Unexpected(TblErrorCode::kCodeTooLong);
  int page = 0;
  if (code.size() == 2) {
    page = PageOfLeadByte(code[0]);
    if (page == 0) return Unexpected(TblErrorCode::kOtherLeadByte);
  }
  const std::uint8_t byte = code.back();
  const std::u16string_view value = entry.value;
  if (page == 0 && byte == kSpaceByte && value.size() == 1 &&
      detail::ClassifySpecial(value[0]) == detail::Special::kSpace) {
    return kSpaceSlot;  // the fixed space, as export writes it
  }
  if (page == 0 && IsReservedByte(byte)) return Unexpected(TblErrorCode::kReservedByte);
  if (value.size() != 1) return Unexpected(TblErrorCode::kNotOneChar);
  if (!Storable(value[0])) return Unexpected(TblErrorCode::kUnstorable);
  const CellCode cell{static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(byte >> 4),
                      static_cast<std::uint8_t>(byte & 15)};
  return cell.index();
}

}  // namespace

TblImport ImportTbl(std::string_view bytes, TblEncoding encoding) {
  TblImport result;
  if (encoding == TblEncoding::kUtf8 && bytes.starts_with(kUtf8ByteOrderMark)) {
    bytes.remove_prefix(kUtf8ByteOrderMark.size());
  }
  std::map<int, std::size_t> seen;  // slot -> line
  std::size_t number = 0;
  std::string_view raw;
  while (TakeLine(bytes, raw)) {
    ++number;
    const std::optional<std::u16string> line = DecodeTblLine(raw, encoding);
    if (!line) {
      result.errors.push_back({TblErrorCode::kBadUtf8, number});
      continue;
    }
    if (line->find_first_not_of(u" \t") == std::u16string::npos) continue;
    auto error = [&](TblErrorCode code, std::size_t other = 0) {
      result.errors.push_back({code, number, other, *line});
    };
    const auto entry = ParseTblEntry(*line);
    if (!entry) {
      error(entry.error());
      continue;
    }
    const auto slot = SlotOfTblEntry(*entry);
    if (!slot) {
      error(slot.error());
      continue;
    }
    if (auto [it, fresh] = seen.emplace(*slot, number); !fresh) {
      error(TblErrorCode::kDuplicate, it->second);
      continue;
    }
    if (*slot < 0) continue;  // the fixed line break and space have no cell
    const CellCode cell = CellCode::FromIndex(*slot);
    result.table.SetCell(cell.page, cell.row, cell.column, std::u16string(entry->value),
                         CellOrigin{0, static_cast<std::uint32_t>(number), 0});
    ++result.placed;
  }
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
    if (Encode(text, TblEncoding::kCp932, bytes)) return bytes;
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
