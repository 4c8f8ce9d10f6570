#include "sim/ds18b20_emulator.h"

#include <algorithm>
#include <cmath>

#include "io/ds18b20.h"
#include "io/onewire.h"

namespace thermo::sim {

namespace {

// How long character c holds the line low: the start bit and the zero bits
// that follow it (least significant first), in microseconds.
double lowMicros(std::uint8_t c, double bitUs) {
    int bits = 1;
    for (int i = 0; i < 8 && !((c >> i) & 1); ++i)
        ++bits;
    return bits * bitUs;
}

// Clears the data bits of c whose middle falls while a device holds the
// line low, from..to microseconds after the start bit's falling edge.
std::uint8_t pullLow(std::uint8_t c, double bitUs, double from, double to) {
    for (int i = 0; i < 8; ++i) {
        const double mid = (1.5 + i) * bitUs;
        if (mid >= from && mid <= to)
            c = static_cast<std::uint8_t>(c & ~(1u << i));
    }
    return c;
}

constexpr double kResetMinUs = 480;   // a longer low resets every device
constexpr double kWriteOneMaxUs = 15; // the sensor samples from 15 us on
constexpr double kPresenceFromUs = 30, kPresenceLenUs = 120;
constexpr double kReadZeroHoldUs = 30; // the sensor holds a 0 bit this long

} // namespace

Ds18b20Emulator::Ds18b20Emulator(std::function<double()> source) : m_source(std::move(source)) {}

std::int16_t Ds18b20Emulator::toRegister(double t) {
    const double sixteenths = std::nearbyint(t * 16.0);
    return static_cast<std::int16_t>(std::clamp(sixteenths, -55.0 * 16, 2047.0));
}

Clock::duration Ds18b20Emulator::conversionTime() const {
    const int r = (m_pad[4] >> 5) & 3; // 0: 9 bits .. 3: 12 bits
    return std::chrono::microseconds(93750) * (1 << r);
}

bool Ds18b20Emulator::sensorPresent() const {
    if (m_faults.noSensor)
        return false;
    return m_faults.sensorLostAfter == 0 || m_reads < m_faults.sensorLostAfter;
}

void Ds18b20Emulator::finishConversion(Clock::time_point now) {
    if (!m_convDone || now < *m_convDone)
        return;
    m_convDone.reset();
    if (m_faults.stuckAtPowerOn)
        return;
    const auto raw = static_cast<std::uint16_t>(m_pendingRaw);
    m_pad[0] = static_cast<std::uint8_t>(raw & 0xFF);
    m_pad[1] = static_cast<std::uint8_t>(raw >> 8);
    m_pad[6] = static_cast<std::uint8_t>(0x10 - (raw & 0x0F)); // COUNT REMAIN
    if (m_onConversion)
        m_onConversion(m_pendingRaw / 16.0);
}

std::array<std::uint8_t, 9> Ds18b20Emulator::scratchpad(Clock::time_point now) {
    finishConversion(now);
    std::array<std::uint8_t, 9> out{};
    std::copy(m_pad.begin(), m_pad.end(), out.begin());
    out[8] = crc8(m_pad);
    return out;
}

void Ds18b20Emulator::onReset() {
    ++m_resets;
    m_state = State::RomCommand;
    m_shift = 0;
    m_bitCount = 0;
}

std::optional<std::uint8_t> Ds18b20Emulator::onChar(std::uint8_t c, int baud,
                                                    Clock::time_point now) {
    ++m_chars;
    if (m_faults.noAdapter || (m_faults.echoStopAfter && m_chars > *m_faults.echoStopAfter))
        return std::nullopt;
    if (baud <= 0)
        return c;
    finishConversion(now);
    const double bitUs = 1e6 / baud;
    const double low = lowMicros(c, bitUs);
    if (low >= kResetMinUs) {
        // A sensor lost after n readings finishes the n-th and is gone from
        // the next reset on.
        if (!sensorPresent()) {
            m_state = State::Idle;
            return c;
        }
        onReset();
        return pullLow(c, bitUs, low + kPresenceFromUs, low + kPresenceFromUs + kPresenceLenUs);
    }
    if (m_faults.noSensor)
        return c;
    if (m_state == State::Sending || m_state == State::Converting) {
        bool bit = true;
        if (m_state == State::Sending) {
            bit = m_txBit >= 72 ||
                  ((m_tx[static_cast<std::size_t>(m_txBit / 8)] >> (m_txBit % 8)) & 1);
            ++m_txBit;
        } else {
            bit = !m_convDone.has_value(); // 0 while busy, 1 when done
        }
        if (!bit)
            return pullLow(c, bitUs, 0, kReadZeroHoldUs);
        return c;
    }
    onBit(low < kWriteOneMaxUs, now);
    return c;
}

void Ds18b20Emulator::onBit(bool bit, Clock::time_point now) {
    if (m_state == State::Idle)
        return;
    m_shift |= static_cast<std::uint32_t>(bit) << m_bitCount;
    ++m_bitCount;
    if (m_state == State::WriteScratchpad) {
        if (m_bitCount == 24) {
            m_pad[2] = static_cast<std::uint8_t>(m_shift & 0xFF);
            m_pad[3] = static_cast<std::uint8_t>((m_shift >> 8) & 0xFF);
            m_pad[4] = static_cast<std::uint8_t>(((m_shift >> 16) & 0x60) | 0x1F);
            m_state = State::Idle;
        }
        return;
    }
    if (m_bitCount == 8) {
        const auto b = static_cast<std::uint8_t>(m_shift);
        m_shift = 0;
        m_bitCount = 0;
        commandByte(b, now);
    }
}

void Ds18b20Emulator::commandByte(std::uint8_t b, Clock::time_point now) {
    if (m_state == State::RomCommand) {
        m_state = b == kSkipRom ? State::FunctionCommand : State::Idle;
        return;
    }
    switch (b) {
    case kConvertT:
        m_pendingRaw = toRegister(m_source ? m_source() : 85.0);
        // Quantised to the configured resolution: the undefined low bits read 0.
        m_pendingRaw =
            static_cast<std::int16_t>(m_pendingRaw & ~((1 << (3 - ((m_pad[4] >> 5) & 3))) - 1));
        m_convDone = now + conversionTime();
        ++m_conversions;
        m_state = State::Converting;
        break;
    case kReadScratchpad:
        ++m_reads;
        m_tx = scratchpad(now);
        if (m_faults.crcErrorEvery && m_reads % m_faults.crcErrorEvery == 0)
            m_tx[8] ^= 0x5A;
        m_txBit = 0;
        m_state = State::Sending;
        break;
    case kWriteScratchpad: // TH, TL, configuration follow
        m_state = State::WriteScratchpad;
        break;
    default: // commands the stand never sends are ignored until the next reset
        m_state = State::Idle;
        break;
    }
}

} // namespace thermo::sim
