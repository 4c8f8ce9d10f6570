// The settings the tools share with the window program: its file, found by
// the same rules (beside the executables, or in the user's configuration
// folder once installed), and the PC's port mapping behind it.
#include "cli/commands.h"
#include "storage/settings_place.h"

namespace thermo::cli {

namespace {

SettingsPlace place() {
    return sharedSettingsPlace(currentPlaceInputs(), "thermostand");
}

} // namespace

std::string programSettingsPath() {
    return place().file;
}

TSettings loadProgramSettings(const std::string& path, char decimalSep) {
    return loadSettingsWithMachineDevices(path, place().machineFile, decimalSep);
}

std::string settingsInUse(const std::string& given) {
    const SettingsPlace p = place();
    std::string text = "settings file: " + (given.empty() ? p.file : given);
    if (!p.machineFile.empty())
        text += "; [devices], when it has none, from " + p.machineFile;
    return text + '\n';
}

} // namespace thermo::cli
