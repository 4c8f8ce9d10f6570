#pragma once
// thermostand --help: the program takes no options, but a person installing
// it wants to know where it keeps its settings and archives.

#include <string>

#include "storage/settings_place.h"

namespace thermo {

[[nodiscard]] bool helpRequested(int argc, char** argv);

[[nodiscard]] std::string programUsage(const SettingsPlace& place);

} // namespace thermo
