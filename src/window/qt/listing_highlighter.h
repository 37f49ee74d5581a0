#pragma once
// Marks, as the user edits, each character of the listing box that the writer
// would stop at, and each character conversion left there without a code.

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include "window/logic/uncoded_marks.h"

namespace binconv::window::qt {

class ListingHighlighter : public QSyntaxHighlighter {
  Q_OBJECT

 public:
  // `uncoded` must outlive the highlighter.
  ListingHighlighter(QTextDocument* document, const logic::UncodedMarks* uncoded);

  // The formats given to rejected and to uncoded characters.
  const QTextCharFormat& rejected_format() const { return rejected_; }
  const QTextCharFormat& uncoded_format() const { return uncoded_format_; }

 protected:
  // Works on one block, which is one listing line, so an edit costs only the
  // lines it touches.
  void highlightBlock(const QString& text) override;

 private:
  const logic::UncodedMarks* uncoded_;
  QTextCharFormat rejected_;
  QTextCharFormat uncoded_format_;
};

}  // namespace binconv::window::qt
