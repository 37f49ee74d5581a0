#include "window/listing_highlighter.h"

#include <QColor>

namespace binconv::window {

bool IsRejectedInListing(char16_t ch) {
  if ((ch >= u'0' && ch <= u'9') || (ch >= u'A' && ch <= u'F') || (ch >= u'a' && ch <= u'f')) {
    return false;
  }
  switch (ch) {
    case u' ':
    case u'\u3000':
    case u'\r':
    case u'\n':
    case u'\u2028':
    case u'\u2029':
      return false;
    default:
      return true;
  }
}

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
