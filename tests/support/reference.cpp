#include "support/reference.h"

#include <algorithm>
#include <map>
#include <optional>

#include "runtime/compare.h"
#include "runtime/hex.h"
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

bool IsTagMark(char16_t ch) {
  const detail::Special special = detail::ClassifySpecial(ch);
  return special == detail::Special::kTagOpen || special == detail::Special::kTagClose;
}

// "<" and ">" around a content without either, which a tag can hold.
bool IsLabel(const std::u16string& t) {
  return t.size() >= 2 && detail::ClassifySpecial(t.front()) == detail::Special::kTagOpen &&
         detail::ClassifySpecial(t.back()) == detail::Special::kTagClose &&
         std::none_of(t.begin() + 1, t.end() - 1, IsTagMark);
}

// Whether `a` wins a text over `b`: the shorter code, then the one first in the file.
bool Wins(const GameCode& a, const GameCode& b) {
  if (a.bytes.size() != b.bytes.size()) return a.bytes.size() < b.bytes.size();
  return a.line < b.line;
}

// Whether typing the code's text back gives this very code: no other code
// wins its label or its text, and no tag mark stands in a text.
// A .tbl's "\n" at the end of a text (U+000A) is a line break shown after
// it; a label goes with its breaks.
std::u16string Trimmed(std::u16string t) {
  while (!t.empty() && t.back() == u'\n') t.pop_back();
  return t;
}

// What decode shows of a code, each break as U+000A.
std::u16string Shown(const GameCode& c) {
  return c.text + (c.kind == GameCodeKind::kLineBreak ? u"\n" : u"");
}

// The bytes a label stands for when its content is hex digit pairs: a tag
// of them is read as those bytes, never as the label.
std::optional<std::vector<std::uint8_t>> HexLabelBytes(const std::u16string& t) {
  if (!IsLabel(t) || t.size() == 2 || t.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  for (std::size_t k = 1; k + 1 < t.size(); k += 2) {
    if (HexValue(t[k]) < 0 || HexValue(t[k + 1]) < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(HexValue(t[k]) * 16 + HexValue(t[k + 1])));
  }
  return bytes;
}

bool TypedBack(std::span<const GameCode> codes, const GameCode& code) {
  const std::u16string t = Trimmed(code.text);
  if (const auto bytes = HexLabelBytes(t)) {
    return t == code.text && code.params == 0 && *bytes == code.bytes;
  }
  if (IsLabel(t)) {
    for (const GameCode& other : codes) {
      const std::u16string o = Trimmed(other.text);
      if (&other == &code || !IsLabel(o) || HexLabelBytes(o) || o.size() != t.size() ||
          !Wins(other, code)) {
        continue;
      }
      bool same = true;
      for (std::size_t k = 1; k + 1 < t.size(); ++k) same = same && TextEqual(o[k], t[k]);
      if (same) return false;
    }
    return true;
  }
  if (std::any_of(t.begin(), t.end(), IsTagMark)) return false;
  const auto breaks = [](const GameCode& c) { return c.kind == GameCodeKind::kLineBreak; };
  // A typed break never ends a string.
  if (code.kind == GameCodeKind::kEnd && t.empty()) return false;
  if (code.text.empty()) {
    if (!breaks(code)) return false;
    const auto first = std::find_if(codes.begin(), codes.end(), [&](const GameCode& c) {
      return breaks(c) && c.text.empty();
    });
    return &*first == &code;
  }
  for (const GameCode& other : codes) {
    const bool breaks_only_end = other.kind == GameCodeKind::kEnd && Trimmed(other.text).empty();
    if (&other != &code && !breaks_only_end && Shown(other) == Shown(code) &&
        Wins(other, code)) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::u16string ReferenceGameDecode(std::span<const GameCode> codes,
                                   std::span<const std::uint8_t> bytes, DecodeOptions options) {
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
    const std::size_t params = best->kind == GameCodeKind::kControl
                                   ? std::min<std::size_t>(best->params, bytes.size() - at)
                                   : 0;
    // A control cut short of its parameters can't be typed as its label.
    const bool cut_short = best->kind == GameCodeKind::kControl && params < best->params;
    if ((start == 0 && options.utf8_file && best->text.starts_with(u'\uFEFF')) ||
        !TypedBack(codes, *best) || cut_short) {
      out += TagOf(bytes.subspan(start, at - start + params));
      at += params;
      continue;
    }
    for (const char16_t ch : Shown(*best)) {
      if (ch == u'\n') {
        out += options.line_break;
      } else {
        out += ch;
      }
    }
    if (params != 0) out += TagOf(bytes.subspan(at, params));
    at += params;
  }
  return out;
}

}  // namespace binconv::test

namespace binconv::test {
namespace {

constexpr char32_t kBreakUnit = 0x10000;

struct PlacedUnit {
  char32_t unit;  // a UTF-16 unit or kBreakUnit
  std::size_t line;
  std::size_t column;
};

// The text's units with line breaks as kBreakUnit, each at its place.
std::vector<PlacedUnit> PlaceUnits(std::u16string_view text, LineBreaks line_breaks) {
  std::vector<PlacedUnit> units;
  std::size_t line = 1;
  std::size_t column = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t ch = text[i];
    const bool pair = i > 0 && IsHigh(text[i - 1]) && IsLow(ch);
    if (!pair) ++column;
    const bool crlf = ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n';
    const bool lone = ch == u'\r' || ch == u'\n';
    const bool is_break = crlf || (lone && line_breaks == LineBreaks::kAny);
    units.push_back({is_break ? kBreakUnit : ch, line, column});
    if (crlf) ++i;
    if (lone) {
      ++line;
      column = 0;
    }
  }
  return units;
}

bool IsMark(char32_t unit, detail::Special special) {
  return unit != kBreakUnit && detail::ClassifySpecial(static_cast<char16_t>(unit)) == special;
}

bool IsLabelShaped(std::u16string_view t) {
  return t.size() >= 2 && IsMark(t.front(), detail::Special::kTagOpen) &&
         IsMark(t.back(), detail::Special::kTagClose);
}

// Whether `code` beats `best` (none yet: nullptr) for the same text.
bool Better(const GameCode& code, const GameCode* best) {
  if (best == nullptr) return true;
  if (code.bytes.size() != best->bytes.size()) return code.bytes.size() < best->bytes.size();
  return code.line < best->line;
}

const GameCode* LabelOf(std::span<const GameCode> codes, std::span<const PlacedUnit> content) {
  const GameCode* best = nullptr;
  for (const GameCode& code : codes) {
    const std::u16string t = Trimmed(code.text);
    if (t.size() != content.size() + 2 || !IsMark(t.front(), detail::Special::kTagOpen) ||
        !IsMark(t.back(), detail::Special::kTagClose) || HexLabelBytes(t)) {
      continue;
    }
    bool same = true;
    for (std::size_t k = 0; k < content.size(); ++k) {
      same = same && content[k].unit != kBreakUnit &&
             !IsMark(content[k].unit, detail::Special::kTagOpen) &&
             TextEqual(t[k + 1], static_cast<char16_t>(content[k].unit));
    }
    if (same && Better(code, best)) best = &code;
  }
  return best;
}

// The plain walk: one tag or one match at a time.
struct GameWalk {
  std::span<const GameCode> codes;
  // Some code's text is a label: a tag with a letter that is no hex digit
  // is then a label mistyped, one problem at its "<", and writes nothing.
  bool labels;
  std::vector<PlacedUnit> units;
  Encoded out;
  // A control still waiting for its parameters: its place, and how many bytes
  // (0: none waiting). Not an optional, which GCC 12 at -O3 takes for unset.
  PlacedUnit due_at{0, 0, 0};
  std::size_t due = 0;

  void Report(ProblemCode kind, const PlacedUnit& at, char32_t ch) {
    out.problems.push_back({kind, at.line, at.column, ch});
  }
  void Miss() {
    if (due != 0) Report(ProblemCode::kNoParams, due_at, 0);
    due = 0;
  }
  void Write(const GameCode& code, const PlacedUnit& at) {
    out.bytes.insert(out.bytes.end(), code.bytes.begin(), code.bytes.end());
    if (code.kind == GameCodeKind::kControl && code.params > 0) {
      due_at = at;
      due = code.params;
    }
  }

  // The tag opening at `i`; returns where it ends.
  std::size_t Tag(std::size_t i) {
    std::size_t close = i + 1;
    while (close < units.size() && !IsMark(units[close].unit, detail::Special::kTagClose)) ++close;
    const std::size_t end = TagContent(i, close);
    if (close == units.size()) Report(ProblemCode::kUnclosedTag, units[i], units[i].unit);
    return end;
  }

  std::size_t TagContent(std::size_t i, std::size_t close) {
    const std::span<const PlacedUnit> content(units.data() + i + 1, close - i - 1);
    if (const GameCode* label = LabelOf(codes, content)) {
      Miss();
      Write(*label, units[i]);
      // A label and the breaks its code shows after it are one code.
      const std::u16string shown = Shown(*label);
      std::size_t next = close + 1;
      for (auto k = shown.rbegin(); k != shown.rend() && *k == u'\n'; ++k) {
        if (next >= units.size() || units[next].unit != kBreakUnit) break;
        ++next;
      }
      return next;
    }
    std::string digits;
    bool bad = false;
    bool empty = true;
    bool unknown = false;  // a label mistyped, told once
    for (std::size_t k = 0; k < content.size(); ++k) {
      const char32_t u = content[k].unit;
      const bool low_of_pair = k > 0 && IsLow(static_cast<char16_t>(u)) &&
                               IsHigh(static_cast<char16_t>(content[k - 1].unit));
      const bool blank = u == u' ' || u == u'\u3000' || u == u'\r' || u == u'\n';
      empty = empty && blank;
      if (HexValue(u) >= 0) {
        digits += static_cast<char>(u);
      } else if (low_of_pair) {
        // Its high unit's problem names the pair; a mistyped label's names its "<".
        if (!labels) {
          out.problems.back().ch = 0x10000 + ((content[k - 1].unit - 0xD800) << 10) + (u - 0xDC00);
        }
      } else if (u == kBreakUnit) {
        Report(ProblemCode::kLineBreakInTag, content[k], kLineBreakMark);
        bad = true;
      } else if (IsMark(u, detail::Special::kTagOpen)) {
        Report(ProblemCode::kNestedTag, content[k], u);
        bad = true;
      } else if (!blank && labels) {
        if (!unknown) Report(ProblemCode::kUnknownLabel, units[i], units[i].unit);
        unknown = bad = true;
      } else if (!blank) {
        Report(ProblemCode::kNotHexInTag, content[k], u);
        bad = true;
      }
    }
    if (unknown) digits.clear();
    if (empty && close < units.size()) Report(ProblemCode::kEmptyTag, units[i], units[i].unit);
    const bool odd = digits.size() % 2 != 0;
    if (odd) Report(ProblemCode::kOddCount, units[i], 0);
    if (due != 0 && (bad || odd || digits.size() / 2 != due)) Miss();
    due = 0;
    for (std::size_t k = 0; k + 1 < digits.size(); k += 2) {
      out.bytes.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(k, 2), nullptr, 16)));
    }
    return close + 1;
  }

  // The text codes a run of units (no tag mark in it) can be written as,
  // with the fewest bytes: every way tried from the end back, a character
  // no code takes costing more than any bytes, and of equal ways the one
  // with the longer text first. Returns where the run ends.
  std::size_t Run(std::size_t i) {
    std::size_t end = i;
    while (end < units.size() && !IsMark(units[end].unit, detail::Special::kTagOpen) &&
           !IsMark(units[end].unit, detail::Special::kTagClose)) {
      ++end;
    }
    constexpr std::uint64_t kLeftOut = std::uint64_t{1} << 40;
    struct Way {
      std::uint64_t cost = UINT64_MAX;
      std::size_t units = 0;
      const GameCode* code = nullptr;  // nullptr: left out
    };
    std::vector<Way> best(end - i + 1);
    best[end - i].cost = 0;
    const GameCode* lone_break = nullptr;
    for (const GameCode& c : codes) {
      if (c.kind == GameCodeKind::kLineBreak && c.text.empty()) {
        lone_break = &c;
        break;
      }
    }
    for (std::size_t at = end; at-- > i;) {
      Way& way = best[at - i];
      auto consider = [&](std::size_t length, const GameCode* code) {
        const std::uint64_t on = best[at - i + length].cost;
        // Another text of a code (an alias, last in line) only where no other way is.
        const bool alias = code != nullptr && code->line >= SIZE_MAX / 2;
        const std::uint64_t cost = on + (code != nullptr ? code->bytes.size() : kLeftOut) +
                                   (alias ? std::uint64_t{1} << 24 : 0);
        if (cost < way.cost || (cost == way.cost && length > way.units)) way = {cost, length, code};
      };
      // Per text, the code that wins it.
      std::map<std::u32string, const GameCode*> texts;
      for (const GameCode& code : codes) {
        if (code.kind == GameCodeKind::kEnd && Trimmed(code.text).empty()) continue;
        if (code.text.empty()) continue;
        std::u32string t;
        for (const char16_t ch : Shown(code)) t += ch == u'\n' ? kBreakUnit : char32_t{ch};
        if (t.size() > end - at) continue;
        bool same = true;
        for (std::size_t k = 0; k < t.size(); ++k) same = same && units[at + k].unit == t[k];
        if (!same) continue;
        const GameCode*& kept = texts[t];
        if (Better(code, kept)) kept = &code;
      }
      for (const auto& [t, code] : texts) consider(t.size(), code);
      if (units[at].unit == kBreakUnit && lone_break != nullptr) consider(1, lone_break);
      consider(1, nullptr);
      const bool pair = at + 1 < end && IsHigh(static_cast<char16_t>(units[at].unit)) &&
                        IsLow(static_cast<char16_t>(units[at + 1].unit));
      if (pair && !texts.count(std::u32string(1, units[at].unit))) {
        const char32_t low = units[at + 1].unit;
        const bool low_alone = std::any_of(codes.begin(), codes.end(), [&](const GameCode& c) {
          return c.kind != GameCodeKind::kLineBreak && c.text.size() == 1 && c.text[0] == low;
        });
        if (!low_alone) consider(2, nullptr);
      }
    }
    for (std::size_t at = i; at < end;) {
      const Way& way = best[at - i];
      Miss();
      if (way.code != nullptr) {
        Write(*way.code, units[at]);
      } else if (units[at].unit == kBreakUnit) {
        Report(ProblemCode::kNoLineBreakCode, units[at], u'\n');
      } else {
        const char32_t ch = way.units == 2 ? 0x10000 + ((units[at].unit - 0xD800) << 10) +
                                                 (units[at + 1].unit - 0xDC00)
                                           : units[at].unit;
        Report(ProblemCode::kNoCode, units[at], ch);
      }
      at += way.units;
    }
    return end;
  }
};

}  // namespace

Encoded ReferenceGameEncode(std::span<const GameCode> codes, std::u16string_view text,
                            LineBreaks line_breaks, std::span<const GameTextAlias> aliases) {
  std::vector<GameCode> all(codes.begin(), codes.end());
  for (const GameTextAlias& alias : aliases) {
    const bool taken = std::any_of(all.begin(), all.end(), [&](const GameCode& code) {
      // A line-break code's text goes on with its break.
      const bool same_text = code.text == alias.text && code.kind != GameCodeKind::kLineBreak;
      return same_text || (code.text.size() == alias.text.size() &&
                                         IsLabelShaped(code.text) && IsLabelShaped(alias.text) &&
                                         std::equal(code.text.begin(), code.text.end(),
                                                    alias.text.begin(), TextEqual));
    });
    if (taken) continue;
    GameCode other = codes[alias.code];
    other.text = alias.text;
    // Never before a code of the same text: the codes' lines come first.
    other.line = SIZE_MAX / 2 + all.size();
    all.push_back(std::move(other));
  }
  const bool labels = std::any_of(all.begin(), all.end(), [](const GameCode& code) {
    const std::u16string t = Trimmed(code.text);
    return IsLabel(t) && !HexLabelBytes(t);
  });
  GameWalk walk{all, labels, PlaceUnits(text, line_breaks), {}};
  std::size_t i = 0;
  while (i < walk.units.size()) {
    const PlacedUnit& at = walk.units[i];
    if (IsMark(at.unit, detail::Special::kTagClose)) {
      walk.Miss();
      walk.Report(ProblemCode::kStrayTagClose, at, at.unit);
      ++i;
      continue;
    }
    i = IsMark(at.unit, detail::Special::kTagOpen) ? walk.Tag(i) : walk.Run(i);
  }
  walk.Miss();
  return std::move(walk.out);
}

}  // namespace binconv::test
