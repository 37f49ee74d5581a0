#include "window/box_text.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

namespace binconv::window {

std::u16string CoreTextFromBox(QStringView raw) {
  std::u16string out;
  out.reserve(static_cast<std::size_t>(raw.size()) + raw.size() / 16);
  const qsizetype n = raw.size();
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t ch = raw[i].unicode();
    switch (ch) {
      case u'\r':
        if (i + 1 < n && raw[i + 1] == u'\n') ++i;
        [[fallthrough]];
      case u'\n':
      case u'\u2028':
      case u'\u2029':
        out += u"\r\n";
        break;
      default:
        out += ch;
    }
  }
  return out;
}

std::u16string CoreTextOf(const QPlainTextEdit& box) {
  return CoreTextFromBox(box.document()->toRawText());
}

QString BoxTextFromCore(std::u16string_view text) {
  QString out;
  out.reserve(static_cast<qsizetype>(text.size()));
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t ch = text[i];
    if (ch == u'\r') {
      if (i + 1 < n && text[i + 1] == u'\n') ++i;
      out += QChar(u'\n');
    } else {
      out += QChar(ch);
    }
  }
  return out;
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

}  // namespace binconv::window
