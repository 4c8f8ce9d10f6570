#pragma once
// A 1-Wire UART adapter with one DS18B20 behind it, at the character level:
// each character the program sends is judged by how long it holds the line
// low at the line speed the program set (a reset at 9600 baud, a bit slot
// at 115200), and answered with the echo the real wire would give. Time is
// passed in, so the logic is testable without a clock.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace thermo::sim {

using Clock = std::chrono::steady_clock;

struct EmulatorFaults {
    bool noSensor = false;                      // adapter without sensor: plain echo
    bool noAdapter = false;                     // nothing echoes at all
    unsigned crcErrorEvery = 0;                 // every n-th scratchpad read has a bad check byte
    unsigned sensorLostAfter = 0;               // the sensor disappears after n scratchpad reads
    bool stuckAtPowerOn = false;                // conversions never update: 85 °C for ever
    std::optional<std::uint64_t> echoStopAfter; // echoes stop after this many characters
};

class Ds18b20Emulator {
public:
    // `source` gives the temperature the sensor sees when a conversion starts.
    explicit Ds18b20Emulator(std::function<double()> source);

    // One character from the program, sent at `baud`. The echo, or nothing
    // when the adapter stays silent.
    [[nodiscard]] std::optional<std::uint8_t> onChar(std::uint8_t c, int baud,
                                                     Clock::time_point now);

    void setFaults(const EmulatorFaults& f) { m_faults = f; }
    [[nodiscard]] const EmulatorFaults& faults() const { return m_faults; }

    // Called when a conversion's result is latched, with the register in °C.
    void onConversion(std::function<void(double reported)> f) { m_onConversion = std::move(f); }

    // The scratchpad as the sensor would send it now (with its check byte).
    [[nodiscard]] std::array<std::uint8_t, 9> scratchpad(Clock::time_point now);
    [[nodiscard]] std::uint64_t charsReceived() const { return m_chars; }
    [[nodiscard]] std::uint64_t scratchpadReads() const { return m_reads; }
    [[nodiscard]] std::uint64_t conversions() const { return m_conversions; }
    [[nodiscard]] std::uint64_t resets() const { return m_resets; }

    // The register value the sensor reports for temperature t at 12 bits:
    // sixteenths, limited to -55 .. +127.9375 °C.
    [[nodiscard]] static std::int16_t toRegister(double t);
    // Conversion time at the configured resolution (750 ms at 12 bits).
    [[nodiscard]] Clock::duration conversionTime() const;

private:
    enum class State { Idle, RomCommand, FunctionCommand, WriteScratchpad, Sending, Converting };
    void finishConversion(Clock::time_point now);
    void onReset();
    bool sensorPresent() const;
    void onBit(bool bit, Clock::time_point now);
    void commandByte(std::uint8_t b, Clock::time_point now);

    std::function<double()> m_source;
    std::function<void(double)> m_onConversion;
    EmulatorFaults m_faults;
    std::array<std::uint8_t, 8> m_pad{0x50, 0x05, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10}; // power-on
    State m_state = State::Idle;
    std::uint32_t m_shift = 0;
    int m_bitCount = 0;
    std::array<std::uint8_t, 9> m_tx{};
    int m_txBit = 0;
    std::optional<Clock::time_point> m_convDone;
    std::int16_t m_pendingRaw = 0;
    std::uint64_t m_chars = 0;
    std::uint64_t m_reads = 0;
    std::uint64_t m_conversions = 0;
    std::uint64_t m_resets = 0;
};

} // namespace thermo::sim
