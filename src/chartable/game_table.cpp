#include "chartable/game_table.h"

#include <algorithm>
#include <map>
#include <optional>

#include "chartable/text_index.h"
#include "runtime/hex.h"
#include "runtime/text_file.h"
#include "runtime/utf8.h"

namespace binconv {

namespace {

// The bytes as one number, the first byte highest.
std::uint32_t Packed(std::span<const std::uint8_t> bytes) {
  std::uint32_t key = 0;
  for (const std::uint8_t b : bytes) key = key << 8 | b;
  return key;
}

}  // namespace

namespace detail {

GameCodeKeys::GameCodeKeys(std::span<const GameCode> codes) : codes_(codes) {
  for (std::uint32_t i = 0; i < codes_.size(); ++i) {
    const std::vector<std::uint8_t>& bytes = codes_[i].bytes;
    keys_[bytes.size() - 1].push_back({Packed(bytes), i});
    lengths_[bytes[0]] |= static_cast<std::uint8_t>(1u << (bytes.size() - 1));
  }
  for (std::vector<Key>& keys : keys_) {
    std::sort(keys.begin(), keys.end(), [](Key a, Key b) { return a.bytes < b.bytes; });
  }
}

const GameCodeKeys::Key* GameCodeKeys::Find(std::span<const std::uint8_t> bytes) const {
  const std::vector<Key>& keys = keys_[bytes.size() - 1];
  const std::uint32_t wanted = Packed(bytes);
  const auto it = std::lower_bound(keys.begin(), keys.end(), wanted,
                                   [](Key key, std::uint32_t value) { return key.bytes < value; });
  return it != keys.end() && it->bytes == wanted ? &*it : nullptr;
}

bool GameCodeKeys::Continues(std::span<const std::uint8_t> bytes, std::size_t length) const {
  const std::vector<Key>& keys = keys_[length - 1];
  // The keys that begin with `bytes` lie from `bytes` with zeros after it.
  const int shift = static_cast<int>(8 * (length - bytes.size()));
  const std::uint32_t prefix = Packed(bytes);
  const std::uint32_t low = static_cast<std::uint32_t>(std::uint64_t{prefix} << shift);
  const auto it = std::lower_bound(keys.begin(), keys.end(), low,
                                   [](Key key, std::uint32_t value) { return key.bytes < value; });
  return it != keys.end() && (std::uint64_t{it->bytes} >> shift) == prefix;
}

GameTableUnit GameCodeKeys::ReadUnit(std::span<const std::uint8_t> bytes, bool at_end) const {
  const GameTableUnit cut{GameUnitKind::kCut, 0, static_cast<std::uint8_t>(bytes.size())};
  const std::uint8_t lengths = lengths_[bytes[0]];
  for (std::size_t length = kMaxGameCodeBytes; length >= 1; --length) {
    if ((lengths >> (length - 1) & 1) == 0) continue;
    if (bytes.size() < length) {
      // The bytes so far may be the start of a longer code.
      if (!at_end && Continues(bytes, length)) return cut;
      continue;
    }
    const Key* key = Find(bytes.first(length));
    if (key == nullptr) continue;
    std::size_t size = length + codes_[key->code].params;
    if (size > bytes.size()) {
      if (!at_end) return cut;
      size = bytes.size();  // a control cut short by the end keeps what there is
    }
    return {GameUnitKind::kCode, key->code, static_cast<std::uint8_t>(size)};
  }
  return {GameUnitKind::kNoCode, 0, 1};
}

}  // namespace detail

GameUnitReader::GameUnitReader(const detail::GameCodeKeys& keys) : keys_(keys) {
  for (std::size_t b = 0; b < 256; ++b) {
    const std::uint8_t first[] = {static_cast<std::uint8_t>(b)};
    first_[b] = keys.ReadUnit(first, false);
    rows_of_[b] = kNoRow;
    if (first_[b].kind != GameUnitKind::kCut) continue;
    rows_of_[b] = static_cast<std::uint32_t>(rows_.size());
    for (std::size_t next = 0; next < 256; ++next) {
      const std::uint8_t pair[] = {first[0], static_cast<std::uint8_t>(next)};
      rows_.push_back(keys.ReadUnit(pair, false));
    }
  }
}

// Made in place and never moved: the keys, the reader and the index point
// into the codes and at each other.
struct GameTable::Model {
  explicit Model(std::vector<GameCode> all)
      : codes(std::move(all)), keys(codes), reader(keys), index(codes) {
    for (const GameCode& code : codes) {
      if (code.kind == GameCodeKind::kEnd && (first_end == nullptr || code.line < first_end->line)) {
        first_end = &code;
      }
    }
  }
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;

  const std::vector<GameCode> codes;
  const detail::GameCodeKeys keys;
  const GameUnitReader reader;
  const GameTextIndex index;
  const GameCode* first_end = nullptr;
};

GameTable::GameTable(std::vector<GameCode> codes)
    : model_(std::make_shared<const Model>(std::move(codes))) {}

std::span<const GameCode> GameTable::codes() const { return model_->codes; }

GameTableUnit GameTable::ReadUnit(std::span<const std::uint8_t> bytes, bool at_end) const {
  return model_->keys.ReadUnit(bytes, at_end);
}

const GameUnitReader& GameTable::reader() const { return model_->reader; }

const GameTextIndex& GameTable::text_index() const { return model_->index; }

const GameCode* GameTable::first_end() const { return model_->first_end; }

namespace {

Problem TblProblem(ProblemCode code, std::string_view file, std::size_t line) {
  Problem problem{code};
  problem.file = std::string(file);
  problem.line = line;
  return problem;
}

// The bytes of a code written as hex digit pairs, either case.
Result<std::vector<std::uint8_t>, ProblemCode> ParseCodeBytes(std::u16string_view digits) {
  if (digits.empty()) return Unexpected(ProblemCode::kTblEmptyCode);
  const bool all_hex = std::all_of(digits.begin(), digits.end(),
                                   [](char16_t c) { return HexValue(c) >= 0; });
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

// The kind mark before the code, which the mark's character names.
GameCodeKind KindOfMark(char16_t mark) {
  switch (mark) {
    case u'/':
      return GameCodeKind::kEnd;
    case u'*':
      return GameCodeKind::kLineBreak;
    case u'$':
      return GameCodeKind::kControl;
    default:
      return GameCodeKind::kText;
  }
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
  if (code.kind == GameCodeKind::kText) {
    if (!has_text) return Unexpected(ProblemCode::kTblNotAnEntry);
    if (text.empty()) return Unexpected(ProblemCode::kTblNoText);
  }
  if (code.kind != GameCodeKind::kControl) {
    code.text = std::u16string(text);
    return code;
  }
  const std::size_t comma = text.rfind(u',');
  if (comma == std::u16string_view::npos) return Unexpected(ProblemCode::kTblBadParams);
  const std::optional<std::uint8_t> params = ParseParamCount(text.substr(comma + 1));
  if (!params) return Unexpected(ProblemCode::kTblBadParams);
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

// A second entry for a code, and a code no bytes can reach because a control
// code is its start: the control always wins and takes the bytes after it.
void CheckCodes(const std::vector<GameCode>& codes, std::string_view file,
                std::vector<Problem>& problems) {
  std::map<std::vector<std::uint8_t>, std::size_t> first_line;
  std::map<std::vector<std::uint8_t>, std::size_t> controls;
  for (const GameCode& code : codes) {
    if (auto [it, fresh] = first_line.emplace(code.bytes, code.line); !fresh) {
      problems.push_back(TblProblem(ProblemCode::kTblDuplicateCode, file, code.line));
      problems.back().other_line = it->second;
    } else if (code.kind == GameCodeKind::kControl) {
      controls.emplace(code.bytes, code.line);
    }
  }
  for (const GameCode& code : codes) {
    for (std::size_t length = 1; length < code.bytes.size(); ++length) {
      const auto control = controls.find({code.bytes.begin(), code.bytes.begin() + length});
      if (control == controls.end()) continue;
      problems.push_back(TblProblem(ProblemCode::kTblUnreachable, file, code.line));
      problems.back().other_line = control->second;
      break;
    }
  }
}

}  // namespace

Result<GameTable, std::vector<Problem>> ParseGameTable(std::string_view bytes,
                                                       std::string_view file) {
  std::vector<GameCode> codes;
  std::vector<Problem> problems;
  LineReader reader(bytes);
  std::u16string line;
  while (reader.Next(line)) {
    if (IsSkipped(line)) continue;
    auto code = ParseEntry(line);
    if (!code) {
      problems.push_back(TblProblem(code.error(), file, reader.line_number()));
      continue;
    }
    code->line = reader.line_number();
    codes.push_back(std::move(code).value());
  }
  if (reader.bad_utf8()) {
    problems.push_back(TblProblem(ProblemCode::kBadUtf8, file, reader.line_number()));
    problems.back().column = reader.bad_utf8_column();
  }
  CheckCodes(codes, file, problems);
  if (!problems.empty()) {
    SortByLine(problems);
    return Unexpected(std::move(problems));
  }
  return GameTable(std::move(codes));
}

std::string GameTableToTbl(const GameTable& table) {
  std::vector<const GameCode*> sorted;
  for (const GameCode& code : table.codes()) sorted.push_back(&code);
  std::sort(sorted.begin(), sorted.end(),
            [](const GameCode* a, const GameCode* b) { return a->bytes < b->bytes; });
  std::string tbl;
  for (const GameCode* code : sorted) {
    constexpr std::string_view kMarks[] = {"", "/", "*", "$"};
    tbl += kMarks[static_cast<std::size_t>(code->kind)];
    for (const std::uint8_t b : code->bytes) AppendHexByte(b, tbl);
    // An end or line break reads the same with "=" and nothing after it.
    const bool bare = code->text.empty() && (code->kind == GameCodeKind::kEnd ||
                                             code->kind == GameCodeKind::kLineBreak);
    if (!bare) {
      tbl += '=';
      AppendUtf8(code->text, tbl);
    }
    if (code->kind == GameCodeKind::kControl) tbl += "," + std::to_string(code->params);
    tbl += '\n';
  }
  return tbl;
}

}  // namespace binconv
