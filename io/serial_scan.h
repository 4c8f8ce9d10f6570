#pragma once
// Which serial device the sensor adapter is on. USB adapters get their
// /dev/ttyUSBn name in the order they were plugged in; the scan tries every
// serial device present and finds each one's stable /dev/serial/by-id name,
// so a settings file can name the adapter rather than the order.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "io/ds18b20.h"

namespace thermo {

// Where the device nodes and the kernel's attributes are: the system's, or a
// tree a test or a chroot makes.
struct DeviceRoots {
    std::string dev = "/dev";
    std::string sys = "/sys";
};

struct SerialCandidate {
    std::string path; // DEV/ttyUSB0
    std::string name; // ttyUSB0
    std::string byId; // DEV/serial/by-id/usb-..., empty when it has none
};

// The serial devices present: ttyS* with a UART behind them (sysfs type not
// 0; all of them where sysfs does not say), then ttyUSB* and ttyACM*, each
// group in number order.
[[nodiscard]] std::vector<SerialCandidate> serialCandidates(const DeviceRoots& roots);

// The FTDI driver's latency timer of a ttyUSB device: the path of its sysfs
// attribute and its value in ms. Nothing for another driver (CH340, CDC ACM
// have none).
struct LatencyTimer {
    std::string path;
    int ms = 0;
};
[[nodiscard]] std::optional<LatencyTimer> ftdiLatencyTimer(const DeviceRoots& roots,
                                                           const std::string& name);

enum class ScanOpen { Opened, Busy, Denied, Failed };

struct ScanResult {
    SerialCandidate device;
    ScanOpen open = ScanOpen::Failed;
    std::string openError;            // the system's text when it did not open
    std::optional<std::uint8_t> echo; // of the reset; nothing: no adapter answers
    bool sensorAnswered = false;      // presence, and the configuration taken
    std::optional<TemperatureReading> reading;
    double readingMs = 0;                // how long the reading took
    std::optional<LatencyTimer> latency; // FTDI only
};

// Opens each device in turn (a busy or refused one is left alone), resets
// its bus and, where a sensor answers, takes one reading. The sensors
// convert at the same time, so the scan waits one conversion time in all.
[[nodiscard]] std::vector<ScanResult> scanSerialDevices(const std::vector<SerialCandidate>& devices,
                                                        const DeviceRoots& roots);

} // namespace thermo
