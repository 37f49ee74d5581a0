#include "codec/game_listing.h"

#include <span>
#include <utility>

#include "chartable/encoding.h"
#include "runtime/utf16.h"

namespace binconv {
GameCodeConverter::GameCodeConverter(const GameTable& table, LineBreaks line_breaks)
    : table_(table), encoder_(table, line_breaks) {
  encoder_.set_offsets(&offsets_);
}

void GameCodeConverter::ListSettled(std::u16string& out) {
  const std::span<const EncodeProblem> problems = encoder_.problems();
  for (std::size_t i = 0; i < offsets_.size(); ++i) {
    const UnitOffset& unit = offsets_[i];
    for (; problems_listed_ < unit.problems; ++problems_listed_) {
      PutMark(problems[problems_listed_], out);
    }
    const std::size_t end = i + 1 < offsets_.size() ? offsets_[i + 1].byte : bytes_.size();
    PutBytes(std::span(bytes_).subspan(unit.byte, end - unit.byte), out);
  }
  for (; problems_listed_ < problems.size(); ++problems_listed_) {
    PutMark(problems[problems_listed_], out);
  }
  offsets_.clear();
  bytes_.clear();
}

void GameCodeConverter::Feed(std::u16string_view chunk, std::u16string& out) {
  out_start_ = out.size();
  encoder_.Feed(chunk, bytes_);
  ListSettled(out);
  listed_ += out.size() - out_start_;
}

void GameCodeConverter::Finish(std::u16string& out) {
  out_start_ = out.size();
  encoder_.Finish(bytes_);
  ListSettled(out);
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
  const bool unmarked = problem.ch == 0 || problem.ch == u'\n' || problem.ch == kLineBreakMark;
  const char32_t ch = unmarked ? kProblemMark : problem.ch;
  const std::u16string units = Utf16Of(ch);
  if (uncoded_ != nullptr) {
    uncoded_->push_back(
        {listed_ + (out.size() - out_start_), units.size(), problem.line, problem.column, ch,
         problem.kind});
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
