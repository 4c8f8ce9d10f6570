#include "cli/settings_sep.h"

#include <clocale>

#ifdef THERMO_CLI_QT_LOCALE
#include "widgets/locale_sep.h"
#endif

namespace thermo::cli {

char settingsDecimalSeparator() {
#ifdef THERMO_CLI_QT_LOCALE
    return decimalSeparator(QLocale::system());
#else
    std::setlocale(LC_NUMERIC, "");
    const char c = std::localeconv()->decimal_point[0];
    std::setlocale(LC_NUMERIC, "C");
    return c ? c : '.';
#endif
}

} // namespace thermo::cli
