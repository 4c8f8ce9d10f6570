#pragma once
// The real stand behind the control cycle and the port menu: the serial port
// with the DS18B20 adapter and the parallel port that carries the heater
// byte, as the settings file's [devices] section names them.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "run/cycle.h"
#include "run/session.h"
#include "run/port_selection.h"
#include "run/heater_guard_link.h"
#include "io/lpt.h"
#include "io/serial_port.h"
#include "storage/settings.h"

namespace thermo {

class StandDevices : public SessionDevices, public SensorPorts {
public:
    // With `guardExe`, the heater guard (io/heater_guard_link.h) is started
    // over the parallel port's registers before anything writes them, the
    // start-up's port probes included; should it not start, nothing is
    // written but 0 and guardError() says why. Without, nothing guards the
    // heater but the program itself (tests of the parts).
    explicit StandDevices(const DeviceSettings& devices, const std::string& guardExe = {});
    // Ends in order: heater 0, and a guard told goodbye.
    ~StandDevices() override;
    StandDevices(const StandDevices&) = delete;
    StandDevices& operator=(const StandDevices&) = delete;

    // Open a port by path instead of a COM number (the headless tools).
    [[nodiscard]] bool openPath(const std::string& path);

    // CycleSensor
    SensorReading readTemperature() override;
    // A conversion still running is left to finish: a new Convert T would
    // start it over, and at intervals under 750 ms no reading would ever
    // complete (the temperature would never change). The ticks in between
    // read the last finished conversion.
    void startConversion() override;
    // CycleHeater: the data register of the selected parallel port. A write
    // that fails is ignored, as the tick expects. The guard hears each byte;
    // while a guard that is required is not running, the heater gets 0
    // whatever is asked.
    void writeHeater(std::uint8_t counts) override;

    // SessionDevices
    [[nodiscard]] Failure startUpFailure() const override;
    // A guard was started and is no longer running: no run may go on.
    [[nodiscard]] bool guardLost() const override { return guard_ && guard_->gone(); }
    // What the guard has said (waiting up to `timeout`). After SwitchedOff
    // the heater is known to be at 0.
    GuardNews pollGuard(std::chrono::milliseconds timeout) override;
    // The event loop's heartbeat to the guard.
    void heartbeat() override;
    void readingInterval(std::chrono::milliseconds interval) override;
    // Program end: heater off, the guard told goodbye, unread input
    // discarded, port closed.
    void shutdown() override;

    // The heater guard, when one was asked for.
    [[nodiscard]] const std::string& guardError() const { return guardError_; }
    [[nodiscard]] HeaterGuardLink* guard() { return guard_.get(); }

    // SensorPorts
    bool AccessCOM(int n) override;
    bool OpenCOM(int n) override;
    void CloseCOM() override;
    void SetCOMToImmediate() override;
    // Detection also starts the first conversion, so the first tick reads a
    // real temperature instead of the 85 °C the sensor holds after power-on.
    bool ConfigureSensor() override;
    [[nodiscard]] bool portStillOpen() override { return serial_.stillOpen(); }

    [[nodiscard]] SerialPort& serial() { return serial_; }
    [[nodiscard]] TLptPortConnection& lpt() { return lpt_; }
    [[nodiscard]] int lastHeaterByte() const { return lastHeater_; }
    // The port that carries the heater and how it is reached ("$378, ppdev
    // /dev/parport0"); empty when none answered.
    [[nodiscard]] std::string heaterPort() const;

private:
    SerialPort serial_;
    TLptPortConnection lpt_;
    int lastHeater_ = -1;
    std::optional<SteadyTime> conversionStarted_;
    std::string lptSetting_;
    bool guardRequired_ = false;
    std::string guardError_;
    std::unique_ptr<HeaterGuardLink> guard_;
};

} // namespace thermo
