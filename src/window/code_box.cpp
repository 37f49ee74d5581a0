#include "window/code_box.h"

#include <QFocusEvent>
#include <QMouseEvent>
#include <QTimer>

#include "window/listing_highlighter.h"
#include "window/select_all_code.h"

namespace binconv::window {

CodeBox::CodeBox(QWidget* parent)
    : QPlainTextEdit(parent), highlighter_(new ListingHighlighter(document())) {}

void CodeBox::focusInEvent(QFocusEvent* event) {
  QPlainTextEdit::focusInEvent(event);
  switch (event->reason()) {
    // Coming back from a context menu or from another window is not the box
    // receiving the focus anew; selecting all then would spoil a paste.
    case Qt::PopupFocusReason:
    case Qt::ActiveWindowFocusReason:
      return;
    case Qt::MouseFocusReason:
      focus_click_pending_ = true;
      // The press is delivered right after the focus, before the event loop
      // turns again.
      QTimer::singleShot(0, this, [this] { focus_click_pending_ = false; });
      break;
    default:
      break;
  }
  SelectAllCode(*this);
}

void CodeBox::mousePressEvent(QMouseEvent* event) {
  if (focus_click_pending_ && event->button() == Qt::LeftButton) {
    focus_click_pending_ = false;
    swallowing_click_ = true;
    event->accept();
    return;
  }
  focus_click_pending_ = false;
  swallowing_click_ = false;
  QPlainTextEdit::mousePressEvent(event);
}

void CodeBox::mouseMoveEvent(QMouseEvent* event) {
  if (swallowing_click_) {
    event->accept();
    return;
  }
  QPlainTextEdit::mouseMoveEvent(event);
}

void CodeBox::mouseReleaseEvent(QMouseEvent* event) {
  if (swallowing_click_ && event->button() == Qt::LeftButton) {
    swallowing_click_ = false;
    event->accept();
    return;
  }
  QPlainTextEdit::mouseReleaseEvent(event);
}

}  // namespace binconv::window
