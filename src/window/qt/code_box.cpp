#include "window/qt/code_box.h"

#include <QFocusEvent>
#include <QMouseEvent>
#include <QTimer>

#include "window/qt/box_text.h"
#include "window/qt/listing_highlighter.h"
#include "window/qt/select_all_code.h"

namespace binconv::window::qt {

CodeBox::CodeBox(QWidget* parent) : QPlainTextEdit(parent) {
  // Connected before the highlighter connects its own, so that the marks have
  // moved with an edit by the time it colours the edited lines.
  connect(document(), &QTextDocument::contentsChange, this, &CodeBox::TrackEdit);
  highlighter_ = new ListingHighlighter(document(), &uncoded_);
}

void CodeBox::ShowListing(std::u16string_view listing, std::span<const UncodedChar> uncoded) {
  uncoded_.Set(listing, uncoded);
  showing_listing_ = true;
  ReplaceTextUndoable(*this, BoxTextFromCore(listing));
  showing_listing_ = false;
}

void CodeBox::TrackEdit(int position, int removed, int added) {
  if (showing_listing_) return;
  uncoded_.Edit(static_cast<std::size_t>(position), static_cast<std::size_t>(removed),
                static_cast<std::size_t>(added));
  // Ctrl+Z after a writer message brings the listing back with its marks.
  if (uncoded_.holding() && uncoded_.empty()) uncoded_.RestoreIf(CoreTextOf(*this));
}

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

}  // namespace binconv::window::qt
