#include "conversion/report.h"

#include <algorithm>
#include <map>
#include <utility>

namespace binconv {
namespace {

using detail::Special;

// Walks the units of a text as Encoder numbers them: a CR LF pair is one
// line break at the place of its CR, a lone CR or LF ends a line too.
class PlaceWalker {
 public:
  explicit PlaceWalker(std::u16string_view text) : text_(text) {}

  // Moves to the unit at (line, column); false when the text has no such place.
  bool SeekTo(std::size_t line, std::size_t column) {
    while (offset_ < text_.size()) {
      if (line_ == line && column_ + 1 == column) return true;
      Advance();
    }
    return false;
  }
  std::size_t offset() const { return offset_; }

 private:
  void Advance() {
    const char16_t ch = text_[offset_++];
    ++column_;
    if (ch == u'\r' || ch == u'\n') {
      ++line_;
      column_ = 0;
    }
    if (ch == u'\r' && offset_ < text_.size() && text_[offset_] == u'\n') ++offset_;
  }

  std::u16string_view text_;
  std::size_t offset_ = 0;
  std::size_t line_ = 1;
  std::size_t column_ = 0;  // of the unit before offset_
};

// The units a problem stands for, starting at `at`.
std::size_t ProblemWidth(std::u16string_view text, std::size_t at, const EncodeProblem& problem) {
  if (problem.ch > 0xFFFF) return 2;
  if (text[at] == u'\r' && at + 1 < text.size() && text[at + 1] == u'\n') return 2;
  return 1;
}

}  // namespace

std::size_t CoverageReport::converted() const {
  std::size_t total = 0;
  for (const std::size_t count : by_page) total += count;
  return total;
}

CoverageReport MakeCoverageReport(std::u16string_view text, const CharTable& table,
                                  LineBreaks line_breaks, std::span<const EncodeProblem> problems) {
  CoverageReport report;
  const bool any = line_breaks == LineBreaks::kAny;
  bool in_tag = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t ch = text[i];
    if (ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      ch = kLineBreakMark;
      ++i;
    } else if ((ch == u'\r' || ch == u'\n') && any) {
      ch = kLineBreakMark;
    }
    const Special special = detail::ClassifySpecial(ch);
    if (special == Special::kTagOpen) {
      in_tag = true;
      continue;
    }
    if (special == Special::kTagClose) {
      in_tag = false;
      continue;
    }
    if (in_tag) {
      if (detail::HexValue(ch) >= 0) ++report.tag_digits;
    } else if (special == Special::kLineBreak) {
      ++report.line_breaks;
    } else if (special == Special::kSpace) {
      ++report.spaces;
    } else if (const std::optional<CellCode> code = table.Find(ch)) {
      // A surrogate pair without a code is one problem; a unit with a code
      // counts on its own, as Encoder writes it.
      ++report.by_page[code->page];
    }
  }

  std::map<std::pair<EncodeProblem::Kind, char32_t>, std::size_t> seen;
  for (const EncodeProblem& problem : problems) {
    auto [at, inserted] = seen.try_emplace({problem.kind, problem.ch}, report.missing.size());
    if (inserted) {
      report.missing.push_back({problem.kind, problem.ch, 0, problem.line, problem.column});
    }
    ++report.missing[at->second].count;
  }
  std::stable_sort(report.missing.begin(), report.missing.end(),
                   [](const MissingChar& a, const MissingChar& b) { return a.kind < b.kind; });
  report.missing_total = problems.size();
  return report;
}

std::u16string DropProblems(std::u16string_view text, std::span<const EncodeProblem> problems) {
  std::u16string out;
  out.reserve(text.size() + problems.size() * 2);
  PlaceWalker walker(text);
  std::size_t copied = 0;
  for (const EncodeProblem& problem : problems) {
    if (!walker.SeekTo(problem.line, problem.column)) break;
    const std::size_t at = walker.offset();
    if (at < copied) continue;
    out.append(text.substr(copied, at - copied));
    // An empty tag outside a tag, and a space inside one, write nothing and
    // keep a CR and an LF on either side apart.
    out += problem.kind == EncodeProblem::Kind::kNoCode ? u"<>" : u" ";
    copied = at + ProblemWidth(text, at, problem);
  }
  out.append(text.substr(std::min(copied, text.size())));
  return out;
}

EncodeOutcome EncodeWithReport(std::u16string_view text, const CharTable& table,
                               LineBreaks line_breaks, bool drop_problems) {
  EncodeOutcome outcome;
  Encoder encoder(table, line_breaks);
  encoder.Feed(text, outcome.bytes);
  encoder.Finish(outcome.bytes);
  outcome.problems = encoder.problems();
  outcome.odd_count = encoder.odd_count();
  outcome.report = MakeCoverageReport(text, table, line_breaks, outcome.problems);
  if (drop_problems && !outcome.problems.empty()) {
    const std::u16string kept = DropProblems(text, outcome.problems);
    outcome.bytes.clear();
    encoder.Feed(kept, outcome.bytes);
    encoder.Finish(outcome.bytes);
    outcome.odd_count = encoder.odd_count();
    // Anything still refused means the drop went wrong; then nothing counts as dropped.
    outcome.dropped = encoder.problems().empty() ? outcome.problems.size() : 0;
  }
  return outcome;
}

}  // namespace binconv
