#include "chartable/tbl.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <utility>

#include "runtime/cp932.h"
#include "runtime/hex.h"
#include "runtime/text_file.h"
#include "runtime/utf16.h"
#include "runtime/utf8.h"

namespace binconv {
namespace {

Problem TblProblem(ProblemCode code, std::string_view file, std::size_t line,
                   std::string what = {}) {
  Problem problem{code};
  problem.file = std::string(file);
  problem.line = line;
  problem.what = std::move(what);
  return problem;
}

// The bytes of a code written as hex digit pairs, either case.
Result<std::vector<std::uint8_t>, ProblemCode> ParseCodeBytes(std::u16string_view digits) {
  if (digits.empty()) return Unexpected(ProblemCode::kTblEmptyCode);
  const bool all_hex =
      std::all_of(digits.begin(), digits.end(), [](char16_t c) { return HexValue(c) >= 0; });
  if (!all_hex || digits.size() % 2 != 0) return Unexpected(ProblemCode::kTblBadCode);
  if (digits.size() > 2 * kMaxGameCodeBytes) return Unexpected(ProblemCode::kTblCodeTooLong);
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(HexValue(digits[i]) * 16 + HexValue(digits[i + 1])));
  }
  return bytes;
}

// N of a control code's "LABEL,N": decimal, at most kMaxControlParams.
std::optional<std::uint8_t> ParseParamCount(std::u16string_view digits) {
  if (digits.empty() || digits.size() > 2) return std::nullopt;
  std::size_t n = 0;
  for (const char16_t c : digits) {
    if (c < u'0' || c > u'9') return std::nullopt;
    n = n * 10 + static_cast<std::size_t>(c - u'0');
  }
  if (n > kMaxControlParams) return std::nullopt;
  return static_cast<std::uint8_t>(n);
}

constexpr std::string_view kKindMarks[] = {"", "/", "*", "$"};

// The kind mark before the code, which the mark's character names.
GameCodeKind KindOfMark(char16_t mark) {
  for (std::size_t kind = 1; kind < std::size(kKindMarks); ++kind) {
    if (mark == static_cast<char16_t>(kKindMarks[kind][0])) return static_cast<GameCodeKind>(kind);
  }
  return GameCodeKind::kText;
}

// "\n" and "\r" in an entry's text are line breaks, held as U+000A, as most
// tables write them; "\\" is a backslash, and any other backslash is itself.
// Breaks may only end the text: one within it has no place in the model.
Result<std::u16string, ProblemCode> UnescapeText(std::u16string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t next = i + 1 < text.size() ? text[i + 1] : u'\0';
    if (text[i] == u'\\' && (next == u'n' || next == u'r' || next == u'\\')) {
      out += next == u'\\' ? u'\\' : u'\n';
      ++i;
    } else {
      if (out.ends_with(u'\n')) return Unexpected(ProblemCode::kTblBreakInText);
      out += text[i];
    }
  }
  return out;
}

// One entry line (not blank, a comment or a table id) as a code.
Result<GameCode, ProblemCode> ParseEntry(std::u16string_view line) {
  if (line.front() == u'!') return Unexpected(ProblemCode::kTblSwitch);
  GameCode code;
  code.kind = KindOfMark(line.front());
  if (code.kind != GameCodeKind::kText) line.remove_prefix(1);
  // Everything after the first "=" is the text, so "=" can be in it.
  const std::size_t equals = line.find(u'=');
  const bool has_text = equals != std::u16string_view::npos;
  const std::u16string_view text = has_text ? line.substr(equals + 1) : std::u16string_view{};
  auto bytes = ParseCodeBytes(line.substr(0, equals));
  if (!bytes) return Unexpected(bytes.error());
  code.bytes = std::move(bytes).value();
  if (code.kind == GameCodeKind::kText && !has_text) {
    return Unexpected(ProblemCode::kTblNotAnEntry);
  }
  if (code.kind != GameCodeKind::kControl) {
    auto unescaped = UnescapeText(text);
    if (!unescaped) return Unexpected(unescaped.error());
    code.text = std::move(unescaped).value();
    // HEX=TEXT\n is *HEX=TEXT: the text, then a line break.
    if (code.kind == GameCodeKind::kText && code.text.ends_with(u'\n')) {
      code.kind = GameCodeKind::kLineBreak;
      code.text.pop_back();
    }
    return code;
  }
  const std::size_t comma = text.rfind(u',');
  if (comma == std::u16string_view::npos) return Unexpected(ProblemCode::kTblBadParams);
  const std::optional<std::uint8_t> params = ParseParamCount(text.substr(comma + 1));
  if (!params) return Unexpected(ProblemCode::kTblBadParams);
  if (comma == 0) return Unexpected(ProblemCode::kTblNoLabel);
  code.text = std::u16string(text.substr(0, comma));
  code.params = *params;
  return code;
}

// Lines the format skips: blank, a comment, or the table's id.
bool IsSkipped(std::u16string_view line) {
  if (line.find_first_not_of(u" \t") == std::u16string_view::npos) return true;
  return line.starts_with(u"#") || line.starts_with(u";") || line.starts_with(u"//") ||
         line.starts_with(u"@");
}

// A second entry for a code, which is left out, and a code no bytes can reach
// because a control code is its start: the control always wins and takes the
// bytes after it.
// UTF-16 bytes (without their byte order mark) as UTF-8. Half a surrogate
// pair or a last odd byte becomes U+FFFD, which no table means: the entry
// then reads as another text, and a check or a listing shows it.
std::string Utf8OfUtf16Bytes(std::string_view bytes, bool big_endian) {
  std::u16string text;
  text.reserve(bytes.size() / 2 + 1);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto a = static_cast<std::uint8_t>(bytes[i]);
    const auto b = static_cast<std::uint8_t>(bytes[i + 1]);
    text += static_cast<char16_t>(big_endian ? a << 8 | b : b << 8 | a);
  }
  if (bytes.size() % 2 != 0) text += u'\uFFFD';
  return EncodeUtf8(text);
}

// Whether a second entry for a code is another text for it: both plain texts.
bool IsAnotherText(const GameCode& first, const GameCode& second) {
  return first.kind == GameCodeKind::kText && second.kind == GameCodeKind::kText;
}

void CheckCodes(std::vector<GameCode>& codes, std::vector<GameTextAlias>& aliases,
                std::string_view file, std::vector<Problem>& problems) {
  using detail::CodeBytesBefore;
  // The codes' places, sorted so that a code's entries lie together, the
  // first in the file first: a few bytes a code, however large the table.
  std::vector<std::uint32_t> order(codes.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return CodeBytesBefore(codes[a].bytes, codes[b].bytes);
  });
  std::vector<bool> repeated(codes.size(), false);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> texts;  // second entry, first
  std::size_t first = 0;  // of the entries of the code at i
  for (std::size_t i = 1; i < order.size(); ++i) {
    if (codes[order[i]].bytes != codes[order[first]].bytes) {
      first = i;
      continue;
    }
    const GameCode& code = codes[order[i]];
    repeated[order[i]] = true;
    if (IsAnotherText(codes[order[first]], code)) {
      texts.emplace_back(order[i], order[first]);
      continue;
    }
    problems.push_back(
        TblProblem(ProblemCode::kTblDuplicateCode, file, code.line, TblEntryOf(code)));
    problems.back().other_line = codes[order[first]].line;
  }
  order = {};
  std::sort(texts.begin(), texts.end());  // in file order
  const std::size_t aliases_before = aliases.size();
  for (const auto& [second, first_entry] : texts) {
    aliases.push_back({std::move(codes[second].text), first_entry, codes[second].line});
  }
  std::vector<std::uint32_t> moved_to(codes.size());
  std::uint32_t at = 0;
  for (std::uint32_t i = 0; i < codes.size(); ++i) {
    moved_to[i] = at;
    if (repeated[i]) continue;
    if (at != i) codes[at] = std::move(codes[i]);
    ++at;
  }
  codes.resize(at);
  for (std::size_t i = aliases_before; i < aliases.size(); ++i) {
    aliases[i].code = moved_to[aliases[i].code];
  }
  // The controls' bytes, which stay where they are from here on, and lines.
  using Control = std::pair<std::span<const std::uint8_t>, std::size_t>;
  std::vector<Control> controls;
  for (const GameCode& code : codes) {
    if (code.kind == GameCodeKind::kControl) controls.emplace_back(code.bytes, code.line);
  }
  const auto before = [](const Control& a, const Control& b) {
    return CodeBytesBefore(a.first, b.first);
  };
  std::sort(controls.begin(), controls.end(), before);
  if (controls.empty()) return;
  for (const GameCode& code : codes) {
    for (std::size_t length = 1; length < code.bytes.size(); ++length) {
      const Control start{std::span(code.bytes).first(length), 0};
      const auto control = std::lower_bound(controls.begin(), controls.end(), start, before);
      if (control == controls.end() || !std::ranges::equal(control->first, start.first)) continue;
      problems.push_back(
          TblProblem(ProblemCode::kTblUnreachable, file, code.line, TblEntryOf(code)));
      problems.back().other_line = control->second;
      break;
    }
  }
}

// Appends `text` in the encoding, its line breaks as "\n" and a backslash
// that would read as one as "\\"; false when a character doesn't fit (in
// UTF-8, half a surrogate pair) or is a CR, which would split the entry.
bool AppendText(std::u16string_view text, TblEncoding encoding, std::string& out, bool escape) {
  std::u16string escaped;
  for (std::size_t i = 0; escape && i < text.size(); ++i) {
    const char16_t next = i + 1 < text.size() ? text[i + 1] : u'\0';
    if (text[i] == u'\n') {
      escaped += u"\\n";
    } else if (text[i] == u'\\' && (next == u'n' || next == u'r' || next == u'\\')) {
      escaped += u"\\\\";
    } else {
      escaped += text[i];
    }
  }
  if (escape) text = escaped;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r' || c == u'\n') return false;
    if (encoding == TblEncoding::kCp932) {
      if (!AppendCp932(c, out)) return false;
    } else if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      ++i;
    } else if (IsSurrogate(c)) {
      return false;
    }
  }
  if (encoding == TblEncoding::kUtf8) AppendUtf8(text, out);
  return true;
}

// Appends the code's entry, without a line end; false when its text can't
// be written (AppendText).
bool AppendEntry(const GameCode& code, TblEncoding encoding, std::string& tbl) {
  tbl += kKindMarks[static_cast<std::size_t>(code.kind)];
  for (const std::uint8_t b : code.bytes) AppendHexByte(b, tbl);
  // An end or line break reads the same with "=" and nothing after it.
  const bool bare = code.text.empty() &&
                    (code.kind == GameCodeKind::kEnd || code.kind == GameCodeKind::kLineBreak);
  if (!bare) tbl += '=';
  // A control without a label would not read back.
  // A control's label is read as it stands.
  const bool written = AppendText(code.text, encoding, tbl, code.kind != GameCodeKind::kControl) &&
                       !(code.kind == GameCodeKind::kControl && code.text.empty());
  if (code.kind == GameCodeKind::kControl) tbl += "," + std::to_string(code.params);
  return written;
}

}  // namespace

TblRead ReadTbl(std::string_view bytes, std::string_view file,
                std::optional<TblEncoding> encoding) {
  // What Windows' Notepad saves as "Unicode": UTF-16 after its byte order
  // mark, read as the same text in UTF-8.
  std::string from_utf16;
  if (!encoding && (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"))) {
    from_utf16 = Utf8OfUtf16Bytes(bytes.substr(2), bytes[0] == '\xFE');
    bytes = from_utf16;
    encoding = TblEncoding::kUtf8;
  }
  if (!encoding) {
    encoding = DetectTextEncoding(bytes) == TextEncoding::kCp932 ? TblEncoding::kCp932
                                                                 : TblEncoding::kUtf8;
  }
  if (*encoding == TblEncoding::kUtf8 && bytes.starts_with(kUtf8ByteOrderMark)) {
    bytes.remove_prefix(kUtf8ByteOrderMark.size());
  }
  TblRead read;
  // A line an entry at most: the codes are then never moved as they grow.
  read.codes.reserve(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
  std::size_t number = 0;
  std::string_view raw;
  std::u16string line;
  while (TakeLine(bytes, raw)) {
    ++number;
    if (*encoding == TblEncoding::kCp932) {
      line = DecodeCp932(raw);
    } else if (auto decoded = DecodeUtf8(raw)) {
      line = std::move(decoded).value();
    } else {
      read.problems.push_back(TblProblem(ProblemCode::kBadUtf8, file, number));
      read.problems.back().column = ColumnOfByte(raw, decoded.error().offset);
      continue;
    }
    if (IsSkipped(line)) continue;
    auto code = ParseEntry(line);
    // A blank entry (HEX=) is ignored, as table tools do: its code reads as
    // a tag of its bytes.
    if (code && code->kind == GameCodeKind::kText && code->text.empty()) continue;
    if (!code) {
      read.problems.push_back(TblProblem(code.error(), file, number, EncodeUtf8(line)));
      continue;
    }
    code->line = number;
    read.codes.push_back(std::move(code).value());
  }
  CheckCodes(read.codes, read.aliases, file, read.problems);
  SortByLine(read.problems);
  return read;
}

Result<GameTable, std::vector<Problem>> ParseGameTable(std::string_view bytes,
                                                       std::string_view file) {
  TblRead read = ReadTbl(bytes, file);
  if (!read.problems.empty()) return Unexpected(std::move(read.problems));
  return GameTable(std::move(read.codes), std::move(read.aliases));
}

Result<GameTable, std::vector<Problem>> ParseGameTableFreeing(std::string bytes,
                                                              std::string_view file) {
  TblRead read = ReadTbl(bytes, file);
  bytes = std::string();
  if (!read.problems.empty()) return Unexpected(std::move(read.problems));
  return GameTable(std::move(read.codes), std::move(read.aliases));
}

TblWritten WriteTbl(std::span<const GameCode> codes, TblEncoding encoding,
                    std::span<const GameTextAlias> aliases) {
  const std::string_view end = encoding == TblEncoding::kUtf8 ? "\n" : "\r\n";
  TblWritten written;
  for (std::size_t i = 0; i < codes.size(); ++i) {
    if (!AppendEntry(codes[i], encoding, written.bytes)) written.unwritable.push_back(i);
    written.bytes += end;
  }
  for (std::size_t i = 0; i < aliases.size(); ++i) {
    if (!AppendEntry(EntryOf(codes, aliases[i]), encoding, written.bytes)) {
      written.unwritable.push_back(codes.size() + i);
    }
    written.bytes += end;
  }
  if (!written.unwritable.empty()) written.bytes.clear();
  return written;
}

GameCode EntryOf(std::span<const GameCode> codes, const GameTextAlias& alias) {
  GameCode entry = codes[alias.code];
  entry.text = alias.text;
  entry.line = alias.line;
  return entry;
}

std::string TblEntryOf(const GameCode& code) {
  std::string entry;
  AppendEntry(code, TblEncoding::kUtf8, entry);
  return entry;
}

}  // namespace binconv
