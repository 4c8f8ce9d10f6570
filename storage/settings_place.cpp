#include "storage/settings_place.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <pwd.h>
#include <unistd.h>
#include <vector>

#include "storage/ini_file.h"

namespace thermo {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFolderName = "thermostand";

// The etc folder of the tree whose bin folder holds the executable.
fs::path sysconfFolder(const fs::path& executable) {
    const fs::path prefix = executable.parent_path().parent_path();
    if (prefix.filename() == "usr")
        return prefix.parent_path() / "etc";
    return prefix / "etc";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool hasDevicesSection(const IniFile& ini) {
    for (const char* key : {"COM1", "COM2", "COM3", "COM4", "LPT"})
        if (ini.get("devices", key))
            return true;
    return false;
}

// mkdir -p that says which folder failed and why.
std::string makeFolder(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        return folder.string() + ": " + ec.message();
    return {};
}

} // namespace

SettingsPlace settingsPlace(const PlaceInputs& in, std::string_view fileName) {
    const fs::path exe(in.executablePath);
    SettingsPlace place;
    // Root can write /usr/bin too; a settings file left there belongs to no
    // package and would be every user's.
    const bool systemFolder = exe.parent_path() == "/usr/bin" || exe.parent_path() == "/bin";
    if (in.executableFolderWritable && !systemFolder) {
        place.file = (exe.parent_path() / fileName).string();
        return place;
    }
    place.installed = true;
    place.machineFile = (sysconfFolder(exe) / kFolderName / fileName).string();
    fs::path config;
    if (!in.xdgConfigHome.empty() && in.xdgConfigHome.front() == '/')
        config = in.xdgConfigHome;
    else if (!in.home.empty())
        config = fs::path(in.home) / ".config";
    if (config.empty()) {
        // No home at all (a service account): beside the executable, where a
        // save fails with the system's reason rather than writing elsewhere.
        place.file = (exe.parent_path() / fileName).string();
        return place;
    }
    place.file = (config / kFolderName / fileName).string();
    if (!in.home.empty())
        place.workFolder = (fs::path(in.home) / kFolderName).string();
    return place;
}

PlaceInputs currentPlaceInputs() {
    PlaceInputs in;
    std::error_code ec;
    in.executablePath = fs::read_symlink("/proc/self/exe", ec).string();
    const std::string folder = fs::path(in.executablePath).parent_path().string();
    // The effective ids decide what the program may write.
    in.executableFolderWritable = ::faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) == 0;
    if (const char* v = std::getenv("XDG_CONFIG_HOME"))
        in.xdgConfigHome = v;
    if (const char* v = std::getenv("HOME"); v && *v) {
        in.home = v;
    } else {
        long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buf(size > 0 ? static_cast<std::size_t>(size) : 16384);
        passwd pw{};
        passwd* found = nullptr;
        if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found &&
            found->pw_dir)
            in.home = found->pw_dir;
    }
    return in;
}

SettingsPlace programSettingsPlace(const PlaceInputs& in) {
    const std::string beside = settingsFileName(in.executablePath);
    return settingsPlace(in, fs::path(beside).filename().string());
}

SettingsPlace sharedSettingsPlace(const PlaceInputs& in, std::string_view programName) {
    return settingsPlace(in, fs::path(settingsFileName(programName)).filename().string());
}

TSettings loadSettingsWithMachineDevices(const std::string& path, const std::string& machineFile,
                                         char decimalSep) {
    const std::string text = readFile(path);
    TSettings s = settingsFromText(text, decimalSep);
    if (machineFile.empty() || hasDevicesSection(IniFile(text)))
        return s;
    // A missing machine file leaves the built-in mapping, as a missing
    // settings file does.
    s.devices = settingsFromText(readFile(machineFile), decimalSep).devices;
    return s;
}

std::string prepareSettingsPlace(const SettingsPlace& place) {
    if (!place.installed)
        return {};
    std::string failed = makeFolder(fs::path(place.file).parent_path());
    if (place.workFolder.empty())
        return failed;
    if (std::string e = makeFolder(fs::path(place.workFolder) / "Data"); !e.empty())
        return e;
    if (::chdir(place.workFolder.c_str()) != 0)
        return place.workFolder + ": " + std::strerror(errno);
    return failed;
}

} // namespace thermo
