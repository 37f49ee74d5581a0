#include "window/qt/select_all_code.h"

#include <QPlainTextEdit>
#include <QTextCursor>

namespace binconv::window::qt {

void SelectAllCode(QPlainTextEdit& box) {
  QTextCursor cursor = box.textCursor();
  cursor.setPosition(0);
  cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  box.setTextCursor(cursor);
}

}  // namespace binconv::window::qt
