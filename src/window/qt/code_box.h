#pragma once
// The listing box: selects its whole text whenever it receives the focus, by
// keyboard or by mouse, shows the characters the writer would reject, and
// marks the characters conversion left without a code for as long as they
// stand where conversion left them.

#include <QPlainTextEdit>
#include <span>
#include <string_view>

#include "codec/convert.h"
#include "window/logic/uncoded_marks.h"

namespace binconv::window::qt {

class ListingHighlighter;

class CodeBox : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit CodeBox(QWidget* parent = nullptr);

  // Shows conversion's listing (core text) as one undoable edit, with the
  // marks of its uncoded characters.
  void ShowListing(std::u16string_view listing, std::span<const UncodedChar> uncoded);
  logic::UncodedMarks& uncoded() { return uncoded_; }
  const ListingHighlighter& highlighter() const { return *highlighter_; }

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void TrackEdit(int position, int removed, int added);

  logic::UncodedMarks uncoded_;
  ListingHighlighter* highlighter_ = nullptr;
  // Set while ShowListing puts in a listing whose marks are already set.
  bool showing_listing_ = false;
  // Set while the press that gave the focus may still arrive; Qt focuses the
  // box before it delivers that press.
  bool focus_click_pending_ = false;
  // Set from that press to its release, whose cursor placement and drag would
  // otherwise undo the selection.
  bool swallowing_click_ = false;
};

}  // namespace binconv::window::qt
