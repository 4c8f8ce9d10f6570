#pragma once
// The DS18B20 transactions the stand needs. Only one device is on the bus,
// so every transaction addresses it with Skip ROM.
//
// Typical use by the control cycle:
//   SerialPort port(map);
//   if (port.OpenCOM("COM1")) { port.SetCOMTo(-1, 0, 0, 0, 0); ConfigureSensor(port); }
//   each tick: auto r = ReadTemperature(port); ...; StartConversion(port);

#include <array>
#include <chrono>
#include <cstdint>

#include "io/serial_port.h"

namespace thermo {

inline constexpr std::uint8_t kSkipRom = 0xCC;
inline constexpr std::uint8_t kConvertT = 0x44;
inline constexpr std::uint8_t kReadScratchpad = 0xBE;
inline constexpr std::uint8_t kWriteScratchpad = 0x4E;

// What ConfigureSensor writes: alarm limits 55 and 11 °C (unused by the
// stand) and 12-bit resolution, which takes 750 ms per conversion.
inline constexpr std::uint8_t kSensorTH = 0x37;
inline constexpr std::uint8_t kSensorTL = 0x0B;
inline constexpr std::uint8_t kSensorConfig = 0x60;
inline constexpr std::chrono::milliseconds kConversionTime{750};

enum class ReadStatus {
    Ok,          // celsius holds the reading
    NoPresence,  // nothing answered the reset: "Датчик  не обнаружен."
    CrcMismatch, // the check byte did not match; the caller keeps its last value
};

struct TemperatureReading {
    ReadStatus status = ReadStatus::NoPresence;
    double celsius = 0.0;                     // defined only with ReadStatus::Ok
    std::array<std::uint8_t, 9> scratchpad{}; // as read, for diagnostics
    [[nodiscard]] bool ok() const { return status == ReadStatus::Ok; }
};

// The temperature register (bytes 1:0, two's complement sixteenths of a
// degree) in °C: 0x0191 -> 25.0625, 0xFF5E -> -10.125.
[[nodiscard]] double scratchpadTemperature(std::uint8_t b0, std::uint8_t b1);

// Reset, Skip ROM, Convert T. Does not wait for the conversion; returns the
// presence of the reset (nothing is sent without it).
bool StartConversion(SerialPort& port);

// Reset, Skip ROM, Read Scratchpad, nine bytes and their check.
[[nodiscard]] TemperatureReading ReadTemperature(SerialPort& port);

// Reset, Skip ROM, Write Scratchpad TH, TL, configuration. Returns the
// presence of the reset; the written values are not read back.
[[nodiscard]] bool ConfigureSensor(SerialPort& port);

} // namespace thermo
