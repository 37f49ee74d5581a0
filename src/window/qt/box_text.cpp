#include "window/qt/box_text.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

#include "window/logic/form_logic.h"

namespace binconv::window::qt {

std::u16string CoreTextFromBox(QStringView raw) {
  return logic::CoreTextFromBox(std::u16string_view(reinterpret_cast<const char16_t*>(raw.utf16()),
                                             static_cast<std::size_t>(raw.size())));
}

std::u16string CoreTextOf(const QPlainTextEdit& box) {
  return CoreTextFromBox(box.document()->toRawText());
}

QString BoxTextFromCore(std::u16string_view text) {
  const std::u16string box = logic::BoxTextFromCore(text, u"\n");
  return QString::fromUtf16(box.data(), static_cast<qsizetype>(box.size()));
}

void ReplaceTextUndoable(QPlainTextEdit& box, const QString& text) {
  QTextCursor cursor(box.document());
  cursor.beginEditBlock();
  cursor.select(QTextCursor::Document);
  if (text.isEmpty()) {
    cursor.removeSelectedText();
  } else {
    cursor.insertText(text);
  }
  cursor.endEditBlock();
  box.moveCursor(QTextCursor::Start);
}

}  // namespace binconv::window::qt
