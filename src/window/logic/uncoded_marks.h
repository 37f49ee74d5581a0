#pragma once
// Where conversion left characters without a code in the listing box, kept in
// step with the user's edits. The writer can't tell an uncoded hex digit from
// a code, so the window marks each one and refuses to write while one still
// stands where conversion left it; an edit that touches it takes it away.
//
// Positions count box units, in which every line break is one unit, as both
// Qt's document and Rich Edit count them.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/convert.h"

namespace binconv::window::logic {

struct UncodedMark {
  std::size_t start;
  std::size_t length;  // 2 for a surrogate pair, else 1
};

class UncodedMarks {
 public:
  // The marks of a listing that conversion has just made (core text, with
  // every line break as CR LF) and that the box now shows.
  void Set(std::u16string_view listing, std::span<const UncodedChar> uncoded);
  // An edit at `position` removed `removed` units and inserted `added`: marks
  // after it move, marks it touches are gone.
  void Edit(std::size_t position, std::size_t removed, std::size_t added);
  // The same for an edit known only by the text before and after it (as a
  // Windows edit control tells it): everything between the longest common
  // start and end counts as changed.
  void Edit(std::u16string_view before, std::u16string_view after);

  // A writer message is about to replace the listing `core_text` (line
  // breaks as CR LF): the marks are kept aside, so that Ctrl+Z, which brings
  // the listing back, brings them back too.
  void HoldFor(std::u16string_view core_text);
  bool holding() const { return !held_.empty(); }
  // After a change, while holding: true when the box holds the held listing
  // again and its marks are back.
  bool RestoreIf(std::u16string_view core_text);

  bool empty() const { return marks_.empty(); }
  const std::vector<UncodedMark>& marks() const { return marks_; }
  // The marks that start in [start, end), in order.
  std::span<const UncodedMark> Within(std::size_t start, std::size_t end) const;

 private:
  std::vector<UncodedMark> marks_;  // ordered, never overlapping
  std::u16string held_text_;
  std::vector<UncodedMark> held_;
};

}  // namespace binconv::window::logic
