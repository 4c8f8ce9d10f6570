#include "run/devices.h"

#include "io/ds18b20.h"

namespace thermo {

namespace {
ComPortMap portMap(const DeviceSettings& d) {
    ComPortMap m;
    m.paths = d.com;
    return m;
}
} // namespace

StandDevices::StandDevices(const DeviceSettings& devices, const std::string& guardExe)
    : serial_(portMap(devices)),
      lpt_(TLptPortConnection::fromSetting(
          devices.lpt, {}, guardExe.empty() ? PortProbe::AtOpen : PortProbe::Later)),
      lptSetting_(devices.lpt), guardRequired_(!guardExe.empty()) {
    if (!lpt_.IsReady())
        return;
    if (guardRequired_) {
        // The probes put test patterns on the data registers: the guard
        // watches from before the first of them.
        guard_ = HeaterGuardLink::start(guardExe, lpt_.guardRegisters(), &guardError_);
        if (!guard_)
            return;
        lpt_.probePorts();
    }
    lpt_.selectPort();
}

StandDevices::~StandDevices() {
    if (guard_ && !guard_->gone()) {
        writeHeater(0);
        guard_->bye();
    }
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
    if (guardRequired_ && (!guard_ || guard_->gone()))
        counts = 0; // nothing would switch it off should the program die now
    if (lpt_.IsReady())
        (void)lpt_.WriteRegister(lpt_.SelectedLptPort(), RegData, counts);
    if (guard_ && !guard_->beat(counts) && counts != 0) {
        // This very beat found the guard gone (or given up on): the byte
        // just written must not stay behind it.
        counts = 0;
        if (lpt_.IsReady())
            (void)lpt_.WriteRegister(lpt_.SelectedLptPort(), RegData, counts);
    }
    lastHeater_ = counts;
}

std::string StandDevices::heaterPort() const {
    if (!lpt_.IsReady() || lpt_.Adr_LPT().empty())
        return {};
    const std::string path = lpt_.accessPath(lpt_.SelectedLptPort());
    return lpt_.Adr_LPT() + (path.empty() ? "" : ", " + path);
}

SessionDevices::Failure StandDevices::startUpFailure() const {
    Failure f;
    f.lptNotReady = !lpt_.IsReady();
    f.lptErrorCode = lpt_.errorCode();
    f.guardError = guardError_;
    f.noHeaterPort = lpt_.IsReady() && lpt_.Adr_LPT().empty();
    f.lptSetting = lptSetting_;
    f.portIoAllowed = hasPortIoCapability();
    return f;
}

void StandDevices::heartbeat() {
    if (guard_)
        (void)guard_->beat(lastHeater_ < 0 ? std::nullopt
                                           : std::optional<std::uint8_t>(lastHeater_));
}

void StandDevices::readingInterval(std::chrono::milliseconds interval) {
    if (guard_)
        (void)guard_->setHangLimit(guard::hangLimitFor(interval));
}

GuardNews StandDevices::pollGuard(std::chrono::milliseconds timeout) {
    if (!guard_)
        return GuardNews::None;
    const GuardNews news = guard_->poll(timeout);
    if (news == GuardNews::SwitchedOff)
        lastHeater_ = 0;
    return news;
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
    if (guard_) {
        guard_->bye();
        guard_.reset(); // heater writes from here on are 0
    }
    serial_.PurgeCOM();
    serial_.CloseCOM();
}

} // namespace thermo
