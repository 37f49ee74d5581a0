#include "codec/encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "chartable/encoding.h"
#include "codec/listing.h"
#include "runtime/block_size.h"
#include "runtime/compare.h"
#include "runtime/hex.h"
#include "runtime/utf16.h"

namespace binconv {
namespace {

using detail::Special;
using detail::TextPlace;

constexpr char32_t kBreak = GameTextIndex::kBreakUnit;

}  // namespace

Encoder::Encoder(GameTable table, LineBreaks line_breaks)
    : table_(std::move(table)),
      index_(table_.text_index()),
      line_breaks_(line_breaks),
      path_(table_) {
  // A text that begins with a break sends breaks the plain way.
  if (const auto code = index_.break_code();
      code && index_.LongestFrom(kBreak) <= 1 && !index_.Open(*code)) {
    break_ = index_.FastCodeOf(*code);
  }
}

void Encoder::Feed(std::u16string_view chunk, std::vector<std::uint8_t>& out) {
  out_ = &out;
  const char16_t* p = chunk.data();
  const char16_t* const end = p + chunk.size();
  while (p != end) {
    // Counting takes each unit the plain way.
    if (Settled() && counts_ == nullptr) {
      p = RunFast(p, end, out);
      if (p == end) break;
    }
    Unit(*p++, out);
  }
}

namespace {

void PutCode(std::uint32_t bytes, std::uint8_t count, std::uint8_t*& w) {
  // All four stored, the count kept: no branch on it.
  static_assert(GameTextIndex::kFastCodeBytes == sizeof bytes);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(w, &bytes, sizeof bytes);
  } else {
    for (std::size_t i = 0; i < sizeof bytes; ++i) {
      w[i] = static_cast<std::uint8_t>(bytes >> (8 * i));
    }
  }
  w += count;
}

// The bulk of a text: units with a code of their own where no pair's text
// begins, up to `last`, before which the next unit is always there. A loop
// of its own, with no branch that goes one way one time and the other the
// next, and few values to keep.
const char16_t* TakeCodes(const char16_t* p, const char16_t* last,
                          GameTextIndex::FastTables tables, std::uint8_t*& w) {
  std::uint8_t* out = w;
  for (; p < last; ++p) {
    const GameTextIndex::FastUnit unit = tables.Of(*p);
    if (unit.fast != GameTextIndex::Fast::kCode || tables.MayPair(unit, p[1])) break;
    PutCode(unit.bytes, unit.count, out);
  }
  w = out;
  return p;
}

}  // namespace

const char16_t* Encoder::RunFast(const char16_t* p, const char16_t* const end,
                                     std::vector<std::uint8_t>& out) {
  using Fast = GameTextIndex::Fast;
  const GameTextIndex::FastTables tables = index_.fast_tables();
  // The output is gathered here so that it grows once a block: a step takes
  // a unit or more and writes one code, with room for all four of its bytes.
  std::uint8_t buffer[kEncodeBlock * GameTextIndex::kFastCodeBytes];
  const char16_t* const start = p;
  const char16_t* line_start = p;  // just past the last line break taken
  std::size_t breaks = 0;
  bool blocked = false;
  while (!blocked && p != end) {
    std::uint8_t* w = buffer;
    const char16_t* const stop = end - p > std::ptrdiff_t{kEncodeBlock} ? p + kEncodeBlock : end;
    const char16_t* const last = stop == end ? end - 1 : stop;
    while (p < stop) {
      // Kept offsets take the units one step each, which knows its place.
      if (offsets_ == nullptr) {
        p = TakeCodes(p, last, tables, w);
        if (p == stop) break;
      }
      const GameTextIndex::FastUnit unit = tables.Of(*p);
      const Step step = SlowStep(unit, p, end);
      if (step.units == 0) {
        blocked = true;
        break;
      }
      if (offsets_ != nullptr) {
        // No surrogate is taken here: each unit is a column.
        const std::size_t column = breaks > 0 ? static_cast<std::size_t>(p - line_start)
                                              : place_.column + static_cast<std::size_t>(p - start);
        offsets_->push_back({{place_.line + breaks, column + 1},
                             out.size() + static_cast<std::size_t>(w - buffer),
                             problems_.size()});
      }
      PutCode(step.code.bytes, step.code.count, w);
      if (listing_ != nullptr && step.code.ends_line) {
        listing_->marks.push_back(
            {ListingMark::Kind::kLineEnd, out.size() + static_cast<std::size_t>(w - buffer)});
      }
      p += step.units;
      if (unit.fast == Fast::kCr || unit.fast == Fast::kLf) {
        ++breaks;
        line_start = p;
      }
    }
    out.insert(out.end(), buffer, w);
  }
  // No surrogate was taken: each unit is a column, and the next begins one.
  if (p != start) {
    if (breaks > 0) {
      place_.line += breaks;
      place_.column = static_cast<std::size_t>(p - line_start);
    } else {
      place_.column += static_cast<std::size_t>(p - start);
    }
    last_unit_ = 0;
  }
  return p;
}

Encoder::Step Encoder::SlowStep(GameTextIndex::FastUnit unit, const char16_t* p,
                                        const char16_t* end) {
  switch (unit.fast) {
    case GameTextIndex::Fast::kCode:
      if (index_.LongestFrom(*p) < 2) return {1, {unit.bytes, unit.count}};
      return PairStep(p, end);
    case GameTextIndex::Fast::kCr:
    case GameTextIndex::Fast::kLf:
      return BreakStep(p, end);
    default:
      return {};
  }
}

Encoder::Step Encoder::PairStep(const char16_t* p, const char16_t* end) const {
  // The units from here on that each pair with the next: a chain of texts of
  // one or two units, cut where a unit pairs with none after it. Over it the
  // plain way's fewest bytes is a walk back from its end; the first step of
  // the best way is this one. Anything else goes the plain way.
  constexpr std::size_t kLongestChain = 32;
  const GameTextIndex::FastTables tables = index_.fast_tables();
  GameTextIndex::FastUnit units[kLongestChain + 1];
  const GameTextIndex::FastCode* pairs[kLongestChain];
  std::size_t n = 0;
  units[0] = tables.Of(p[0]);
  for (;;) {
    if (p + n + 1 == end || n == kLongestChain) return {};  // may go on past what is here
    const GameTextIndex::FastUnit next = tables.Of(p[n + 1]);
    const bool may_pair = tables.MayPair(units[n], p[n + 1]);
    if (next.fast != GameTextIndex::Fast::kCode) {
      if (may_pair) return {};  // a pair with a break, or a unit the plain way takes
      break;
    }
    const GameTextIndex::FastCode* pair = may_pair ? index_.PairCode(p[n], p[n + 1]) : nullptr;
    if (pair == nullptr) break;
    pairs[n++] = pair;
    units[n] = next;
  }
  // cost[i]: the fewest bytes from unit i to the chain's end; a tie takes the pair.
  std::size_t cost[kLongestChain + 2];
  cost[n + 1] = 0;
  cost[n] = units[n].count;
  bool take_pair = false;
  for (std::size_t i = n; i-- > 0;) {
    const std::size_t alone = units[i].count + cost[i + 1];
    const std::size_t with_pair = pairs[i]->count + cost[i + 2];
    take_pair = with_pair <= alone;
    cost[i] = take_pair ? with_pair : alone;
  }
  if (take_pair) return {2, *pairs[0]};
  return {1, {units[0].bytes, units[0].count}};
}

Encoder::Step Encoder::BreakStep(const char16_t* p, const char16_t* end) const {
  if (break_.count == 0 || end - p < 2) return {};  // a CR waits for what follows
  const bool crlf = p[0] == u'\r' && p[1] == u'\n';
  const bool any = line_breaks_ == LineBreaks::kAny;
  if (!crlf && !any) return {};  // a lone CR or LF is looked up as a character
  return {crlf ? std::size_t{2} : std::size_t{1}, break_};
}

void Encoder::Finish(std::vector<std::uint8_t>& out) {
  out_ = &out;
  if (pending_cr_) Take({u'\r', cr_place_}, out);
  if (tags_.open()) {
    const std::optional<detail::TagProblem> open = tags_.End();
    CloseTag(std::nullopt, false, out);
    if (listing_ == nullptr) Report(open);
  }
  WriteRun(true, out);
  if (split_params_) TellSplitParams();
  if (params_place_) MissParams();
  back_.Settle();  // the text ends: its string's end follows
  pending_cr_ = after_cr_ = false;
  breaks_after_label_ = 0;
  place_ = {};
  last_unit_ = 0;
}

bool Encoder::FeedUtf8(std::string_view bytes, std::vector<std::uint8_t>& out) {
  return input_.Take(
      bytes, [](std::string_view) { return Utf8TextInput::kRunClosed; },
      [&](std::u16string_view text) { Feed(text, out); });
}

bool Encoder::FinishUtf8(std::vector<std::uint8_t>& out) {
  const bool good = input_.Finish();
  Finish(out);
  return good;
}

// Line breaks are settled here, as LineBreaks says, before anything else
// sees the units.
void Encoder::Unit(char16_t ch, std::vector<std::uint8_t>& out) {
  if (ch == u'\n' && after_cr_) {
    // The LF of a CR LF: its place is on the CR's line, which has ended.
    after_cr_ = false;
    if (pending_cr_) {
      pending_cr_ = false;
      Take({kBreak, cr_place_}, out);
    }
    return;
  }
  const bool was_cr = std::exchange(after_cr_, false);
  if (pending_cr_ && was_cr) {
    pending_cr_ = false;
    Take({u'\r', cr_place_}, out);
  }
  const TextPlace here = detail::StepPlace(place_, last_unit_, ch);
  if (ch == u'\r') {
    after_cr_ = true;
    if (line_breaks_ == LineBreaks::kAny) {
      Take({kBreak, here}, out);
    } else {
      pending_cr_ = true;
      cr_place_ = here;
    }
    return;
  }
  const bool is_break = ch == u'\n' && line_breaks_ == LineBreaks::kAny;
  Take({is_break ? kBreak : ch, here}, out);
}

void Encoder::Take(Token token, std::vector<std::uint8_t>& out) {
  if (tags_.open()) {
    TakeInTag(token, out);
    return;
  }
  if (split_params_ && index_.MarkOf(token.unit) != Special::kTagOpen) TellSplitParams();
  // The breaks a label's code shows after its label are the code's own.
  if (breaks_after_label_ > 0 && token.unit == GameTextIndex::kBreakUnit) {
    --breaks_after_label_;
    return;
  }
  breaks_after_label_ = 0;
  const Special mark = index_.MarkOf(token.unit);
  if (mark == Special::kTagOpen) {
    // Tags are read first: no text of the table goes on across one. The run
    // before it is settled with the tag's bytes, when the tag closes.
    tags_.Open(static_cast<char16_t>(token.unit), token.place);
    tag_place_ = token.place;
    tag_mark_ = static_cast<char16_t>(token.unit);
    return;
  }
  if (mark == Special::kTagClose) {
    // A ">" that closes no tag is never taken for a text of the table,
    // which decode would not have shown so.
    WriteRun(true, out);
    if (params_place_) MissParams();
    const std::optional<detail::TagProblem> stray =
        tags_.Close(static_cast<char16_t>(token.unit), token.place);
    if (listing_ != nullptr) {
      PushTyped(u" ", problems_.size(), out.size());
    } else {
      Report(stray);
    }
    return;
  }
  run_.push_back(token);
  path_.Push(token.unit, back_);
  // Written as soon as it is final, so that a long chunk holds few units.
  WriteRun(false, out);
}

void Encoder::TakeInTag(Token token, std::vector<std::uint8_t>& out) {
  const char32_t unit = token.unit;
  const auto ch = static_cast<char16_t>(unit);
  const TextPlace place = token.place;
  if (index_.MarkOf(unit) == Special::kTagClose) {
    CloseTag(tags_.Close(ch, place), true, out);
    return;
  }
  // A label has no line break, which stands here as an LF.
  if (tag_text_.size() <= index_.longest_label()) {
    tag_text_ += unit == kBreak ? u'\n' : FoldForTextCompare(ch);
  }
  if (unit == kBreak || (listing_ != nullptr && ch == kLineBreakMark)) {
    const detail::TagProblem found = tags_.LineBreak(place, kLineBreakMark);
    if (listing_ != nullptr) {
      // The listing keeps its mark, which no byte can be read from.
      tag_typed_ += kLineBreakMark;
      tag_marks_.push_back({found.kind, place.line, place.column, found.ch});
      return;
    }
    tag_bad_.push_back({found.kind, place.line, place.column, found.ch});
    return;
  }
  if (index_.MarkOf(unit) == Special::kTagOpen) {
    tag_nested_ = true;
    const detail::TagProblem found = *tags_.Open(ch, place);
    tag_bad_.push_back({found.kind, place.line, place.column, found.ch});
    return;
  }
  tags_.Content(ch);
  if (listing_ != nullptr) tag_typed_ += ch;
  if (index_.has_labels() && tag_content_.size() < kLabelShown) tag_content_ += ch;
  if (const int value = HexValue(ch); value >= 0) {
    if (tag_nibble_ < 0) {
      tag_nibble_ = value;
    } else {
      tag_bytes_.push_back(static_cast<std::uint8_t>(tag_nibble_ * 16 + value));
      tag_nibble_ = -1;
    }
  } else if (IsLowSurrogate(ch) && !tag_bad_.empty() &&
             IsHighSurrogate(static_cast<char16_t>(tag_bad_.back().ch)) &&
             tag_bad_.back().line == place.line && tag_bad_.back().column == place.column) {
    // The low unit of a pair shares its high unit's column.
    tag_bad_.back().ch = CombineSurrogates(static_cast<char16_t>(tag_bad_.back().ch), ch);
  } else if (!IsListingSeparator(ch) && ch != u'\r' && ch != u'\n') {
    tag_bad_.push_back({ProblemCode::kNotHexInTag, place.line, place.column, ch});
  }
}

void Encoder::CloseTag(std::optional<detail::TagProblem> empty, bool closed,
                           std::vector<std::uint8_t>& out) {
  // A listing copies a tag left open as it is, as the writer will read it.
  const bool may_label = !tag_nested_ && tag_text_.size() <= index_.longest_label() &&
                         (closed || listing_ == nullptr);
  const std::optional<std::uint32_t> label =
      may_label ? index_.CodeOfLabel(tag_text_) : std::nullopt;
  WriteRunBeforeTag(label, out);
  if (label) {
    if (params_place_) MissParams();
    WriteCode(*label, tag_place_, out);
    breaks_after_label_ = BreaksAfterText(table_.codes()[*label]);
  } else if (listing_ != nullptr) {
    ListTypedTag(closed, out);
  } else {
    if (empty) tag_bad_.push_back({empty->kind, empty->place.line, empty->place.column, empty->ch});
    WriteHexTag(out);
  }
  tag_nested_ = false;
  tag_typed_.clear();
  tag_content_.clear();
  tag_text_.clear();
  tag_bytes_.clear();
  tag_bad_.clear();
  tag_marks_.clear();
  tag_nibble_ = -1;
}

void Encoder::TakeParams() {
  if (!params_place_) return;
  const bool clean = tag_bad_.empty() && tag_nibble_ < 0;
  const bool fits = clean && tag_bytes_.size() == params_due_;
  if (!fits && clean && listing_ == nullptr && !tag_bytes_.empty() &&
      tag_bytes_.size() < params_due_) {
    split_params_ = SplitParams{*params_place_, params_code_, params_due_, tag_bytes_};
  } else if (!fits) {
    MissParams();
  }
  params_place_.reset();
}

void Encoder::GatherSplitParams() {
  SplitParams& split = *split_params_;
  const bool more = tag_bad_.empty() && tag_nibble_ < 0 && !tag_bytes_.empty() &&
                    tag_bytes_.size() <= split.due - split.bytes.size();
  if (!more) {
    TellSplitParams();
    return;
  }
  split.bytes.insert(split.bytes.end(), tag_bytes_.begin(), tag_bytes_.end());
  if (split.bytes.size() < split.due) return;
  // All its bytes, in tags of their own: the one tag they make.
  EncodeProblem problem{ProblemCode::kNoParams, split.place.line, split.place.column, 0};
  problem.text = std::u16string(WithoutBreaks(table_.codes()[split.code].text)) + u'<';
  for (const std::uint8_t byte : split.bytes) {
    problem.text += HexDigits[byte >> 4];
    problem.text += HexDigits[byte & 0xF];
  }
  problem.text += u'>';
  split_params_.reset();
  problems_.push_back(std::move(problem));
}

void Encoder::TellSplitParams() {
  const TextPlace place = split_params_->place;
  split_params_.reset();
  Report(ProblemCode::kNoParams, place, 0);
}

void Encoder::ListTypedTag(bool closed, std::vector<std::uint8_t>& out) {
  const bool params = params_place_.has_value();
  TakeParams();
  // Its marks' problems come after those of the run before it.
  const std::size_t problem = problems_.size();
  problems_.insert(problems_.end(), tag_marks_.begin(), tag_marks_.end());
  if (closed) tag_typed_ += u' ';
  PushTyped(tag_typed_, problem, out.size());
  // The writer reads the typed tag's bytes just as a hex tag's.
  ReadBackTag(tag_bytes_, params);
}

void Encoder::PushTyped(std::u16string_view text, std::size_t problem, std::size_t byte) {
  const std::size_t first = listing_->typed.size();
  listing_->typed += text;
  listing_->marks.push_back(
      {ListingMark::Kind::kTyped, byte, first, listing_->typed.size(), problem});
}

void Encoder::WriteHexTag(std::vector<std::uint8_t>& out) {
  if (index_.has_labels()) TakeUnknownLabel();
  // The tags after a control's short parameter tag are told before their own problems.
  if (split_params_) GatherSplitParams();
  problems_.insert(problems_.end(), tag_bad_.begin(), tag_bad_.end());
  if (tag_nibble_ >= 0) Report(ProblemCode::kOddCount, tag_place_, 0);
  const bool params = params_place_.has_value();
  TakeParams();
  if (offsets_ != nullptr && !tag_bytes_.empty()) {
    offsets_->push_back({tag_place_, out.size(), problems_.size()});
  }
  if (counts_ != nullptr) counts_->tag_digits += 2 * tag_bytes_.size() + (tag_nibble_ >= 0);
  out.insert(out.end(), tag_bytes_.begin(), tag_bytes_.end());
  ReadBackTag(tag_bytes_, params);
}

void Encoder::TakeUnknownLabel() {
  // With labels in the table, a tag with a letter that is no hex digit was
  // meant for one: it is told once, with the labels nearest to it, and
  // writes no bytes.
  const auto letter = [](const EncodeProblem& p) { return p.kind == ProblemCode::kNotHexInTag; };
  const auto first = std::find_if(tag_bad_.begin(), tag_bad_.end(), letter);
  if (first == tag_bad_.end()) return;
  EncodeProblem unknown{ProblemCode::kUnknownLabel, tag_place_.line, tag_place_.column, tag_mark_};
  unknown.text = tag_mark_ + tag_content_ + (tags_.open() ? u"" : u">");
  std::u16string folded;
  for (const char16_t ch : tag_content_) folded += FoldForTextCompare(ch);
  for (const std::uint32_t code : index_.NearestLabels(folded, kLabelsSuggested)) {
    unknown.nearest.emplace_back(WithoutBreaks(table_.codes()[code].text));
  }
  *first = std::move(unknown);
  tag_bad_.erase(std::remove_if(first + 1, tag_bad_.end(), letter), tag_bad_.end());
  tag_bytes_.clear();
  tag_nibble_ = -1;
}

void Encoder::SplitTagBytes(std::span<const std::uint8_t> bytes) {
  tag_units_.clear();
  for (std::size_t at = 0; at < bytes.size();) {
    const GameTableUnit unit = table_.ReadUnit(bytes.subspan(at), true);
    const std::size_t size = std::max<std::size_t>(unit.size, 1);
    const GameCode* code = unit.kind == GameUnitKind::kCode ? &table_.codes()[unit.code] : nullptr;
    const std::size_t chosen = code != nullptr ? std::min(size, code->bytes.size()) : size;
    tag_units_.push_back({bytes.subspan(at, size), chosen, code, true});
    at += size;
  }
}

void Encoder::WriteRunBeforeTag(std::optional<std::uint32_t> label,
                                std::vector<std::uint8_t>& out) {
  if (path_.empty()) return;
  if (index_.read_back().none_open()) {
    WriteRun(true, out);  // no bytes change how the run reads back
    return;
  }
  if (label) {
    const GameCode& code = table_.codes()[*label];
    tag_units_.assign(1, {code.bytes, code.bytes.size(), &code, false});
  } else {
    SplitTagBytes(tag_bytes_);
  }
  path_.PushTag(tag_units_);
  WriteRun(true, out);
}

void Encoder::ReadBackTag(std::span<const std::uint8_t> bytes, bool params) {
  const ReadBackRule& rule = index_.read_back();
  // Typed bytes may end inside a code of several bytes, which the text after
  // them would then complete.
  if (rule.none_open() || bytes.empty()) return;
  bool good = true;
  if (params) {
    good = back_.AddBytes(rule, bytes);
  } else {
    // Typed bytes read as decode reads them, each unit as it is read.
    SplitTagBytes(bytes);
    for (const detail::TextPath::TagUnit& unit : tag_units_) {
      good = back_.AddUnit(rule, unit.bytes, unit.chosen, unit.code, true) && good;
    }
  }
  if (!good) Report(ProblemCode::kReadsAsOther, tag_place_, tag_mark_);
}

void Encoder::WriteRun(bool at_end, std::vector<std::uint8_t>& out) {
  const detail::TextPath::Settled settled = path_.Settle(at_end);
  std::size_t units = settled.units;
  for (const detail::TextPath::Step& step : settled.steps) {
    if (step.kind == detail::TextPath::Step::Kind::kTag) {
      --units;  // the tag's own, which its close writes
      continue;
    }
    if (params_place_) MissParams();
    const Token& front = run_[run_start_ + step.first];
    if (step.kind == detail::TextPath::Step::Kind::kCode) {
      WriteCode(step.code, front.place, out);
    } else if (front.unit == kBreak) {
      Report(ProblemCode::kNoLineBreakCode, front.place, u'\n');
    } else {
      char32_t ch = front.unit;
      if (step.units == 2) {
        ch = CombineSurrogates(static_cast<char16_t>(ch),
                               static_cast<char16_t>(run_[run_start_ + step.first + 1].unit));
      }
      Report(ProblemCode::kNoCode, front.place, ch);
    }
  }
  run_start_ += units;
  if (run_start_ == run_.size()) {
    run_.clear();
    run_start_ = 0;
  } else if (run_start_ > 4096) {
    run_.erase(run_.begin(), run_.begin() + static_cast<std::ptrdiff_t>(run_start_));
    run_start_ = 0;
  }
}

void Encoder::WriteCode(std::uint32_t index, TextPlace place, std::vector<std::uint8_t>& out) {
  const GameCode& code = table_.codes()[index];
  if ((!back_.empty() || index_.Open(index)) &&
      !back_.AddUnit(index_.read_back(), code.bytes, code.bytes.size(), &code)) {
    Report(ProblemCode::kReadsAsOther, place, code.text.empty() ? 0 : code.text[0]);
  }
  if (offsets_ != nullptr) offsets_->push_back({place, out.size(), problems_.size()});
  if (counts_ != nullptr) Count(code);
  out.insert(out.end(), code.bytes.begin(), code.bytes.end());
  if (listing_ != nullptr && code.kind == GameCodeKind::kLineBreak) {
    listing_->marks.push_back({ListingMark::Kind::kLineEnd, out.size()});
  }
  if (code.kind == GameCodeKind::kControl && code.params > 0) {
    params_place_ = place;
    params_due_ = code.params;
    params_code_ = index;
  }
}

void Encoder::Count(const GameCode& code) {
  if (code.kind == GameCodeKind::kLineBreak) {
    ++counts_->line_breaks;
  } else if (code.text.size() == 1 && detail::ClassifySpecial(code.text[0]) == Special::kSpace) {
    ++counts_->spaces;
  } else {
    ++counts_->by_page[code.bytes.size() == 2 ? PageOfLeadByte(code.bytes[0]) : 0];
  }
}

void Encoder::MissParams() {
  Report(ProblemCode::kNoParams, *params_place_, 0);
  params_place_.reset();
}

void Encoder::Report(ProblemCode kind, TextPlace place, char32_t ch) {
  // A problem found after a short parameter tag comes after its own.
  if (split_params_) TellSplitParams();
  if (listing_ != nullptr) {
    listing_->marks.push_back({ListingMark::Kind::kProblem, out_->size(), problems_.size()});
  }
  problems_.push_back({kind, place.line, place.column, ch});
}

void Encoder::Report(std::optional<detail::TagProblem> found) {
  if (found) Report(found->kind, found->place, found->ch);
}

}  // namespace binconv
