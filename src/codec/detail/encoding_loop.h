#pragma once
// The encoding rule, written once for both outputs: the plain way one unit at
// a time (Unit and Step, the reference every fast path is tested against) and
// the fast paths over UnitActions, from UTF-16 units or straight from UTF-8
// bytes. Where the output goes is the sink's business:
//
//   A sink, for the plain way:
//     kPairsInTag          a high surrogate in a tag waits for its partner
//     places()             places in the text are kept (they cost a little a unit)
//     fast_open()          its own state lets a fast path run
//     runs_utf8()          it takes runs of UTF-8 straight
//     Reserve(units)       room for the output of `units` more units
//     WithWriter(run)      run(writer) with its writer for the fast paths
//     PutCode(page, byte), PutLineBreak(), PutSpace()
//     PutTagOpen(ch, place), PutTagClose(ch, place)   every "<" and ">" as typed
//     PutTextEnd()                           the text ends (a tag may be open)
//     PutTagUnit(ch, place)                  a unit inside a tag
//     PutUncoded(high, low, place, in_tag)   a character without a code: one
//                                            unit (low 0) or a surrogate pair
//   A writer, for the fast paths, fills a block of Out and appends it whole:
//     Out, kBlock (units taken per block), kBufferSize, actions (the core's)
//     TakeCode(unit, w), TakeCodes(unit0, unit1, w)   false: not all codes
//     PutSpace(w), PutLineBreak(w)
//     PutTagClose(w)   a ">" outside a tag; false: the plain way's
//     PutAsIs(unit, at, length, w)   an uncoded unit; false: the plain way's
//     Append(buffer, w)
//
// Included only by the two front-ends' sources.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include "chartable/encoding.h"
#include "codec/detail/encoding_core.h"
#include "runtime/utf16.h"
#include "runtime/utf8.h"

namespace binconv::detail {

// What a fast path carries while it runs, in locals: stores through the
// output block could alias the core's members. Input units are In (UTF-16
// units or bytes of UTF-8).
template <class Writer, class In>
struct FastRun {
  using Actions = UnitActions;
  Writer writer;  // its `actions` are the core's
  bool any;
  typename Writer::Out* w = nullptr;
  std::size_t breaks = 0;  // line breaks of the text taken
  const In* line_start;    // just past the last of them

  // A line break of the text that took `took` units from `at`; line breaks
  // are ASCII, so as many bytes of UTF-8.
  void TakeLineEnd(const In* at, std::size_t took) {
    writer.PutLineBreak(w);
    ++breaks;
    line_start = at + took;
  }

  // The one rule of both fast paths for the unit at `at` that needs no
  // state, of `length` input units. `next_unit()` gives the unit after it,
  // asked only of a CR: kChunkEnds when unknown; from UTF-8 the next byte,
  // which is an LF exactly when the next unit is. Returns how much input it
  // took: `length`, 2 for a CR LF (two units, two bytes), or 0 to leave the
  // unit to the plain way.
  template <class Next>
  std::size_t TakeUnit(char16_t unit, Next next_unit, const In* at, unsigned length) {
    // Codes first, the bulk of any text.
    if (writer.TakeCode(unit, w)) return length;
    switch (Actions::KindOf(writer.actions[unit])) {
      case Actions::kSpace:
        writer.PutSpace(w);
        return length;
      case Actions::kTagClose:
        return writer.PutTagClose(w) ? length : 0;
      case Actions::kLineBreak:
        writer.PutLineBreak(w);
        return length;
      case Actions::kCr: {
        // The CR and the LF of a pair are one line break.
        const char32_t next = next_unit();
        if (next == kChunkEnds || (next != u'\n' && !any)) return 0;
        const std::size_t took = next == u'\n' ? 2 : length;
        TakeLineEnd(at, took);
        return took;
      }
      case Actions::kLf:
        if (!any) return 0;
        TakeLineEnd(at, length);
        return length;
      case Actions::kNoCode:
        // A high surrogate waits to see whether its partner joins it.
        if (IsHighSurrogate(unit) || !writer.PutAsIs(unit, at, length, w)) return 0;
        return length;
      default:
        return 0;
    }
  }
};

// Both run once a unit or once a run: inline, so that they cost next to nothing.
inline TextPlace EncodingCore::Place(char16_t ch) { return StepPlace(place_, last_unit_, ch); }

inline void EncodingCore::PassRun(std::size_t breaks, std::size_t columns) {
  if (breaks > 0) {
    place_.line += breaks;
    place_.column = columns;
  } else {
    place_.column += columns;
  }
  // The fast paths take no surrogate, so the next unit begins a column.
  last_unit_ = 0;
}

template <class Sink>
void EncodingCore::Feed(std::u16string_view chunk, Sink& sink) {
  sink.Reserve(chunk.size());
  fed_ += chunk.size();
  if (!actions_ && fed_ >= kUnitActionsAfter) actions_.emplace(table_);
  const char16_t* p = chunk.data();
  const char16_t* const end = p + chunk.size();
  while (p != end) {
    if (actions_ && Settled() && sink.fast_open()) {
      p = sink.WithWriter([&](auto writer) { return Run(p, end, writer, sink.places()); });
      if (p == end) break;
    }
    Unit(*p++, sink);
  }
}

template <class Writer>
const char16_t* EncodingCore::Run(const char16_t* p, const char16_t* const end, Writer writer,
                                  bool places) {
  // The output is gathered here so that it grows once per block. At most
  // kBlock units; a CR LF pair gives no more than two units do.
  constexpr std::size_t kBlock = Writer::kBlock;
  typename Writer::Out buffer[Writer::kBufferSize];
  const char16_t* const start = p;
  FastRun<Writer, char16_t> run{writer, line_breaks_ == LineBreaks::kAny, buffer, 0, p};
  for (;;) {
    run.w = buffer;
    const char16_t* const stop = end - p > static_cast<std::ptrdiff_t>(kBlock) ? p + kBlock : end;
    bool blocked = false;
    while (p < stop) {
      const std::size_t took = run.TakeUnit(
          *p, [p, end] { return end - p < 2 ? kChunkEnds : char32_t{p[1]}; }, p, 1);
      if (took == 0) {
        blocked = true;
        break;
      }
      p += took;
    }
    run.writer.Append(buffer, run.w);
    if (blocked || p == end) break;
  }
  // A fast path takes no surrogate: each unit it took is a column.
  if (places && p != start) {
    PassRun(run.breaks, static_cast<std::size_t>(p - (run.breaks > 0 ? run.line_start : start)));
  }
  return p;
}

template <class Sink>
std::size_t EncodingCore::RunUtf8(std::string_view utf8, Sink& sink) {
  if (!actions_ && fed_ + utf8.size() / 3 >= kUnitActionsAfter) actions_.emplace(table_);
  if (!actions_ || !sink.runs_utf8()) return Utf8TextInput::kRunClosed;
  if (!Settled() || !sink.fast_open()) return 0;
  return sink.WithWriter([&](auto writer) { return RunUtf8(utf8, writer, sink.places()); });
}

template <class Writer>
std::size_t EncodingCore::RunUtf8(std::string_view utf8, Writer writer, bool places) {
  // The walk takes at most kBlock units.
  typename Writer::Out buffer[Writer::kBufferSize];
  const auto* const p = reinterpret_cast<const std::uint8_t*>(utf8.data());
  FastRun<Writer, std::uint8_t> run{writer, line_breaks_ == LineBreaks::kAny, buffer, 0, p};
  const std::size_t n = utf8.size();
  std::size_t i = 0;
  bool blocked = false;
  while (!blocked && n - i >= 8) {
    run.w = buffer;
    i = WalkUtf8(
        p, i, n, Writer::kBlock, blocked,
        [&](char16_t c0, char16_t c1) { return run.writer.TakeCodes(c0, c1, run.w); },
        [&](char16_t unit, unsigned length, const std::uint8_t* at) -> std::size_t {
          return run.TakeUnit(unit, [at] { return char32_t{at[1]}; }, at, length);
        });
    run.writer.Append(buffer, run.w);
  }
  if (places && i != 0) {
    const std::uint8_t* from = run.breaks > 0 ? run.line_start : p;
    const std::string_view line(reinterpret_cast<const char*>(from),
                                static_cast<std::size_t>(p + i - from));
    PassRun(run.breaks, ColumnOfByte(line, line.size()) - 1);
  }
  return i;
}

template <class Sink>
void EncodingCore::Unit(char16_t ch, Sink& sink) {
  if (pending_cr_) {
    pending_cr_ = false;
    if (ch == u'\n') {
      Step(kLineBreakMark, cr_place_, sink);
      return;
    }
    Step(u'\r', cr_place_, sink);
  }
  if (after_cr_) {
    after_cr_ = false;
    if (ch == u'\n') return;
  }
  const TextPlace place = sink.places() ? Place(ch) : TextPlace();
  const bool any = line_breaks_ == LineBreaks::kAny;
  if (ch == u'\r' && any) {
    // One line break, with or without an LF after it.
    Step(kLineBreakMark, place, sink);
    after_cr_ = true;
  } else if (ch == u'\r') {
    pending_cr_ = true;
    cr_place_ = place;
  } else if (ch == u'\n') {
    Step(any ? kLineBreakMark : u'\n', place, sink);
  } else {
    Step(ch, place, sink);
  }
}

template <class Sink>
void EncodingCore::Step(char16_t ch, TextPlace place, Sink& sink) {
  if (pending_high_ != 0) {
    const char16_t high = std::exchange(pending_high_, char16_t{0});
    // Inside a tag the low unit joins anyway; outside it joins only when it
    // has no code of its own. A pair stays one character.
    const bool pair = IsLowSurrogate(ch) && (high_in_tag_ || !table_.Find(ch));
    sink.PutUncoded(high, pair ? ch : char16_t{0}, high_place_, high_in_tag_);
    if (pair) return;
  }
  const Special special = ClassifySpecial(ch);
  if (special == Special::kTagOpen) sink.PutTagOpen(ch, place);
  if (StepTagFlag(special, in_tag_)) return;
  // A high surrogate without a code waits to see whether its partner joins it.
  auto hold = [&] {
    pending_high_ = ch;
    high_in_tag_ = in_tag_;
    high_place_ = place;
  };
  if (in_tag_) {
    if (Sink::kPairsInTag && IsHighSurrogate(ch)) {
      hold();
    } else {
      sink.PutTagUnit(ch, place);
    }
    return;
  }
  switch (special) {
    case Special::kLineBreak:
      sink.PutLineBreak();
      return;
    case Special::kSpace:
      sink.PutSpace();
      return;
    case Special::kTagClose:
      sink.PutTagClose(ch, place);
      return;
    default:
      break;
  }
  if (const std::optional<CellCode> code = table_.Find(ch)) {
    sink.PutCode(code->page, code->byte());
  } else if (IsHighSurrogate(ch)) {
    hold();
  } else {
    sink.PutUncoded(ch, char16_t{0}, place, false);
  }
}

template <class Sink>
void EncodingCore::Finish(Sink& sink) {
  if (pending_cr_) {
    pending_cr_ = false;
    Step(u'\r', cr_place_, sink);
  }
  after_cr_ = false;
  if (pending_high_ != 0) {
    sink.PutUncoded(std::exchange(pending_high_, char16_t{0}), char16_t{0}, high_place_,
                    high_in_tag_);
  }
  sink.PutTextEnd();
  in_tag_ = false;
  place_ = TextPlace();
  last_unit_ = 0;
}

}  // namespace binconv::detail
