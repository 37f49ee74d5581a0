#pragma once
// The one encoding rule behind both outputs of a text, the listing
// (CodeConverter) and the bytes (Encoder): the state it carries between units
// and chunks, and the table that lets its fast paths take a unit with one
// load. The rule itself is in encoding_loop.h, a template over the sink that
// takes its output.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "chartable/char_table.h"
#include "runtime/block_size.h"
#include "runtime/utf16.h"

namespace binconv {

enum class LineBreaks {
  kCrLf,  // only CR LF is a line break; a lone CR or LF is looked up like any character
  kAny,   // CR LF, a lone CR and a lone LF are each one line break
};

namespace detail {

// Lets the differential tests call the UTF-8 fast paths on their own.
struct Utf8RunProbe;

// Units fed before a converter builds its UnitActions: on short texts the
// table would cost more than it saves. Small blocks start the fast paths
// early too, so that a fuzzer reaches them at once.
inline constexpr std::size_t kUnitActionsAfter = BlockSize(16384, 40);

// The unit after a CR, as a fast path's unit rule asks for it, is past the
// end of the chunk: the CR waits for it.
inline constexpr char32_t kChunkEnds = 0xFFFFFFFFu;

// What conversion does with each UTF-16 unit when no tag is open and nothing
// is pending, worked out once from the table so that the common case costs a
// single load: a code (page and byte), or the kind of unit that needs more.
class UnitActions {
 public:
  enum Kind : std::uint16_t {
    kCode = 0,
    kSpace,      // "50 "
    kLineBreak,  // LineBreakMark: "24" CR LF
    kTagClose,   // " "
    kCr,         // may pair with an LF
    kLf,
    kNoCode,
    kTagOpen,
    // A unit of a surrogate pair that has a code of its own: the plain way
    // takes it, which knows whether it begins a column.
    kSurrogateCode,
  };

  explicit UnitActions(const CharTable& table);

  std::uint16_t operator[](char16_t ch) const { return actions_[ch]; }
  const std::uint16_t* data() const { return actions_.data(); }
  // Every unit whose action may be kCode, so that a table of the codes alone
  // is made without going through all the units.
  const std::vector<char16_t>& coded() const { return coded_; }

  static constexpr Kind KindOf(std::uint16_t action) { return static_cast<Kind>(action >> 11); }
  static constexpr int PageOf(std::uint16_t action) { return (action >> 8) & 7; }
  static constexpr std::uint8_t ByteOf(std::uint16_t action) {
    return static_cast<std::uint8_t>(action & 0xFF);
  }

 private:
  std::vector<std::uint16_t> actions_;
  std::vector<char16_t> coded_;
};

// Where a unit stands in the text: its 1-based line (lines end at CR LF, a
// lone CR or a lone LF) and its 1-based column in characters (BeginsColumn).
struct TextPlace {
  std::size_t line = 1;
  std::size_t column = 0;
};

// The place of `ch`, the unit after `place` on its line, `last` being the unit
// before it (0 at the line's start); moves `place` on, to the next line after
// a CR or an LF. The caller keeps the LF of a CR LF away.
inline TextPlace StepPlace(TextPlace& place, char16_t& last, char16_t ch) {
  place.column += BeginsColumn(last, ch);
  last = ch;
  const TextPlace here = place;
  if (ch == u'\r' || ch == u'\n') {
    ++place.line;
    place.column = 0;
  }
  return here;
}

// The encoding rule's state: the tag flag, a CR that may pair with an LF, a
// high surrogate that may pair with a low one, and the place in the text.
// Its members that take a sink are defined in encoding_loop.h. The table
// must not change while the core is in use.
class EncodingCore {
 public:
  EncodingCore(const CharTable& table, LineBreaks line_breaks)
      : table_(table), line_breaks_(line_breaks) {}

  // Gives `sink` all of the output of `chunk` that no later text can change.
  template <class Sink>
  void Feed(std::u16string_view chunk, Sink& sink);
  // Takes the whole characters at the start of `utf8` that need no state
  // straight to `sink`; returns how many bytes they took, or
  // Utf8TextInput::kRunClosed while the text is too short for the fast paths.
  template <class Sink>
  std::size_t RunUtf8(std::string_view utf8, Sink& sink);
  // Gives `sink` what is still pending; the core is then ready for a new text.
  template <class Sink>
  void Finish(Sink& sink);

  // None until the text is long enough for the fast paths (kUnitActionsAfter).
  const UnitActions* actions() const { return actions_ ? &*actions_ : nullptr; }

 private:
  // Nothing open or pending: a fast path may take the next unit.
  bool Settled() const {
    return !in_tag_ && !pending_cr_ && !after_cr_ && pending_high_ == 0;
  }
  template <class Writer>
  const char16_t* Run(const char16_t* p, const char16_t* end, Writer writer, bool places);
  template <class Writer>
  std::size_t RunUtf8(std::string_view utf8, Writer writer, bool places);
  template <class Sink>
  void Unit(char16_t ch, Sink& sink);
  template <class Sink>
  void Step(char16_t ch, TextPlace place, Sink& sink);
  // The place of `ch`, the unit after the last one placed; moves to the next
  // line after a CR or an LF.
  TextPlace Place(char16_t ch);
  // Moves the place on past what a fast path took: `breaks` line breaks, and
  // `columns` characters since the last of them (or since the run's start).
  void PassRun(std::size_t breaks, std::size_t columns);

  const CharTable& table_;
  std::optional<UnitActions> actions_;
  std::size_t fed_ = 0;
  LineBreaks line_breaks_;
  bool in_tag_ = false;
  bool pending_cr_ = false;  // kCrLf: a CR that is a line break only if an LF follows
  // kAny: a CR's line break is out already, being settled whatever follows;
  // an LF right after it belongs to it.
  bool after_cr_ = false;
  TextPlace cr_place_;
  char16_t pending_high_ = 0;  // a high surrogate without a code, waiting for its partner
  bool high_in_tag_ = false;
  TextPlace high_place_;
  // Kept only while the sink wants places: the line of the next unit and the
  // column of the last one on it (0 at the line's start).
  TextPlace place_;
  char16_t last_unit_ = 0;  // the unit before on the line, for BeginsColumn
};

}  // namespace detail
}  // namespace binconv
