#pragma once
// The listing box: selects its whole text whenever it receives the focus, by
// keyboard or by mouse, and shows the characters the writer would reject.

#include <QPlainTextEdit>

namespace binconv::window {

class ListingHighlighter;

class CodeBox : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit CodeBox(QWidget* parent = nullptr);

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  ListingHighlighter* highlighter_;
  // Set while the press that gave the focus may still arrive; Qt focuses the
  // box before it delivers that press.
  bool focus_click_pending_ = false;
  // Set from that press to its release, whose cursor placement and drag would
  // otherwise undo the selection.
  bool swallowing_click_ = false;
};

}  // namespace binconv::window
