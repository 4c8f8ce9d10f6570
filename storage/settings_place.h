#pragma once
// Where the settings file and the archives live.
//
// Run from a folder it can write (a build tree, a copy on a USB stick) the
// program keeps its settings file beside the executable and looks for "Data"
// in the current folder. Installed (/usr/bin, which a student cannot write,
// and which root should not fill with files the package manager does not
// know) it keeps them in the user's home instead:
//   settings   $XDG_CONFIG_HOME/thermostand/<name> (~/.config when unset)
//   archives   ~/thermostand/Data, the window program's current folder
// and reads the PC's port mapping, section [devices], from the machine file
// when the user's file has none. An instructor maps the ports once per PC.
//
// The machine file sits in the etc folder of the tree the program was
// installed into, as the GNU conventions place it: /usr/bin ->
// /etc/thermostand/thermostand.INI, /usr/local/bin -> /usr/local/etc/...,
// ROOT/usr/bin -> ROOT/etc/... (so a package unpacked anywhere finds the
// machine file unpacked beside it).

#include <string>
#include <string_view>

#include "storage/settings.h"

namespace thermo {

// What the place depends on, gathered by currentPlaceInputs() or made up by a
// test.
struct PlaceInputs {
    std::string executablePath; // absolute
    bool executableFolderWritable = true;
    std::string xdgConfigHome; // empty, or not absolute: unset
    std::string home;          // the user's home folder
};

struct SettingsPlace {
    std::string file;        // the settings file in use
    std::string machineFile; // empty when the program is not installed
    std::string workFolder;  // empty: the window program stays where it started
    bool installed = false;
};

// fileName is the settings file's own name (thermostand.INI), the same beside
// the executable and in the configuration folder.
[[nodiscard]] SettingsPlace settingsPlace(const PlaceInputs& in, std::string_view fileName);

// The running process's: /proc/self/exe, whether its folder is writable by
// this user, $XDG_CONFIG_HOME, $HOME (else the password database's home).
[[nodiscard]] PlaceInputs currentPlaceInputs();

// The program's own settings place: its file name follows the executable's
// title as settingsFileName() makes it.
[[nodiscard]] SettingsPlace programSettingsPlace(const PlaceInputs& in);

// The same file name for a tool that shares another program's settings.
[[nodiscard]] SettingsPlace sharedSettingsPlace(const PlaceInputs& in,
                                                std::string_view programName);

// LoadSettings(path), with the [devices] section taken from machineFile when
// the file at path has none (machineFile empty: no fallback). A save never
// writes [devices], so the user's file stays free of the machine's mapping.
[[nodiscard]] TSettings loadSettingsWithMachineDevices(const std::string& path,
                                                       const std::string& machineFile,
                                                       char decimalSep);

// Creates the settings file's folder and, for an installed program, the work
// folder with its "Data", then enters the work folder. Returns an empty text,
// or what failed (the program goes on: a save or "новый" reports it again).
[[nodiscard]] std::string prepareSettingsPlace(const SettingsPlace& place);

} // namespace thermo
