#pragma once
// Selects the whole listing so that it can be copied or overtyped at once.

class QPlainTextEdit;

namespace binconv::window::qt {

// Selection from position 0 over the whole text, the caret at its end; an
// empty box gets an empty selection at 0.
void SelectAllCode(QPlainTextEdit& box);

}  // namespace binconv::window::qt
