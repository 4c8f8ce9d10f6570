#include "io/serial_scan.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "io/onewire.h"

namespace thermo {

namespace fs = std::filesystem;

namespace {

// The number after a device name's prefix, or nothing for another name
// (ttyUSB0 under "ttyS" is not a ttyS device).
std::optional<int> deviceNumber(const std::string& name, const std::string& prefix) {
    if (!name.starts_with(prefix) || name.size() == prefix.size())
        return std::nullopt;
    int n = 0;
    const char* first = name.data() + prefix.size();
    const char* last = name.data() + name.size();
    const auto [end, ec] = std::from_chars(first, last, n);
    if (ec != std::errc() || end != last)
        return std::nullopt;
    return n;
}

// The kernel lists ttyS0..ttyS31 whether or not a UART answers behind them;
// an empty one has type 0 (PORT_UNKNOWN).
bool uartBehind(const DeviceRoots& roots, const std::string& name) {
    std::ifstream in(fs::path(roots.sys) / "class" / "tty" / name / "type");
    int type = 0;
    if (!(in >> type))
        return true; // sysfs does not say: let the open tell
    return type != 0;
}

std::string canonicalOrEmpty(const fs::path& p) {
    std::error_code ec;
    const fs::path c = fs::canonical(p, ec);
    return ec ? std::string() : c.string();
}

} // namespace

std::vector<SerialCandidate> serialCandidates(const DeviceRoots& roots) {
    static const char* const prefixes[] = {"ttyS", "ttyUSB", "ttyACM"};
    std::vector<std::pair<std::string, fs::path>> byId; // target, link
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(fs::path(roots.dev) / "serial" / "by-id", ec))
        if (const std::string target = canonicalOrEmpty(e.path()); !target.empty())
            byId.emplace_back(target, e.path());

    std::vector<SerialCandidate> out;
    for (const std::string prefix : prefixes) {
        std::vector<std::pair<int, std::string>> found;
        for (const auto& e : fs::directory_iterator(roots.dev, ec)) {
            const std::string name = e.path().filename().string();
            if (const auto n = deviceNumber(name, prefix))
                if (prefix != "ttyS" || uartBehind(roots, name))
                    found.emplace_back(*n, name);
        }
        std::sort(found.begin(), found.end());
        for (const auto& [n, name] : found) {
            SerialCandidate c;
            c.path = (fs::path(roots.dev) / name).string();
            c.name = name;
            const std::string target = canonicalOrEmpty(c.path);
            for (const auto& [t, link] : byId)
                if (!target.empty() && t == target)
                    c.byId = link.string();
            out.push_back(std::move(c));
        }
    }
    return out;
}

std::optional<LatencyTimer> ftdiLatencyTimer(const DeviceRoots& roots, const std::string& name) {
    const fs::path p =
        fs::path(roots.sys) / "bus" / "usb-serial" / "devices" / name / "latency_timer";
    std::ifstream in(p);
    int ms = 0;
    if (!(in >> ms))
        return std::nullopt;
    return LatencyTimer{p.string(), ms};
}

std::vector<ScanResult> scanSerialDevices(const std::vector<SerialCandidate>& devices,
                                          const DeviceRoots& roots) {
    std::vector<ScanResult> results;
    std::vector<std::unique_ptr<SerialPort>> ports;
    bool converting = false;
    for (const SerialCandidate& d : devices) {
        ScanResult r;
        r.device = d;
        r.latency = ftdiLatencyTimer(roots, d.name);
        auto port = std::make_unique<SerialPort>();
        if (!port->OpenCOM(d.path)) {
            r.open = port->lastOpenFoundItInUse() ? ScanOpen::Busy
                     : port->lastOpenWasDenied()  ? ScanOpen::Denied
                                                  : ScanOpen::Failed;
            r.openError = port->lastError();
        } else {
            r.open = ScanOpen::Opened;
            port->SetCOMTo(-1, 0, 0, 0, 0);
            r.echo = oneWireResetEcho(*port);
            const bool presence = r.echo && *r.echo != kResetChar && *r.echo != 0x00;
            r.sensorAnswered = presence && ConfigureSensor(*port) && StartConversion(*port);
            converting = converting || r.sensorAnswered;
        }
        results.push_back(std::move(r));
        ports.push_back(std::move(port));
    }
    if (converting)
        std::this_thread::sleep_for(kConversionTime);
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (!results[i].sensorAnswered)
            continue;
        const auto t0 = std::chrono::steady_clock::now();
        results[i].reading = ReadTemperature(*ports[i]);
        results[i].readingMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();
    }
    return results;
}

} // namespace thermo
