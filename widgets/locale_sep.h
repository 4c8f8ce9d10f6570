#pragma once
// The user's decimal separator as the one character the number formatting
// takes. A locale whose mark is not a single ASCII character falls back to
// the point, which the formatting and parsing then use consistently.

#include <QLocale>

namespace thermo {

[[nodiscard]] inline char decimalSeparator(const QLocale& locale = QLocale()) {
    const QString mark = locale.decimalPoint();
    if (mark.size() == 1 && mark[0].unicode() < 0x80)
        return static_cast<char>(mark[0].unicode());
    return '.';
}

} // namespace thermo
