#pragma once
// Small tables with known codes, and helpers shared by the window's tests.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <string>

namespace binconv::window::testing {

// Page 0 row 0 holds a to p (codes 00-0F), page 1 row 0 column 0 holds U+3042
// (20 00), page 5 row 0 column 0 holds q (18 00).
inline bool WriteSmallTables(const QString& dir) {
  const QByteArray empty_row = "r,,,,,,,,,,,,,,,,\r\n";
  QByteArray main = "/ test table\r\nr,a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p\r\n";
  for (int i = 1; i < 16; ++i) main += empty_row;
  main += "r,\x82\xa0,,,,,,,,,,,,,,,\r\n";
  const QByteArray extended = "r,q,,,,,,,,,,,,,,,\r\n";
  QFile m(QDir(dir).filePath("Zezovar.ini"));
  QFile e(QDir(dir).filePath("Zezovar_ex.ini"));
  return m.open(QIODevice::WriteOnly) && m.write(main) == main.size() &&
         e.open(QIODevice::WriteOnly) && e.write(extended) == extended.size();
}

// Code units in hex, so that a failed comparison shows both sides exactly.
inline QString Hex(const std::u16string& s) {
  QString out;
  for (char16_t ch : s) out += QString::asprintf("%04X ", static_cast<unsigned>(ch));
  return out.trimmed();
}

}  // namespace binconv::window::testing
