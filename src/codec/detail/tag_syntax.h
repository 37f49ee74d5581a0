#pragma once
// How tags stand in a text: "<" opens one, ">" closes it. A tag inside
// another, a ">" that closes none, a tag with nothing in it, a line break
// inside one and one left open at the end are each a problem at the mark,
// so that no character of a text is lost to a broken tag. A listing keeps
// tags as the user typed them.

#include <optional>
#include <utility>

#include "codec/detail/text_place.h"
#include "runtime/problem.h"

namespace binconv::detail {

struct TagProblem {
  ProblemCode kind;
  TextPlace place;
  char32_t ch;  // the mark as typed; a line break is kLineBreakMark
};

class TagSyntax {
 public:
  // `ch` is the mark as typed, at `place`.
  std::optional<TagProblem> Open(char16_t ch, TextPlace place) {
    if (open_) {
      empty_ = false;
      return TagProblem{ProblemCode::kNestedTag, place, ch};
    }
    open_ = true;
    empty_ = true;
    open_ch_ = ch;
    open_place_ = place;
    return std::nullopt;
  }
  std::optional<TagProblem> Close(char16_t ch, TextPlace place) {
    if (!open_) return TagProblem{ProblemCode::kStrayTagClose, place, ch};
    open_ = false;
    if (empty_) return TagProblem{ProblemCode::kEmptyTag, open_place_, open_ch_};
    return std::nullopt;
  }
  // A unit inside the tag; spaces and lone CRs and LFs leave it empty.
  void Content(char16_t ch) {
    if (ch != u' ' && ch != u'\u3000' && ch != u'\r' && ch != u'\n') empty_ = false;
  }
  TagProblem LineBreak(TextPlace place, char32_t mark) {
    empty_ = false;
    return {ProblemCode::kLineBreakInTag, place, mark};
  }
  // The text ends; ready for the next one.
  std::optional<TagProblem> End() {
    if (!std::exchange(open_, false)) return std::nullopt;
    return TagProblem{ProblemCode::kUnclosedTag, open_place_, open_ch_};
  }
  bool open() const { return open_; }

 private:
  bool open_ = false;
  bool empty_ = true;
  char16_t open_ch_ = u'<';
  TextPlace open_place_;
};

}  // namespace binconv::detail
