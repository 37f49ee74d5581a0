#include "codec/game_listing.h"

#include <algorithm>
#include <span>
#include <utility>

#include "chartable/encoding.h"
#include "runtime/utf16.h"

namespace binconv {
namespace {

// Settles a replay: a lone high surrogate, which no text of a table holds
// (a .tbl is decoded text) and which joins nothing that follows it.
constexpr char16_t kSettler = u'\xDBFF';

bool IsSettler(const EncodeProblem& problem) {
  return problem.kind == ProblemCode::kNoCode && problem.ch == kSettler;
}

// The most units the encoder may hold back: its longest text in units (a
// line break after a text counts as one more, and may be CR LF), twice.
std::size_t RecentLimit(const GameTable& table) {
  std::size_t longest = 2;
  for (const GameCode& code : table.codes()) {
    const bool breaks = code.kind == GameCodeKind::kLineBreak && !code.text.empty();
    longest = std::max(longest, code.text.size() + (breaks ? 1 : 0));
  }
  return 2 * longest + 2;
}

}  // namespace

GameCodeConverter::GameCodeConverter(const GameTable& table, LineBreaks line_breaks)
    : table_(table),
      line_breaks_(line_breaks),
      encoder_(table, line_breaks),
      recent_limit_(RecentLimit(table)) {}

template <class Step>
void GameCodeConverter::ListStep(Step&& step, bool settles_run, std::u16string& out) {
  bytes_.clear();
  const std::size_t first = problems_listed_;
  step();
  const std::span<const EncodeProblem> found = std::span(encoder_.problems()).subspan(first);
  problems_listed_ = encoder_.problems().size();
  // A control's missing parameters are due before whatever came next, and
  // a tag's own problems before its bytes.
  std::vector<EncodeProblem> with_char;
  for (const EncodeProblem& problem : found) {
    if (problem.ch == 0) {
      PutMark(problem, out);
    } else {
      with_char.push_back(problem);
    }
  }
  std::vector<Placed> placed;
  if (settles_run && !with_char.empty() && !bytes_.empty()) placed = PlaceByReplay(with_char);
  if (placed.empty()) {
    for (const EncodeProblem& problem : with_char) placed.push_back({problem, 0});
  }
  std::size_t listed = 0;
  for (const Placed& p : placed) {
    PutBytes(std::span(bytes_).subspan(listed, p.bytes_before - listed), out);
    listed = p.bytes_before;
    PutMark(p.problem, out);
  }
  PutBytes(std::span(bytes_).subspan(listed), out);
}

std::vector<GameCodeConverter::Placed> GameCodeConverter::PlaceByReplay(
    std::span<const EncodeProblem> found) {
  std::vector<std::uint8_t> bytes;
  std::vector<Placed> placed;
  const auto same = [](const EncodeProblem& a, const Placed& b) {
    return a.kind == b.problem.kind && a.ch == b.problem.ch;
  };
  for (std::size_t length = 1; length <= std::min(recent_.size(), recent_limit_); ++length) {
    const std::u16string_view units = std::u16string_view(recent_).substr(recent_.size() - length);
    if (!Replay(units, bytes, placed)) break;
    if (bytes == bytes_ &&
        std::equal(found.begin(), found.end(), placed.begin(), placed.end(), same)) {
      for (std::size_t i = 0; i < found.size(); ++i) placed[i].problem = found[i];
      return placed;
    }
  }
  return {};
}

bool GameCodeConverter::Replay(std::u16string_view units, std::vector<std::uint8_t>& bytes,
                               std::vector<Placed>& placed) {
  const auto opens_tag = [](char16_t unit) {
    return detail::ClassifySpecial(unit) == detail::Special::kTagOpen;
  };
  // The run a tag settles never holds a tag.
  if (std::any_of(units.begin(), units.end(), opens_tag)) return false;
  GameEncoder& probe = probe_ ? *probe_ : probe_.emplace(table_, line_breaks_);
  bytes.clear();
  placed.clear();
  bool settled = false;
  const auto take = [&](char16_t unit) {
    const std::size_t before = bytes.size();
    const std::size_t seen = probe.problems().size();
    probe.Feed(std::u16string_view(&unit, 1), bytes);
    for (const EncodeProblem& problem : std::span(probe.problems()).subspan(seen)) {
      settled = settled || IsSettler(problem);
      if (!settled && problem.ch != 0) placed.push_back({problem, before});
    }
  };
  for (const char16_t unit : units) take(unit);
  // Each settler pushes one more unit out, until the first one goes.
  for (std::size_t n = 0; n <= recent_limit_ && !settled; ++n) take(kSettler);
  std::vector<std::uint8_t> rest;
  probe.Finish(rest);
  probe.clear_problems();
  return settled;
}

void GameCodeConverter::Feed(std::u16string_view chunk, std::u16string& out) {
  out_start_ = out.size();
  for (const char16_t& unit : chunk) {
    // A tag settles the text before it at once.
    const bool opens_tag = detail::ClassifySpecial(unit) == detail::Special::kTagOpen;
    ListStep([&] { encoder_.Feed(std::u16string_view(&unit, 1), bytes_); }, opens_tag, out);
    recent_ += unit;
  }
  if (recent_.size() > 2 * recent_limit_) recent_.erase(0, recent_.size() - recent_limit_);
  listed_ += out.size() - out_start_;
}

void GameCodeConverter::Finish(std::u16string& out) {
  out_start_ = out.size();
  ListStep([&] { encoder_.Finish(bytes_); }, true, out);
  recent_.clear();
  listed_ = 0;
}

bool GameCodeConverter::FeedUtf8(std::string_view bytes, std::string& listing) {
  return utf8_.Feed(*this, bytes, [](std::string_view) { return Utf8TextInput::kRunClosed; }, listing);
}

bool GameCodeConverter::FinishUtf8(std::string& listing) { return utf8_.Finish(*this, listing); }

void GameCodeConverter::clear_problems() {
  encoder_.clear_problems();
  problems_listed_ = 0;
}

void GameCodeConverter::PutMark(const EncodeProblem& problem, std::u16string& out) {
  // A line break stays a line break in the listing, where nothing would mark it.
  const char32_t ch = problem.ch == 0 || problem.ch == u'\n' ? kProblemMark : problem.ch;
  const std::u16string units = Utf16Of(ch);
  if (uncoded_ != nullptr) {
    uncoded_->push_back(
        {listed_ + (out.size() - out_start_), units.size(), problem.line, problem.column, ch});
  }
  out += units;
  out += u' ';
}

void GameCodeConverter::PutBytes(std::span<const std::uint8_t> bytes, std::u16string& out) {
  // Read back code by code only to end a line-break code's line: the bytes
  // are written the same whichever way they are cut.
  while (!bytes.empty()) {
    const GameTableUnit unit = table_.ReadUnit(bytes, true);
    const std::size_t size = std::max<std::size_t>(unit.size, 1);
    for (const std::uint8_t byte : bytes.first(size)) {
      out += detail::TextOfByte(byte).view();
      out += u' ';
    }
    if (unit.kind == GameUnitKind::kCode &&
        table_.codes()[unit.code].kind == GameCodeKind::kLineBreak) {
      out.back() = u'\r';
      out += u'\n';
    }
    bytes = bytes.subspan(size);
  }
}

std::u16string ConvertToCode(std::u16string_view text, const GameTable& table,
                             LineBreaks line_breaks, std::vector<UncodedChar>* uncoded,
                             std::vector<EncodeProblem>* problems) {
  std::u16string out;
  GameCodeConverter converter(table, line_breaks);
  converter.set_uncoded(uncoded);
  converter.Feed(text, out);
  converter.Finish(out);
  if (problems != nullptr) *problems = converter.problems();
  return out;
}

}  // namespace binconv
