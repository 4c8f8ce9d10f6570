#include "ui_aux/program_setup.h"

#include "widgets/layout_font.h"

#include <QLibraryInfo>
#include <QTranslator>
#include <clocale>

namespace thermo {

bool prepareWindowProgram(QApplication& app) {
    std::setlocale(LC_NUMERIC, "C");
    useLayoutFonts();

    // Owned by the application, so it lives as long as the windows that
    // ask it.
    auto* qtTexts = new QTranslator(&app);
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!qtTexts->load(QStringLiteral("qtbase_ru"), dir)) {
        delete qtTexts;
        qWarning("thermostand: Qt's Russian texts (qtbase_ru.qm) are not in %s; install "
                 "qt6-translations-l10n",
                 qPrintable(dir));
        return false;
    }
    QApplication::installTranslator(qtTexts);
    return true;
}

} // namespace thermo
