#pragma once
// Marks, as the user edits, each character of the listing box that the writer
// would stop at.

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

namespace binconv::window {

// True unless ch is an ASCII hex digit, a space (U+0020 or U+3000) or one of
// the line breaks the box may hold (CR, LF, U+2028, U+2029).
bool IsRejectedInListing(char16_t ch);

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
