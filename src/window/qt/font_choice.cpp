#include "window/qt/font_choice.h"

#include <QFontDatabase>

namespace binconv::window::qt {

QStringList PreferredUiFontFamilies() {
  return {QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic"),
          QStringLiteral("Noto Sans Mono CJK JP")};
}

QString PickUiFontFamily(const QStringList& installed) {
  for (const QString& wanted : PreferredUiFontFamilies()) {
    for (const QString& family : installed) {
      if (family.compare(wanted, Qt::CaseInsensitive) == 0) return family;
    }
  }
  return {};
}

QFont UiFont() {
  const QString family = PickUiFontFamily(QFontDatabase::families());
  QFont font =
      family.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont(family);
  font.setPointSize(kUiFontPointSize);
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  return font;
}

}  // namespace binconv::window::qt
