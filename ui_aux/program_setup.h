#pragma once
// What every program with windows does right after creating its
// QApplication, so the windows, the files they write and the tests that drive
// them behave alike whatever the user's locale.

#include <QApplication>

namespace thermo {

// Keeps the C library's numbers in the C locale (QApplication has just set
// LC_NUMERIC from the environment, and libxlsxwriter writes the sheet's
// numbers with printf: under a decimal-comma locale it would write "0,5",
// which no reader accepts). Shown and typed numbers are unaffected: Qt and our
// own formatting take the separator from QLocale.
//
// Names the faces the windows are laid out for (layout_font.h), for the
// whole application.
//
// Loads Qt's own Russian texts (file dialogs, standard buttons, the overwrite
// question): the interface is Russian whatever the locale. Returns false when
// the translation file is not installed; the texts then stay English.
bool prepareWindowProgram(QApplication& app);

} // namespace thermo
