#pragma once
// The decimal mark a settings file is written with: the window program
// writes it with the mark Qt takes from LC_ALL, LC_NUMERIC or LANG, which Qt
// knows even where the C library has no such locale installed, so a tool
// writing that file asks Qt as well when it is built with it. Reading needs
// no guess: a float reads with either mark (parseProfileFloat).

namespace thermo::cli {

[[nodiscard]] char settingsDecimalSeparator();

} // namespace thermo::cli
