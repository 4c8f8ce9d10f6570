#pragma once
// The settings file: the parameter set of both regulators, the six add-on
// switches and the serial port to open at start-up, in an INI file beside
// the executable. Read once at start-up, written once at shutdown.
//
// 49 keys, read and written in one order (the loader and the saver share one
// table, so every key read is also written): "COM port" in [General], the six
// coefficients in [koof], the fourteen term breakpoints in [term], the four
// universe ends again in [koof], vih_1..vih_9 in [term_out], m1..m9 in
// [baza] and the six add-on switches in [check]. Integers are decimal (a `$`
// or `0x` prefix reads as hexadecimal), floats are written in the general
// form with the locale's decimal separator and read with either mark (a file
// written under another locale keeps its values), switches 1/0 read as
// integers (non-zero is on).
// A value that does not parse gives that key's default, silently.
//
// Section [devices] says which device files stand for the ports the program
// names COM1..COM4 and LPT. The program reads it at start-up and never
// writes it; a save keeps it, like every other line it does not own. Only
// the probe's scan writes it, when asked to (SaveDeviceMapping).
//
// Section [safety] holds the heating watch's figures (run/heating_watch.h
// says what each check does), read and written after the 49 keys. A value
// that does not parse gives the key's default; one outside the key's range
// is clamped to the nearest end, so no file can switch a check off, and the
// next save writes what was in force. Its numbers read with either decimal
// separator: a figure that guards the heater must not fall back to its
// default because the file came from a PC with another locale.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control/params.h"

namespace thermo {

struct DeviceSettings {
    std::array<std::string, 4> com{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"};
    // "auto": every standard parallel port found (the heater goes to the last
    // present one); otherwise a register device such as /dev/parport0.
    std::string lpt = "auto";

    bool operator==(const DeviceSettings&) const = default;
};

// Times are seconds of tick time (each tick counts the measurement interval),
// temperatures °C.
struct SafetySettings {
    double watchPeriod = 120;   // watch_period: a heating plant rises watchRise within it
    double watchRise = 1;       // watch_rise
    double watchFall = 10;      // watch_fall: a fall this far under strong heating trips
    double frozenPeriod = 60;   // frozen_period: a reading this long bit-identical trips
    double hysteresis = 2;      // hysteresis: band under a regulator's setpoint
    double runawayPeriod = 120; // runaway_period: time allowed below that band

    bool operator==(const SafetySettings&) const = default;
};

// A key of [safety], its field and the range its value is clamped to.
struct SafetyKey {
    const char* name;
    double SafetySettings::*field;
    double min, max;
};
[[nodiscard]] const std::array<SafetyKey, 6>& safetyKeys();
[[nodiscard]] const SafetyKey& safetyKey(double SafetySettings::*field);

struct TSettings {
    std::int32_t SavedComPort = 1; // 1..4, or 0 for none
    TControlParams params;         // its prop_1..diff_2 are the add-on check boxes
    DeviceSettings devices;
    SafetySettings safety;

    bool operator==(const TSettings&) const = default;
};

// The executable's folder, the application title (the executable's name up to
// its first dot, every letter after the first in lower case) and ".INI":
// /opt/lab/LAB.EXE -> /opt/lab/Lab.INI.
[[nodiscard]] std::string settingsFileName(std::string_view executablePath);

// Defaults for a missing file, section, key or unparsable value; a file that
// cannot be read at all gives the defaults too. Never throws for file content.
[[nodiscard]] TSettings LoadSettings(const std::string& path, char decimalSep);

// The same from a text already in memory (what LoadSettings parses).
[[nodiscard]] TSettings settingsFromText(std::string_view text, char decimalSep);

// Writes the 49 keys and [safety] into the existing file's text (every other line kept) or
// into a new file. The text goes to a temporary file in the same folder that
// is then renamed over the old one with the old one's mode, so a failure
// (full disk, no permission) leaves the old file as it was; in a folder that
// takes no new files an existing file is written in place instead. A file
// that may not be written (for root too: one without any write bit) is not
// touched. Throws IoError with the system's text.
void SaveSettings(const std::string& path, const TSettings& settings, char decimalSep);

// What SaveSettings writes, given the old file's text.
[[nodiscard]] std::string settingsToText(std::string_view oldText, const TSettings& settings,
                                         char decimalSep);

// The old text with [devices] COM1..COMn set to `com` (the first four of
// it) and the COM keys after them taken out; the section's other keys and
// every other line kept.
// `lpt`, when given, becomes the LPT key.
[[nodiscard]] std::string deviceMappingToText(std::string_view oldText,
                                              const std::vector<std::string>& com,
                                              const std::string& lpt = {});
// The same into the file (a new one, and its folder, when missing), written
// as SaveSettings writes. Throws IoError with the system's text.
void SaveDeviceMapping(const std::string& path, const std::vector<std::string>& com,
                       const std::string& lpt = {});

// A float of the settings file, with a decimal point or a decimal comma:
// the file has no thousands separator, so either mark is unambiguous ("0.5"
// and "0,5" are both a half). Blanks around are ignored; nothing for
// anything else, a mix of both marks included.
[[nodiscard]] std::optional<double> parseProfileFloat(std::string_view text);

// Section [report] keeps the lab report's title block as last entered
// (keys title, student, group; UTF-8 text as typed), so the next report
// offers it again. Only SaveReportSettings writes it; a save keeps it.
struct ReportSettings {
    std::string title, student, group;

    bool operator==(const ReportSettings&) const = default;
};
[[nodiscard]] ReportSettings reportSettingsFromText(std::string_view text);
// Missing or unreadable: empty fields.
[[nodiscard]] ReportSettings LoadReportSettings(const std::string& path);
// The old text with [report] set (a line break in a value becomes a blank,
// as one line holds one value); every other line kept.
[[nodiscard]] std::string reportSettingsToText(std::string_view oldText,
                                               const ReportSettings& report);
// The same into the file, written as SaveSettings writes. Throws IoError.
void SaveReportSettings(const std::string& path, const ReportSettings& report);

// A profile integer: optional sign, decimal digits or a `$`/`0x` hexadecimal
// number; blanks around are ignored. Nothing for anything else or a value
// outside 32 bits.
[[nodiscard]] std::optional<std::int32_t> parseProfileInt(std::string_view text);

} // namespace thermo
