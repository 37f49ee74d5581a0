#include "chartable/check.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <span>
#include <tuple>
#include <unordered_map>

#include "chartable/encoding.h"
#include "chartable/read_back.h"
#include "chartable/tbl.h"
#include "chartable/text_index.h"
#include "runtime/hex.h"

namespace binconv {
namespace {

// Whether the bytes from `bytes` on match a code longer than `bytes`
// whatever byte follows, when enough bytes follow: for every next byte the
// bytes with it are a code, or again match a longer code whatever follows.
// Decode takes the longest code that matches, so a code for which this holds
// is never read, except where the bytes end before a longer code could. The
// rule asks for every next byte; a code that one byte leaves is not reported.
bool LongerCodeAlwaysMatches(const ReadBackRule& rule, std::vector<std::uint8_t>& bytes) {
  if (bytes.size() >= kMaxGameCodeBytes || !rule.BeginsLonger(bytes)) return false;
  bool all = true;
  bytes.push_back(0);
  for (int next = 0; next < 256 && all; ++next) {
    bytes.back() = static_cast<std::uint8_t>(next);
    all = rule.CodeOf(bytes) != nullptr || LongerCodeAlwaysMatches(rule, bytes);
  }
  bytes.pop_back();
  return all;
}

// Whether a text is a label of hex digit pairs ("<AB>"), which a tag reads
// as bytes.
bool IsHexLabel(std::u16string_view text) {
  const auto mark = [&](std::size_t at) { return detail::ClassifySpecial(text[at]); };
  if (text.size() < 4 || text.size() % 2 != 0 || mark(0) != detail::Special::kTagOpen ||
      mark(text.size() - 1) != detail::Special::kTagClose) {
    return false;
  }
  return std::all_of(text.begin() + 1, text.end() - 1, [](char16_t ch) { return HexValue(ch) >= 0; });
}

// Whether the longer code's bytes are codes of text whose texts make its
// own: typed either way, it reads back the same, and encoding allows it.
bool MadeOfItsCodes(const ReadBackRule& rule, const GameCode& longer) {
  if (longer.kind != GameCodeKind::kText) return false;
  const std::span<const std::uint8_t> bytes(longer.bytes);
  const std::u16string_view text(longer.text);
  // reached[i]: the text lengths a split of the first i bytes can show.
  std::vector<std::vector<std::size_t>> reached(bytes.size() + 1);
  reached[0].push_back(0);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    for (const std::size_t shown : reached[i]) {
      for (std::size_t j = i + 1; j <= bytes.size() && j - i < bytes.size(); ++j) {
        const GameCode* code = rule.CodeOf(bytes.subspan(i, j - i));
        if (code == nullptr || code->kind != GameCodeKind::kText ||
            text.substr(shown).substr(0, code->text.size()) != code->text) {
          continue;
        }
        const std::size_t next = shown + code->text.size();
        if (std::find(reached[j].begin(), reached[j].end(), next) == reached[j].end()) {
          reached[j].push_back(next);
        }
      }
    }
  }
  return std::find(reached.back().begin(), reached.back().end(), text.size()) !=
         reached.back().end();
}

}  // namespace

TableCheck CheckCharTable(const CharTable& table) {
  TableCheck check;
  const ProducibleCells producible(table);
  std::unordered_map<char16_t, std::size_t> places;  // character -> index into candidates
  std::vector<DuplicateChar> candidates;

  for (std::uint8_t page = 0; page < kPages; ++page) {
    for (std::uint8_t row = 0; row < kRows; ++row) {
      for (std::uint8_t column = 0; column < kColumns; ++column) {
        const std::u16string& text = table.Cell(page, row, column);
        if (text.empty()) continue;
        const CellCode code{page, row, column};
        const CellOrigin& origin = table.Origin(page, row, column);
        PageUsage& usage = check.pages[page];
        ++usage.used;
        if (producible.CharAt(code)) ++usage.producible;

        if (text.size() > 1) {
          check.findings.push_back({TableFindingKind::kMultiChar, code, origin, text});
        } else {
          const char16_t ch = text[0];
          auto [at, inserted] = places.try_emplace(ch, candidates.size());
          if (inserted) candidates.push_back({ch, {}});
          candidates[at->second].cells.push_back(code);

          if (detail::IsIntercepted(ch)) {
            check.findings.push_back({TableFindingKind::kIntercepted, code, origin, text});
          } else if (const std::optional<CellCode> winner = table.Find(ch); winner != code) {
            TableFinding finding{TableFindingKind::kShadowed, code, origin, text};
            finding.winner = *winner;
            finding.winner_origin = table.Origin(winner->page, winner->row, winner->column);
            check.findings.push_back(std::move(finding));
          }
        }
        if (page == 0 && IsReservedByte(code.byte())) {
          check.findings.push_back({TableFindingKind::kReservedByte, code, origin, text});
        }
      }
    }
  }
  for (DuplicateChar& candidate : candidates) {
    if (candidate.cells.size() > 1) check.duplicates.push_back(std::move(candidate));
  }
  return check;
}

std::string DescribeCode(CellCode code) {
  std::string text;
  if (code.page != 0) text = HexByte(kLeadBytes[code.page]) + " ";
  return text + HexByte(code.byte());
}

std::vector<Problem> CheckGameTable(const GameTable& table, std::string_view file) {
  return CheckGameTable(table, file, SIZE_MAX).findings;
}

namespace {

// Per code, the line of the first code of its kind with its text, when that
// is another; else 0.
std::vector<std::uint32_t> SameTextLines(std::span<const GameCode> codes) {
  // The codes in order of kind and text, the first in the file first: each
  // after the first of its group shares its text. An end or a line break may
  // go without text; that is no text to share.
  std::vector<std::uint32_t> order(codes.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return std::tie(codes[a].kind, codes[a].text) < std::tie(codes[b].kind, codes[b].text);
  });
  std::vector<std::uint32_t> same_as(codes.size(), 0);
  for (std::size_t i = 1; i < order.size(); ++i) {
    const GameCode& first = codes[order[i - 1]];
    const GameCode& code = codes[order[i]];
    if (code.text.empty() || code.kind != first.kind || code.text != first.text) continue;
    same_as[order[i]] =
        same_as[order[i - 1]] != 0 ? same_as[order[i - 1]] : static_cast<std::uint32_t>(first.line);
  }
  return same_as;
}

// Per code, the line of the first longer code that begins with its bytes and
// may make it read back otherwise; else 0.
std::vector<std::uint32_t> BeginsLongerLines(std::span<const GameCode> codes,
                                           const ReadBackRule& rule) {
  // In order of their bytes, a code's longer codes come right after it.
  const std::span<const std::uint32_t> by_bytes = rule.in_byte_order();
  std::vector<std::uint32_t> longer_line(codes.size(), 0);
  for (std::size_t k = 0; k + 1 < by_bytes.size(); ++k) {
    const CodeBytes& shorter = codes[by_bytes[k]].bytes;
    for (std::size_t m = k + 1; m < by_bytes.size(); ++m) {
      const GameCode& next = codes[by_bytes[m]];
      if (next.bytes.size() <= shorter.size() ||
          !std::equal(shorter.begin(), shorter.end(), next.bytes.begin())) {
        break;
      }
      if (!MadeOfItsCodes(rule, next)) {
        longer_line[by_bytes[k]] = static_cast<std::uint32_t>(next.line);
        break;
      }
    }
  }
  return longer_line;
}

}  // namespace

GameTableCheck CheckGameTable(const GameTable& table, std::string_view file,
                              std::size_t most_of_a_kind) {
  const std::span<const GameCode> codes = table.codes();
  const GameTextIndex& index = table.text_index();
  // Lines in four bytes, as no table has billions of lines: a big table's
  // check then costs less.
  const std::vector<std::uint32_t> same_as = SameTextLines(codes);
  const std::vector<std::uint32_t> longer_line = BeginsLongerLines(codes, index.read_back());

  GameTableCheck check;
  // Found in file order, so the ones kept of each kind are its first.
  // Each names the entry it is about, as the file has it.
  auto add = [&](ProblemCode kind, std::size_t line, std::size_t other_line, std::string entry) {
    if (check.counts[kind]++ >= most_of_a_kind) return;
    Problem problem{kind};
    problem.file = std::string(file);
    problem.line = line;
    problem.other_line = other_line;
    problem.what = std::move(entry);
    check.findings.push_back(std::move(problem));
  };
  if (codes.empty()) add(ProblemCode::kTblNoCodes, 0, 0, {});
  for (std::size_t i = 0; i < codes.size(); ++i) {
    const GameCode& code = codes[i];
    if (same_as[i] != 0) add(ProblemCode::kTblSameText, code.line, same_as[i], TblEntryOf(code));
    std::vector<std::uint8_t> bytes(code.bytes.begin(), code.bytes.end());
    if (LongerCodeAlwaysMatches(index.read_back(), bytes)) {
      add(ProblemCode::kTblNeverRead, code.line, 0, TblEntryOf(code));
    } else if (longer_line[i] != 0) {
      add(ProblemCode::kTblBeginsLonger, code.line, longer_line[i], TblEntryOf(code));
    }
    const bool hex_label = IsHexLabel(code.text);
    if (hex_label) add(ProblemCode::kTblHexLabel, code.line, 0, TblEntryOf(code));
    // Codes without text are typed as tags by design; a text another code
    // of its kind has is already told.
    const bool breaks_only = code.text.find_first_not_of(u'\n') == std::u16string::npos;
    if (!index.Shows(static_cast<std::uint32_t>(i)) && !breaks_only && !hex_label &&
        same_as[i] == 0) {
      add(ProblemCode::kTblNotTypable, code.line, 0, TblEntryOf(code));
    }
  }
  for (const GameTextAlias& alias : table.aliases()) {
    if (alias.line == 0) continue;
    add(ProblemCode::kTblSeveralTexts, alias.line, codes[alias.code].line,
        TblEntryOf(EntryOf(codes, alias)));
  }
  SortByLine(check.findings);
  return check;
}

}  // namespace binconv
