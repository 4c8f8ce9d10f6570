#include "app/program_usage.h"

#include <cstring>
#include <filesystem>

namespace thermo {

bool helpRequested(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    return false;
}

std::string programUsage(const SettingsPlace& place) {
    std::string text = "usage: thermostand [--help]\n"
                       "\n"
                       "The program of the thermal control stand: a DS18B20 on a serial port's\n"
                       "1-Wire adapter measures the plant, a heater on the parallel port's data\n"
                       "register heats it, under a fuzzy regulator and a PID regulator.\n"
                       "It takes no options; everything it keeps is in its settings file.\n"
                       "\n"
                       "  --help             this text\n"
                       "\n"
                       "settings file: " +
                       place.file + '\n';
    if (!place.machineFile.empty())
        text += "[devices], when the settings file has none: " + place.machineFile + '\n';
    const std::string folder =
        place.workFolder.empty() ? std::filesystem::current_path().string() : place.workFolder;
    text +=
        "archives: \"новый\" opens in " + (std::filesystem::path(folder) / "Data").string() + '\n';
    return text;
}

} // namespace thermo
