#pragma once
// Text to bytes through a game's encoding (a .tbl, or the two table files
// compiled into the same model), the inverse of Decoder: a tag is a label or
// hex bytes, elsewhere the texts of the table with the fewest bytes that
// read back as typed (codec/detail/text_path.h), and a line break is a
// line-break code (its text and the break, or a *HEX alone).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "chartable/encoding.h"
#include "chartable/game_table.h"
#include "chartable/text_index.h"
#include "chartable/read_back.h"
#include "codec/detail/text_path.h"
#include "codec/detail/text_place.h"
#include "codec/detail/tag_syntax.h"
#include "codec/encode.h"
#include "runtime/utf8.h"

namespace binconv {

// Where a unit of the text went: the place of its first character and the
// size of the output when its bytes began. A code, a tag's bytes or a line
// break is a unit; a character without a code writes nothing and has none.
struct UnitOffset {
  detail::TextPlace place;
  std::size_t byte = 0;
  // How many of problems() were reported before it: where its problems
  // stand among the units is the order in which the encoder settled them.
  std::size_t problems = 0;
};

// What a listing of the text needs besides its bytes, each at the size of
// the output when the encoder settled it, in that order.
struct ListingMark {
  enum class Kind : std::uint8_t {
    kLineEnd,  // a line-break code's bytes end here: its line ends
    kTyped,    // a tag kept as typed: typed[first, last) of ListingMarks
    kProblem,  // problems()[first]
  };
  Kind kind;
  std::size_t byte = 0;
  std::size_t first = 0;
  std::size_t last = 0;
  // kTyped: the first of the problems() that its line-break marks are, one
  // for each in turn.
  std::size_t problem = 0;
};
struct ListingMarks {
  std::vector<ListingMark> marks;
  std::u16string typed;
  void clear() {
    marks.clear();
    typed.clear();
  }
};

// Streaming: feed the text in chunks split anywhere and get the bytes of the
// whole text. A character no text covers writes nothing and is a problem
// (kNoCode), so the bytes are always those of the text without it.
class Encoder {
 public:
  explicit Encoder(GameTable table, LineBreaks line_breaks = LineBreaks::kCrLf);

  void Feed(std::u16string_view chunk, std::vector<std::uint8_t>& out);
  // Ends the text (a tag left open is closed); ready for a new text then.
  void Finish(std::vector<std::uint8_t>& out);
  // The same for UTF-8; false at the first sequence that is not well-formed.
  bool FeedUtf8(std::string_view bytes, std::vector<std::uint8_t>& out);
  bool FinishUtf8(std::vector<std::uint8_t>& out);
  Utf8Error utf8_error() const { return input_.error(); }

  // Problems of the text so far, in the order found; lines end at CR LF, a
  // lone CR or a lone LF.
  const std::vector<EncodeProblem>& problems() const { return problems_; }
  void clear_problems() { problems_.clear(); }

  // Appends where each unit went to `offsets`, in the order written (none:
  // stop). Read from here, a room's first character past its end or a
  // line's first byte needs no second encoding.
  void set_offsets(std::vector<UnitOffset>* offsets) { offsets_ = offsets; }
  // Keeps the marks a listing needs in `listing` (none: stop). A tag that
  // is no label is then kept as typed, for the writer to read again: it
  // writes no bytes, its text goes to the listing (a line break in it as
  // kLineBreakMark, which is a problem, and a "<" in it dropped) with a
  // space for its ">", and its shape is no problem. A ">" that closes no tag
  // is a space.
  void set_listing(ListingMarks* listing) { listing_ = listing; }
  // Counts what the text holds into `counts` (none: stop counting): a code
  // of two bytes by the page of its lead byte, as the table files have them.
  void set_counts(EncodeCounts* counts) { counts_ = counts; }

 private:
  struct Token {
    char32_t unit;  // a UTF-16 unit, or kBreakUnit
    detail::TextPlace place;
  };

  // Nothing open, pending or waiting: the fast path may take the next unit.
  bool Settled() const {
    return !tags_.open() && !pending_cr_ && !after_cr_ && !params_place_ && !split_params_ &&
           breaks_after_label_ == 0 && back_.empty() && run_start_ == run_.size();
  }
  // Takes units from `p` while each is settled by the unit tables alone,
  // and returns where it stopped.
  const char16_t* RunFast(const char16_t* p, const char16_t* end, std::vector<std::uint8_t>& out);
  // What the fast path does at `p` past its common case: the units it takes
  // (none: the plain way's) and the code it writes for them.
  struct Step {
    std::size_t units = 0;
    GameTextIndex::FastCode code;
  };
  Step SlowStep(GameTextIndex::FastUnit unit, const char16_t* p, const char16_t* end);
  // A unit that texts of two units begin with, or of more, and a line break.
  Step PairStep(const char16_t* p, const char16_t* end) const;
  Step BreakStep(const char16_t* p, const char16_t* end) const;
  void Unit(char16_t ch, std::vector<std::uint8_t>& out);
  void Take(Token token, std::vector<std::uint8_t>& out);
  void TakeInTag(Token token, std::vector<std::uint8_t>& out);
  // Writes the tag as its label or its bytes; `empty` is its problem when
  // it has nothing in it.
  // `closed`: by its ">", not by the end of the text.
  void CloseTag(std::optional<detail::TagProblem> empty, bool closed,
                std::vector<std::uint8_t>& out);
  void WriteHexTag(std::vector<std::uint8_t>& out);
  void TakeUnknownLabel();
  // A control's parameters typed as tags one after another: told once the
  // tags are seen, with the one tag to write when they make up its bytes.
  void GatherSplitParams();
  void TellSplitParams();
  // Both take the tag's parameters for a control waiting for them.
  void ListTypedTag(bool closed, std::vector<std::uint8_t>& out);
  void TakeParams();
  void PushTyped(std::u16string_view text, std::size_t problem, std::size_t byte);
  // Writes the units of the run that no later unit can change; at the end,
  // all of them.
  void WriteRun(bool at_end, std::vector<std::uint8_t>& out);
  // Bytes a tag wrote: what decode reads them as, for what comes after.
  void ReadBackTag(std::span<const std::uint8_t> bytes, bool params);
  // The units decode reads typed bytes as, into tag_units_.
  void SplitTagBytes(std::span<const std::uint8_t> bytes);
  // Settles the run before the tag closing now, its codes chosen with the
  // tag's bytes (its label's code, or else its hex bytes) in sight.
  void WriteRunBeforeTag(std::optional<std::uint32_t> label, std::vector<std::uint8_t>& out);
  void WriteCode(std::uint32_t code, detail::TextPlace place, std::vector<std::uint8_t>& out);
  void Count(const GameCode& code);
  // A control code's parameters were due and something else came.
  void MissParams();
  void Report(ProblemCode kind, detail::TextPlace place, char32_t ch);
  void Report(std::optional<detail::TagProblem> found);

  GameTable table_;
  const GameTextIndex& index_;
  GameTextIndex::FastCode break_;  // of a line break alone; a count of 0: none
  LineBreaks line_breaks_;
  // The place of the next unit: its line, and the column of the unit before.
  detail::TextPlace place_;
  char16_t last_unit_ = 0;
  bool pending_cr_ = false;  // kCrLf: a CR that is a line break only if an LF follows
  bool after_cr_ = false;    // kAny: an LF right after a CR belongs to its break
  detail::TextPlace cr_place_;
  // Text outside tags not yet written, the units a longer match may still take.
  std::vector<Token> run_;
  std::size_t run_start_ = 0;
  detail::TextPath path_;  // the codes of the run
  std::vector<detail::TextPath::TagUnit> tag_units_;
  // What the bytes written so far may still read back as, with what follows.
  ReadBack back_;
  // The tag open: its place, its folded content while a label may fit, its
  // bytes so far and the characters that are not hex digits.
  detail::TagSyntax tags_;
  bool tag_nested_ = false;  // a "<" inside it: no label then
  detail::TextPlace tag_place_;
  char16_t tag_mark_ = 0;  // the character that opened it
  std::u16string tag_text_;
  std::vector<std::uint8_t> tag_bytes_;
  int tag_nibble_ = -1;
  std::vector<EncodeProblem> tag_bad_;
  std::u16string tag_typed_;       // for a listing: the tag as typed
  // With labels in the table: its content as typed, as far as a message shows it.
  std::u16string tag_content_;
  static constexpr std::size_t kLabelShown = 40;
  static constexpr std::size_t kLabelsSuggested = 3;
  // For a listing: the problems of its line-break marks, which come after
  // the run before it, settled when it closes.
  std::vector<EncodeProblem> tag_marks_;
  // A control code waiting for its parameter tag: where it stands and how many.
  std::optional<detail::TextPlace> params_place_;
  std::size_t params_due_ = 0;
  std::uint32_t params_code_ = 0;
  // Its tag held too few bytes: those bytes, while tags right after it may
  // hold the rest (not in a listing, which keeps the tags as typed).
  struct SplitParams {
    detail::TextPlace place;
    std::uint32_t code;
    std::size_t due;
    std::vector<std::uint8_t> bytes;
  };
  std::optional<SplitParams> split_params_;
  // A code written from its label that shows line breaks after it (a
  // line-break code, a .tbl text ending in "\n"): that many breaks right
  // after it are its own, as decode writes them.
  std::size_t breaks_after_label_ = 0;
  std::vector<EncodeProblem> problems_;
  std::vector<UnitOffset>* offsets_ = nullptr;
  ListingMarks* listing_ = nullptr;
  // The output of the current Feed or Finish, which a problem's mark is placed in.
  const std::vector<std::uint8_t>* out_ = nullptr;
  EncodeCounts* counts_ = nullptr;
  Utf8TextInput input_;
};

}  // namespace binconv
