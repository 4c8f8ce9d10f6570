#pragma once
// The faces the stand's windows are laid out for. Their pixel sizes come from
// an 8-point interface font with Arial's metrics; the desktop's default face
// (DejaVu Sans on Debian) is a tenth wider and cuts captions and values, so
// every program names its faces instead of taking what fontconfig offers.
// Header-only: every Qt main, the tools' and the tests' among them, uses it.

#include <QApplication>
#include <QFont>
#include <QStringList>

namespace thermo {

// Arial's metrics: Liberation Sans (Debian fonts-liberation2) first, then the
// other faces drawn to the same widths.
[[nodiscard]] inline QFont layoutFont(qreal pointSize = 8) {
    QFont f;
    f.setFamilies(
        {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial")});
    f.setPointSizeF(pointSize);
    return f;
}

// The sample tables' 7-point face. Their 31-pixel error column holds the
// header "ошибка" within the header's margins only in a narrow face (Nimbus
// Sans Narrow, Debian fonts-urw-base35), which also leaves room in every cell
// for "23:59:59" and "-100,00".
[[nodiscard]] inline QFont tableFont() {
    QFont f;
    f.setFamilies({QStringLiteral("Nimbus Sans Narrow"), QStringLiteral("Liberation Sans Narrow"),
                   QStringLiteral("Arial Narrow")});
    f.setPointSizeF(7);
    return f;
}

// For the whole application, so menus, message boxes and the small windows
// get the same face as the laid-out ones. Call right after the QApplication.
inline void useLayoutFonts() {
    QApplication::setFont(layoutFont());
}

} // namespace thermo
