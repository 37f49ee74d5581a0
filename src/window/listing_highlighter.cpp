#include "window/listing_highlighter.h"

#include <QColor>

namespace binconv::window {

ListingHighlighter::ListingHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
  rejected_.setBackground(QColor(255, 196, 196));
}

void ListingHighlighter::highlightBlock(const QString& text) {
  const qsizetype n = text.size();
  qsizetype run_start = -1;
  for (qsizetype i = 0; i <= n; ++i) {
    const bool rejected = i < n && IsRejectedInListing(text[i].unicode());
    if (rejected && run_start < 0) {
      run_start = i;
    } else if (!rejected && run_start >= 0) {
      setFormat(static_cast<int>(run_start), static_cast<int>(i - run_start), rejected_);
      run_start = -1;
    }
  }
}

}  // namespace binconv::window
