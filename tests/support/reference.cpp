#include "support/reference.h"

#include <algorithm>

#include "runtime/compare.h"
#include "runtime/strings.h"

namespace binconv::test {
namespace {

constexpr std::int16_t kNotScanned = -2;
constexpr std::int16_t kNoCell = -1;
constexpr char16_t kLineBreakMark = u'\u9C2F';
constexpr std::u16string_view kLeadCodes[] = {u"", u"20", u"21", u"22", u"23", u"18"};
constexpr std::uint8_t kLeadBytes[] = {0, 0x20, 0x21, 0x22, 0x23, 0x18};

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::u16string ReplaceAll(std::u16string_view s, std::u16string_view search,
                          std::u16string_view replacement) {
  std::u16string out;
  out.reserve(s.size());
  // The pieces between the matches, joined by the replacement.
  const std::vector<std::u16string_view> pieces = Split(s, search);
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i != 0) out.append(replacement);
    out.append(pieces[i]);
  }
  return out;
}

ReferenceModel::ReferenceModel(const CharTable& table, bool remember)
    : table_(table), remember_(remember) {}

std::int16_t ReferenceModel::Scan(char16_t ch) const {
  const std::u16string_view wanted(&ch, 1);
  for (int p = 0; p < kPages; ++p) {
    for (int r = 0; r < kRows; ++r) {
      for (int c = 0; c < kColumns; ++c) {
        if (table_.Cell(p, r, c) == wanted) {
          return static_cast<std::int16_t>((p * kRows + r) * kColumns + c);
        }
      }
    }
  }
  return kNoCell;
}

std::optional<CellCode> ReferenceModel::Lookup(char16_t ch) {
  std::int16_t seen = kNotScanned;
  if (remember_) {
    if (seen_.empty()) seen_.assign(0x10000, kNotScanned);
    if (seen_[ch] == kNotScanned) seen_[ch] = Scan(ch);
    seen = seen_[ch];
  } else {
    seen = Scan(ch);
  }
  if (seen == kNoCell) return std::nullopt;
  return CellCode{static_cast<std::uint8_t>(seen / (kRows * kColumns)),
                  static_cast<std::uint8_t>(seen / kColumns % kRows),
                  static_cast<std::uint8_t>(seen % kColumns)};
}

std::u16string ReferenceModel::Convert(std::u16string_view text, LineBreaks line_breaks,
                                       bool join_pairs) {
  const std::u16string mark(1, kLineBreakMark);
  std::u16string s = ReplaceAll(text, u"\r\n", mark);
  if (line_breaks == LineBreaks::kAny) s = ReplaceAll(ReplaceAll(s, u"\r", mark), u"\n", mark);
  const std::vector<std::u16string_view> hex = Split(u"0,1,2,3,4,5,6,7,8,9,A,B,C,D,E,F", u",");
  std::u16string out;
  out.reserve(s.size() * 3);
  int tag = 0;
  for (std::size_t k = 0; k < s.size(); ++k) {
    const std::u16string_view ch(&s[k], 1);
    if (TextCompare(ch, u"<")) {
      tag = 1;
    } else if (TextCompare(ch, u">")) {
      tag = 0;
    }
    if (tag == 1) {
      if (!TextCompare(ch, u"<")) out += ch;
      continue;
    }
    if (TextCompare(ch, mark)) {
      out += u"24\r\n";
    } else if (TextCompare(ch, u"\u3000")) {
      out += u"50 ";
    } else if (TextCompare(ch, u">")) {
      out += u" ";
    } else if (const std::optional<CellCode> hit = Lookup(s[k])) {
      if (hit->page >= 1) (out += kLeadCodes[hit->page]) += u" ";
      ((out += hex[hit->row]) += hex[hit->column]) += u" ";
    } else if (join_pairs && IsHigh(s[k]) && k + 1 < s.size() && IsLow(s[k + 1]) &&
               !Lookup(s[k + 1])) {
      ((out += ch) += s[++k]) += u" ";
    } else {
      (out += ch) += u" ";
    }
  }
  return out;
}

void ReferenceModel::AppendBytes(CellCode code, std::vector<std::uint8_t>& out) {
  if (code.page >= 1) out.push_back(kLeadBytes[code.page]);
  out.push_back(static_cast<std::uint8_t>(code.row * 16 + code.column));
}

std::u16string ReferenceConvert(std::u16string_view text, const CharTable& table,
                                LineBreaks line_breaks, bool join_pairs) {
  return ReferenceModel(table).Convert(text, line_breaks, join_pairs);
}

namespace {

// "<" and the bytes in upper-case hex and ">".
std::u16string TagOf(std::span<const std::uint8_t> bytes) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string tag = u"<";
  for (const std::uint8_t b : bytes) {
    tag += kDigits[b >> 4];
    tag += kDigits[b & 15];
  }
  return tag + u">";
}

}  // namespace

std::u16string ReferenceGameDecode(std::span<const GameCode> codes,
                                   std::span<const std::uint8_t> bytes,
                                   DecodeOptions options) {
  std::u16string out;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const GameCode* best = nullptr;
    for (const GameCode& code : codes) {
      const bool fits = code.bytes.size() <= bytes.size() - at;
      if (fits && std::equal(code.bytes.begin(), code.bytes.end(), bytes.begin() + at) &&
          (best == nullptr || code.bytes.size() > best->bytes.size())) {
        best = &code;
      }
    }
    if (best == nullptr) {
      out += TagOf(bytes.subspan(at, 1));
      ++at;
      continue;
    }
    const std::size_t start = at;
    at += best->bytes.size();
    const std::size_t params =
        best->kind == GameCodeKind::kControl ? std::min<std::size_t>(best->params, bytes.size() - at)
                                             : 0;
    if (start == 0 && options.utf8_file && best->text.starts_with(u'\uFEFF')) {
      out += TagOf(bytes.subspan(0, at + params));
      at += params;
      continue;
    }
    out += best->text;
    if (best->kind == GameCodeKind::kLineBreak) out += options.line_break;
    if (params != 0) out += TagOf(bytes.subspan(at, params));
    at += params;
  }
  return out;
}

}  // namespace binconv::test
