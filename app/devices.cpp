#include "app/devices.h"

#include "io/ds18b20.h"

namespace thermo {

namespace {
ComPortMap portMap(const DeviceSettings& d) {
    ComPortMap m;
    m.paths = d.com;
    return m;
}
} // namespace

StandDevices::StandDevices(const DeviceSettings& devices)
    : serial_(portMap(devices)), lpt_(TLptPortConnection::fromSetting(devices.lpt)) {
    if (lpt_.IsReady())
        lpt_.selectPort();
}

bool StandDevices::openPath(const std::string& path) {
    return serial_.OpenCOM(path);
}

SensorReading StandDevices::readTemperature() {
    const TemperatureReading r = ReadTemperature(serial_);
    switch (r.status) {
    case ReadStatus::Ok:
        return {SensorStatus::Ok, r.celsius};
    case ReadStatus::CrcMismatch:
        return {SensorStatus::CheckByteMismatch, 0};
    case ReadStatus::NoPresence:
        break;
    }
    return {SensorStatus::NoPresence, 0};
}

void StandDevices::startConversion() {
    const SteadyTime now = std::chrono::steady_clock::now();
    if (conversionStarted_ && now - *conversionStarted_ < kConversionTime)
        return;
    if (StartConversion(serial_))
        conversionStarted_ = now;
}

void StandDevices::writeHeater(std::uint8_t counts) {
    lastHeater_ = counts;
    if (lpt_.IsReady())
        (void)lpt_.WriteRegister(lpt_.SelectedLptPort(), RegData, counts);
}

bool StandDevices::AccessCOM(int n) {
    return serial_.AccessCOM(comPortName(n));
}

bool StandDevices::OpenCOM(int n) {
    return serial_.OpenCOM(comPortName(n));
}

void StandDevices::CloseCOM() {
    serial_.CloseCOM();
}

void StandDevices::SetCOMToImmediate() {
    serial_.SetCOMTo(-1, 0, 0, 0, 0);
}

bool StandDevices::ConfigureSensor() {
    if (!thermo::ConfigureSensor(serial_))
        return false;
    conversionStarted_.reset();
    startConversion();
    return true;
}

void StandDevices::shutdown() {
    writeHeater(0);
    serial_.PurgeCOM();
    serial_.CloseCOM();
}

TConfigSources RecorderAdapter::sources(const LiveConfig& live) {
    TConfigSources s;
    s.Takt = live.Takt;
    s.Zadan = live.Zadan;
    if (live.params)
        s.params = *live.params;
    s.Check_Fuzzy = live.Fuzzy_on;
    s.Check_PID = live.PID_on;
    s.Nagrev = live.Nagrev;
    s.Interval = static_cast<std::uint32_t>(live.intervalMs);
    return s;
}

void RecorderAdapter::appendSample(std::uint16_t takt, const TProcessState& state) {
    recorder_.AppendSample(takt, state); // stamped with the recorder's own clock
}

bool RecorderAdapter::configChanged(const LiveConfig& live) {
    return recorder_.ConfigChanged(sources(live));
}

void RecorderAdapter::appendConfig(const LiveConfig& live) {
    recorder_.AppendConfig(sources(live));
}

} // namespace thermo
