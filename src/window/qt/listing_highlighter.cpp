#include "window/qt/listing_highlighter.h"

#include <QColor>
#include <QTextBlock>

#include "window/logic/form_layout.h"
#include "window/logic/form_logic.h"

namespace binconv::window::qt {
namespace {

QColor ColorOf(logic::Rgb rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

}  // namespace

ListingHighlighter::ListingHighlighter(QTextDocument* document, const logic::UncodedMarks* uncoded)
    : QSyntaxHighlighter(document), uncoded_(uncoded) {
  rejected_.setBackground(ColorOf(logic::kRejectedBackground));
  uncoded_format_.setBackground(ColorOf(logic::kUncodedBackground));
}

void ListingHighlighter::highlightBlock(const QString& text) {
  const qsizetype n = text.size();
  qsizetype run_start = -1;
  for (qsizetype i = 0; i <= n; ++i) {
    const bool rejected = i < n && logic::IsRejectedInListing(text[i].unicode());
    if (rejected && run_start < 0) {
      run_start = i;
    } else if (!rejected && run_start >= 0) {
      setFormat(static_cast<int>(run_start), static_cast<int>(i - run_start), rejected_);
      run_start = -1;
    }
  }
  const auto start = static_cast<std::size_t>(currentBlock().position());
  for (const logic::UncodedMark& mark : uncoded_->Within(start, start + static_cast<std::size_t>(n))) {
    setFormat(static_cast<int>(mark.start - start), static_cast<int>(mark.length), uncoded_format_);
  }
}

}  // namespace binconv::window::qt
