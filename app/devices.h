#pragma once
// The real stand behind the control cycle and the port menu: the serial port
// with the DS18B20 adapter and the parallel port that carries the heater
// byte, as the settings file's [devices] section names them.

#include <cstdint>
#include <optional>

#include "app/cycle.h"
#include "app/port_selection.h"
#include "io/lpt.h"
#include "io/serial_port.h"
#include "storage/recorder.h"
#include "storage/settings.h"

namespace thermo {

class StandDevices : public CycleSensor, public CycleHeater, public SensorPorts {
public:
    explicit StandDevices(const DeviceSettings& devices);

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
    // that fails is ignored, as the tick expects.
    void writeHeater(std::uint8_t counts) override;

    // SensorPorts
    bool AccessCOM(int n) override;
    bool OpenCOM(int n) override;
    void CloseCOM() override;
    void SetCOMToImmediate() override;
    // Detection also starts the first conversion, so the first tick reads a
    // real temperature instead of the 85 °C the sensor holds after power-on.
    bool ConfigureSensor() override;
    [[nodiscard]] bool portStillOpen() override { return serial_.stillOpen(); }

    // Program end: heater off, unread input discarded, port closed.
    void shutdown();

    [[nodiscard]] SerialPort& serial() { return serial_; }
    [[nodiscard]] TLptPortConnection& lpt() { return lpt_; }
    [[nodiscard]] int lastHeaterByte() const { return lastHeater_; }

private:
    SerialPort serial_;
    TLptPortConnection lpt_;
    int lastHeater_ = -1;
    std::optional<SteadyTime> conversionStarted_;
};

// The archive recorder as the control cycle drives it.
class RecorderAdapter : public CycleRecorder {
public:
    explicit RecorderAdapter(ArchiveRecorder& recorder) : recorder_(recorder) {}
    void appendSample(std::uint16_t takt, const TProcessState& state) override;
    bool configChanged(const LiveConfig& live) override;
    void appendConfig(const LiveConfig& live) override;

    [[nodiscard]] static TConfigSources sources(const LiveConfig& live);

private:
    ArchiveRecorder& recorder_;
};

} // namespace thermo
