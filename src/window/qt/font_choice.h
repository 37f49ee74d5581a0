#pragma once
// The window's font: a Japanese gothic face at 9 pt, the closest installed
// match to what the form was laid out with.

#include <QFont>
#include <QString>
#include <QStringList>

namespace binconv::window::qt {

inline constexpr int kUiFontPointSize = 9;

// The families tried, best first.
QStringList PreferredUiFontFamilies();

// The first preferred family in `installed` (compared without regard to case),
// spelled as `installed` spells it; empty when none is there.
QString PickUiFontFamily(const QStringList& installed);

// The chosen family at 9 pt, regular weight; the system's monospace font when
// no preferred family is installed.
QFont UiFont();

}  // namespace binconv::window::qt
