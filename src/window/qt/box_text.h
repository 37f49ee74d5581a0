#pragma once
// The edge between Qt's text boxes and the core. The core sees a box's text as
// a Windows text box holds it, with every line break as CR LF; Qt keeps its own
// separators (U+2029 between blocks, U+2028 inside one).

#include <QString>
#include <QStringView>
#include <string>
#include <string_view>

class QPlainTextEdit;

namespace binconv::window::qt {

// logic::CoreTextFromBox for a Qt string.
std::u16string CoreTextFromBox(QStringView raw);

// The box's text for the core, untouched by QTextDocument::toPlainText's
// rewriting (which would turn U+00A0 into a space).
std::u16string CoreTextOf(const QPlainTextEdit& box);

// Core text for display: CR LF, lone CR and lone LF each become one "\n".
QString BoxTextFromCore(std::u16string_view text);

// Replaces the whole text as one undoable edit and puts the caret at the
// start, so Ctrl+Z brings back what the box held before.
void ReplaceTextUndoable(QPlainTextEdit& box, const QString& text);

}  // namespace binconv::window::qt
