#include "io/ds18b20.h"

#include <algorithm>

#include "io/onewire.h"

namespace thermo {

double scratchpadTemperature(std::uint8_t b0, std::uint8_t b1) {
    int raw = b1 * 256 + b0;
    if (b1 > 7)
        raw -= 65536;
    return raw / 16.0;
}

bool StartConversion(SerialPort& port) {
    if (!OneWireReset(port))
        return false;
    const std::uint8_t cmd[] = {kSkipRom, kConvertT};
    (void)oneWireTransfer(port, cmd, 0);
    return true;
}

TemperatureReading ReadTemperature(SerialPort& port) {
    TemperatureReading r;
    if (!OneWireReset(port)) {
        r.status = ReadStatus::NoPresence;
        return r;
    }
    const std::uint8_t cmd[] = {kSkipRom, kReadScratchpad};
    const OneWireTransfer t = oneWireTransfer(port, cmd, r.scratchpad.size());
    std::copy(t.read.begin(), t.read.end(), r.scratchpad.begin());
    const std::uint8_t crc = crc8(std::span(r.scratchpad).first(8));
    // Nine zero bytes carry a matching check byte, yet no DS18B20 sends them
    // (its configuration byte always has its five low bits set): it is a bus
    // held low, and taking it as 0 °C would drive the heater to full power.
    const bool allZero = std::all_of(r.scratchpad.begin(), r.scratchpad.end(),
                                     [](std::uint8_t b) { return b == 0; });
    if (crc != r.scratchpad[8] || allZero) {
        r.status = ReadStatus::CrcMismatch;
        return r;
    }
    r.status = ReadStatus::Ok;
    r.celsius = scratchpadTemperature(r.scratchpad[0], r.scratchpad[1]);
    return r;
}

bool ConfigureSensor(SerialPort& port) {
    if (!OneWireReset(port))
        return false;
    const std::uint8_t cmd[] = {kSkipRom, kWriteScratchpad, kSensorTH, kSensorTL, kSensorConfig};
    (void)oneWireTransfer(port, cmd, 0);
    return true;
}

} // namespace thermo
