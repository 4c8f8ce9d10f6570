// thermostand-cli probe: is the sensor there, what does it read, and which
// parallel ports does the program see. For the technician at the stand.
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <sys/file.h>
#include <thread>
#include <tuple>
#include <unistd.h>

#include "cli/commands.h"
#include "common/options.h"
#include "io/ds18b20.h"
#include "io/lpt.h"
#include "io/onewire.h"
#include "io/permission_advice.h"
#include "io/serial_port.h"
#include "io/serial_scan.h"
#include "run/heater_guard_link.h"
#include "storage/settings.h"

namespace thermo::cli {

namespace {

const char* kProbeUsage =
    R"(usage: thermostand-cli probe [--port COMn|PATH] [--count N] [--settings FILE]
       thermostand-cli probe --scan [--write-settings FILE] [--dev-root DIR]
                             [--sys-root DIR]

Detects the DS18B20 on a serial port (COM1..COM4 as the settings file's
[devices] section maps them, or a device path), reads it N times (start a
conversion, wait 750 ms, read) printing each value and how long the reading
took, and lists the parallel ports found with the way each is reached. A
device or parallel port this user may not open gets one line saying what to
do (which group to join, or ppdev where direct port I/O is not allowed).

  --port COMn|PATH   the port to probe (default: the stored "COM port", else COM1)
  --count N          readings to take, 0..1000 (3)
  --settings FILE    settings file (default: the one named below)

With --scan it tries every serial device present (/dev/ttyS* with a UART,
/dev/ttyUSB*, /dev/ttyACM*) instead: for each, its /dev/serial/by-id name,
whether it opens, is busy or is denied, whether an adapter echoes, and
whether a sensor answers, with one reading and the time it took; for an FTDI
adapter whose latency timer is above 1 ms, how to lower it. It ends with a
[devices] section mapping COM1..COM4 to the devices where a sensor answered,
by their by-id names where they have them, and LPT to the parallel port found
for the heater (its /dev/parportN, "auto" for direct port I/O, "none").

  --write-settings FILE  write that section's COM and LPT keys into FILE
                     (created when missing); the rest of FILE stays as it is
  --dev-root DIR     look for the devices under DIR instead of /dev
  --sys-root DIR     read the drivers' attributes under DIR instead of /sys

Exit status: 0 when the sensor answered and a reading passed its check (with
--scan: a sensor answered somewhere, and FILE was written if asked), 1 when
it did not, 2 for a usage error, a port that cannot be opened or (--scan) a
FILE that cannot be written.
)";

std::string hexBytes(const std::array<std::uint8_t, 9>& b) {
    std::string s;
    char buf[4];
    for (auto v : b) {
        std::snprintf(buf, sizeof buf, "%02X ", v);
        s += buf;
    }
    s.pop_back();
    return s;
}

// What the reset's echo tells a technician.
std::string resetDiagnosis(const std::optional<std::uint8_t>& echo) {
    if (!echo)
        return "no echo: check the adapter";
    if (*echo == kResetChar)
        return "echo but no presence: check the sensor";
    if (*echo == 0x00)
        return "the bus is held low: check the wiring for a short";
    return "";
}

// After a failed step of a reading: a fresh reset tells whether the adapter
// or the sensor went away.
std::string failureDiagnosis(SerialPort& serial) {
    const std::string d = resetDiagnosis(oneWireResetEcho(serial));
    return d.empty() ? "the sensor answers a reset again: check for a loose contact" : d;
}

// True when another program holds one of the stand's serial ports: it may be
// running the stand, and probing the parallel ports writes test patterns to
// the heater's register.
bool anotherProgramHoldsTheStand(const SerialPort& serial) {
    for (int n = 1; n <= 4; ++n)
        if (serial.heldByAnotherProgram(comPortName(n)))
            return true;
    return false;
}

// What the settings' LPT key should say for the port that carries the heater
// in `lpt` (after selectPort): its ppdev device or simulated file, "auto" for
// direct port I/O, "none" when no port answered.
std::string lptSettingFound(const TLptPortConnection& lpt) {
    if (lpt.Adr_LPT().empty())
        return "none";
    const std::string path = lpt.accessPath(lpt.SelectedLptPort());
    if (path.rfind("ppdev ", 0) == 0)
        return path.substr(6);
    if (path.rfind("sim:", 0) == 0)
        return path;
    return "auto";
}

// Reports the parallel ports; the LPT value found, when they were probed.
std::optional<std::string> reportParallelPorts(const DeviceSettings& devices) {
    auto lpt = TLptPortConnection::fromSetting(devices.lpt, {}, PortProbe::Later);
    std::cout << "parallel port (LPT=" << devices.lpt << "): ";
    if (!lpt.IsReady()) {
        std::cout << "not ready: " << lpt.errorText() << " (code " << lpt.errorCode() << ")\n";
        const std::string advice =
            parallelPortAdvice(lpt.errorCode(), lpt.errorDevice(), currentUserName());
        if (!advice.empty())
            std::cout << advice << '\n';
        return std::nullopt;
    }
    // The probes put test patterns on the data registers, the heater's
    // among them: a guard takes the heater off should we die meanwhile.
    std::string why;
    const auto guard = HeaterGuardLink::start(guardBesideProgram(), lpt.guardRegisters(), &why);
    if (!guard) {
        std::cout << "not probed: " << why << '\n';
        return std::nullopt;
    }
    lpt.probePorts();
    lpt.selectPort();
    // Each probe put back what the register held: the heater is as it was.
    guard->bye();
    std::cout << (lpt.Adr_LPT().empty() ? "none found" : "heater on " + lpt.Adr_LPT()) << '\n';
    const struct {
        std::uint8_t id;
        const char* name;
    } ports[] = {{LptPort1, "$3BC"}, {LptPort2, "$378"}, {LptPort3, "$278"}};
    for (const auto& p : ports) {
        const std::string path = lpt.accessPath(p.id);
        std::cout << "  " << p.name << ": " << (lpt.present(p.id) ? "present" : "absent")
                  << (path.empty() ? "" : " via " + path) << '\n';
    }
    // No port found may only mean that this user cannot reach one.
    if (devices.lpt == "auto" && lpt.Adr_LPT().empty() && !hasPortIoCapability())
        std::cout << kPpdevAdvice << '\n';
    return lptSettingFound(lpt);
}

// Probing a port writes test patterns to the heater's register: never while
// another program is running the stand.
constexpr const char* kNotProbed =
    "parallel port: not probed while another program uses the stand\n";

void reportParallelPortsSafely(const DeviceSettings& devices, const SerialPort& serial) {
    if (anotherProgramHoldsTheStand(serial))
        std::cout << kNotProbed;
    else
        reportParallelPorts(devices);
}

// One device's line (and the lines of advice below it) of the scan.
void reportScanned(const ScanResult& r, const std::string& user) {
    std::cout << r.device.path << ": ";
    switch (r.open) {
    case ScanOpen::Busy:
        std::cout << "busy: in use by another program\n";
        break;
    case ScanOpen::Denied:
        std::cout << "denied\n  " << permissionAdvice(r.device.path, user) << '\n';
        break;
    case ScanOpen::Failed:
        std::cout << "does not open (" << r.openError << ")\n";
        break;
    case ScanOpen::Opened: {
        std::cout << "opens; ";
        const std::string diagnosis = resetDiagnosis(r.echo);
        if (!diagnosis.empty()) {
            std::cout << diagnosis << '\n';
            break;
        }
        std::cout << "adapter echoes; ";
        if (!r.sensorAnswered || !r.reading) {
            std::cout << "sensor lost during detection\n";
            break;
        }
        char took[32];
        std::snprintf(took, sizeof took, " (%.1f ms)", r.readingMs);
        switch (r.reading->status) {
        case ReadStatus::Ok: {
            char value[32];
            std::snprintf(value, sizeof value, "%.4f °C", r.reading->celsius);
            std::cout << "sensor: " << value << took << '\n';
            break;
        }
        case ReadStatus::CrcMismatch:
            std::cout << "sensor answers; its reading: check byte mismatch ["
                      << hexBytes(r.reading->scratchpad) << "]" << took << '\n';
            break;
        case ReadStatus::NoPresence:
            std::cout << "sensor answers; its reading: no presence" << took << '\n';
            break;
        }
        break;
    }
    }
    if (!r.device.byId.empty())
        std::cout << "  by-id: " << r.device.byId << '\n';
    // Every echo waits for the adapter's latency timer: 16 ms by default,
    // which makes a reading take about ten times as long as it must.
    if (r.latency && r.latency->ms > 1)
        std::cout << "  FTDI latency timer " << r.latency->ms
                  << " ms: lower it to 1 ms: echo 1 | sudo tee " << r.latency->path
                  << " (a udev rule keeps it: ACTION==\"add\", SUBSYSTEM==\"usb-serial\", "
                     "DRIVER==\"ftdi_sio\", ATTR{latency_timer}=\"1\")\n";
}

int scan(const DeviceRoots& roots, const std::string& writeTo) {
    const std::vector<SerialCandidate> candidates = serialCandidates(roots);
    std::cout << "serial devices under " << roots.dev << ": " << candidates.size() << '\n';
    const std::vector<ScanResult> results = scanSerialDevices(candidates, roots);
    const std::string user = currentUserName();
    std::vector<std::string> com;
    std::size_t answered = 0;
    for (const ScanResult& r : results) {
        reportScanned(r, user);
        if (r.sensorAnswered && ++answered <= 4)
            com.push_back(r.device.byId.empty() ? r.device.path : r.device.byId);
    }
    if (com.empty()) {
        std::cout << "no sensor answered: no [devices] section"
                  << (writeTo.empty() ? "" : "; " + writeTo + " not written") << '\n';
        return 1;
    }
    // The heater's port belongs in the same section: a run must know what it
    // drives, and "none" says so as plainly as a port does.
    DeviceSettings searched;
    searched.lpt = "auto";
    const std::optional<std::string> lpt = reportParallelPorts(searched);
    std::cout << "\n[devices]\n";
    for (std::size_t i = 0; i < com.size(); ++i)
        std::cout << "COM" << i + 1 << '=' << com[i] << '\n';
    if (lpt)
        std::cout << "LPT=" << *lpt << '\n';
    if (answered > com.size())
        std::cout << "(" << answered << " sensors answered; the program has four ports)\n";
    if (writeTo.empty())
        return 0;
    try {
        SaveDeviceMapping(writeTo, com, lpt.value_or(""));
    } catch (const std::exception& e) {
        std::cerr << "probe: " << e.what() << '\n';
        return 2;
    }
    std::cout << "written to " << writeTo << '\n';
    return 0;
}

} // namespace

int probe(int argc, char** argv) {
    std::string port, settingsPath, writeTo, devRoot, sysRoot;
    bool scanAll = false;
    long count = 3;
    OptionParser p("probe", kProbeUsage, '\n' + settingsInUse());
    p.text("--port", port, "COMn or a path");
    p.text("--settings", settingsPath, "a file name");
    p.number("--count", count, {0, 1000});
    p.flag("--scan", scanAll);
    p.text("--write-settings", writeTo, "a file name");
    p.text("--dev-root", devRoot, "a folder");
    p.text("--sys-root", sysRoot, "a folder");
    if (const auto end = p.parse(argc, argv))
        return *end;
    const bool scanOption =
        p.given("--write-settings") || p.given("--dev-root") || p.given("--sys-root");
    if (scanAll && !port.empty())
        return p.fail("--scan tries every device; --port names one");
    if (!scanAll && scanOption)
        return p.fail("--write-settings, --dev-root and --sys-root go with --scan");
    // Absolute: the [devices] section names the devices by these paths. An
    // empty name has no absolute form (std::filesystem::absolute throws).
    DeviceRoots roots;
    for (auto [name, dir, root] : {std::tuple{"--dev-root", &devRoot, &roots.dev},
                                   std::tuple{"--sys-root", &sysRoot, &roots.sys}}) {
        if (!p.given(name))
            continue;
        if (dir->empty())
            return p.fail(std::string(name) + " needs a folder, not an empty name");
        *root = std::filesystem::absolute(*dir).lexically_normal().string();
    }
    if (settingsPath.empty())
        settingsPath = programSettingsPath();
    std::cout << settingsInUse(settingsPath);
    if (scanAll)
        return scan(roots, writeTo);
    const TSettings settings = loadProgramSettings(settingsPath, '.');
    if (port.empty())
        port = comPortName(
            settings.SavedComPort >= 1 && settings.SavedComPort <= 4 ? settings.SavedComPort : 1);

    ComPortMap map;
    map.paths = settings.devices.com;
    SerialPort serial(map);
    std::cout << "serial port " << port << " (" << map.resolve(port) << "): ";
    if (!serial.OpenCOM(port)) {
        std::cout << "cannot open: " << serial.lastError() << '\n';
        if (serial.lastOpenWasDenied())
            std::cout << permissionAdvice(map.resolve(port), currentUserName()) << '\n';
        if (serial.lastOpenFoundItInUse())
            std::cout << kNotProbed;
        else
            reportParallelPortsSafely(settings.devices, serial);
        return 2;
    }
    serial.SetCOMTo(-1, 0, 0, 0, 0);
    const auto echo = oneWireResetEcho(serial);
    const std::string diagnosis = resetDiagnosis(echo);
    if (!diagnosis.empty() || !ConfigureSensor(serial)) {
        std::cout << (diagnosis.empty() ? "sensor lost during detection" : diagnosis) << '\n';
        reportParallelPortsSafely(settings.devices, serial);
        return 1;
    }
    std::cout << "sensor answered (reset echo 0x" << std::hex << int(*echo) << std::dec << ")\n";

    int good = 0;
    for (long i = 1; i <= count; ++i) {
        if (!StartConversion(serial)) {
            std::cout << "reading " << i << ": no presence when starting the conversion, "
                      << failureDiagnosis(serial) << '\n';
            continue;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(750)); // 12-bit conversion
        const auto t0 = std::chrono::steady_clock::now();
        const TemperatureReading r = ReadTemperature(serial);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();
        char took[32];
        std::snprintf(took, sizeof took, " (%.1f ms)", ms);
        std::cout << "reading " << i << ": ";
        switch (r.status) {
        case ReadStatus::Ok: {
            char value[32];
            std::snprintf(value, sizeof value, "%.4f °C", r.celsius);
            std::cout << value << took;
            if (r.celsius == 85.0)
                std::cout << " (85 °C is the power-on value: was the conversion started?)";
            ++good;
            break;
        }
        case ReadStatus::NoPresence:
            std::cout << "no presence, " << failureDiagnosis(serial) << took;
            break;
        case ReadStatus::CrcMismatch:
            std::cout << "check byte mismatch [" << hexBytes(r.scratchpad) << "]" << took;
            break;
        }
        std::cout << std::endl;
    }
    reportParallelPortsSafely(settings.devices, serial);
    return good > 0 || count == 0 ? 0 : 1;
}

} // namespace thermo::cli
