#pragma once
// The decimal mark of the settings file: the window program writes it with
// the mark Qt takes from LC_ALL, LC_NUMERIC or LANG, which Qt knows even
// where the C library has no such locale installed, so a tool reading that
// file asks Qt as well when it is built with it.

namespace thermo::cli {

[[nodiscard]] char settingsDecimalSeparator();

} // namespace thermo::cli
