#pragma once
// Marks, as the user edits, each character of the listing box that the writer
// would stop at.

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include "window/logic/form_logic.h"

namespace binconv::window {

class ListingHighlighter : public QSyntaxHighlighter {
  Q_OBJECT

 public:
  explicit ListingHighlighter(QTextDocument* document);

  // The format given to rejected characters.
  const QTextCharFormat& rejected_format() const { return rejected_; }

 protected:
  // Works on one block, which is one listing line, so an edit costs only the
  // lines it touches.
  void highlightBlock(const QString& text) override;

 private:
  QTextCharFormat rejected_;
};

}  // namespace binconv::window
