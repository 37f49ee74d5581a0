#pragma once
// Small tables with known codes, and helpers shared by the window's tests.

#include <QPlainTextEdit>
#include <QString>
#include <QTextBlock>
#include <QTextLayout>
#include <filesystem>
#include <string>

#include "support/bytes.h"
#include "support/files.h"
#include "window/qt/listing_highlighter.h"

namespace binconv::window::qt::testing {

// Page 0 row 0 holds a to p (codes 00-0F), page 1 row 0 column 0 holds U+3042
// (20 00), page 5 row 0 column 0 holds q (18 00).
inline bool WriteSmallTables(const QString& dir) {
  const std::filesystem::path folder = dir.toStdString();
  std::string main = "/ test table\r\nr,a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p\r\n";
  for (int i = 1; i < 16; ++i) main += test::TableRow({}, "r") + "\r\n";
  main += test::TableRow({{0, "\x82\xa0"}}, "r") + "\r\n";
  test::WriteAll(folder / "Zezovar.ini", main);
  test::WriteAll(folder / "Zezovar_ex.ini", test::TableRow({{0, "q"}}, "r") + "\r\n");
  return true;
}

// One character per character of the block: "x" where the highlighter marks
// a rejected character, "u" an uncoded one, " " elsewhere.
inline QString FormatMarks(const QPlainTextEdit& box, int block_number,
                           const ListingHighlighter& highlighter) {
  const QTextBlock block = box.document()->findBlockByNumber(block_number);
  QString marks(block.length() - 1, u' ');
  for (const QTextLayout::FormatRange& range : block.layout()->formats()) {
    QChar mark;
    if (range.format.background() == highlighter.rejected_format().background()) mark = u'x';
    if (range.format.background() == highlighter.uncoded_format().background()) mark = u'u';
    if (mark.isNull()) continue;
    for (int i = range.start; i < range.start + range.length; ++i) marks[i] = mark;
  }
  return marks;
}

// Code units in hex, so that a failed comparison shows both sides exactly.
inline QString Hex(const std::u16string& s) { return QString::fromStdString(test::Hex(s)); }

}  // namespace binconv::window::qt::testing
