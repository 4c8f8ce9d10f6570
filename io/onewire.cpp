#include "io/onewire.h"

namespace thermo {

namespace {

SteadyTime deadlineFromNow() {
    return std::chrono::steady_clock::now() + kEchoTimeout;
}

// One echo before the deadline, or none.
bool waitEcho(SerialPort& port, SteadyTime deadline, std::uint8_t& echo) {
    for (;;) {
        std::uint32_t got = 0;
        port.RxDataCOM(&echo, 1, &got);
        if (got == 1)
            return true;
        if (!port.waitForInput(deadline)) {
            port.RxDataCOM(&echo, 1, &got);
            return got == 1;
        }
    }
}

void appendSlots(std::vector<std::uint8_t>& slots, std::uint8_t b) {
    for (int i = 0; i < 8; ++i)
        slots.push_back(((b >> i) & 1) ? kSlotOne : kSlotZero);
}

} // namespace

std::optional<std::uint8_t> oneWireResetEcho(SerialPort& port) {
    const bool slow = port.SetModCOM(9600, 8, 0, 0, 1, 0);
    port.PurgeCOM();
    std::optional<std::uint8_t> result;
    if (slow) {
        const SteadyTime deadline = deadlineFromNow();
        port.TxByteCOM(kResetChar);
        std::uint8_t echo = 0;
        if (waitEcho(port, deadline, echo))
            result = echo;
    }
    // A reset sent at the wrong speed is no reset: trust no echo then.
    if (!port.SetModCOM(115200, 8, 0, 0, 1, 0))
        result.reset();
    return result;
}

bool OneWireReset(SerialPort& port) {
    // A presence pulse ends within 300 us of the reset's end, so the last
    // bits of the echo are always high: an echo of 0x00 is a bus held low
    // (a short), not a sensor.
    const auto echo = oneWireResetEcho(port);
    return echo && *echo != kResetChar && *echo != 0x00;
}

void OneWireWriteByte(SerialPort& port, std::uint8_t b) {
    port.PurgeCOM();
    const SteadyTime deadline = deadlineFromNow();
    for (int i = 0; i < 8; ++i) {
        port.TxByteCOM(((b >> i) & 1) ? kSlotOne : kSlotZero);
        std::uint8_t echo = 0;
        if (!waitEcho(port, deadline, echo))
            return;
    }
}

std::uint8_t OneWireReadByte(SerialPort& port) {
    port.PurgeCOM();
    const SteadyTime deadline = deadlineFromNow();
    std::uint8_t acc = 0;
    for (int i = 0; i < 8; ++i) {
        port.TxByteCOM(kSlotOne);
        acc = static_cast<std::uint8_t>(acc >> 1);
        std::uint8_t echo = 0;
        if (!waitEcho(port, deadline, echo))
            return 0xFF;
        if (echo & 1)
            acc |= 0x80;
    }
    return acc;
}

std::uint8_t Crc8Step(std::uint8_t Crc8, std::uint8_t b) {
    for (int i = 0; i < 8; ++i) {
        const bool mix = ((Crc8 ^ b) & 1) != 0;
        Crc8 = static_cast<std::uint8_t>(Crc8 >> 1);
        if (mix)
            Crc8 ^= 0x8C;
        b = static_cast<std::uint8_t>(b >> 1);
    }
    return Crc8;
}

std::uint8_t crc8(std::span<const std::uint8_t> bytes) {
    std::uint8_t c = 0;
    for (auto b : bytes)
        c = Crc8Step(c, b);
    return c;
}

OneWireTransfer oneWireTransfer(SerialPort& port, std::span<const std::uint8_t> toWrite,
                                std::size_t readCount) {
    OneWireTransfer result;
    result.read.assign(readCount, 0xFF);
    std::vector<std::uint8_t> slots;
    slots.reserve((toWrite.size() + readCount) * 8);
    for (auto b : toWrite)
        appendSlots(slots, b);
    slots.insert(slots.end(), readCount * 8, kSlotOne);

    port.PurgeCOM();
    if (!port.TxBytesCOM(slots)) {
        result.timedOut = true;
        return result;
    }
    const std::size_t groups = toWrite.size() + readCount;
    for (std::size_t g = 0; g < groups; ++g) {
        const SteadyTime deadline = deadlineFromNow();
        std::uint8_t echoes[8];
        std::uint32_t have = 0;
        while (have < 8) {
            std::uint32_t got = 0;
            port.RxDataCOM(echoes + have, 8 - have, &got);
            have += got;
            if (got == 0 && !port.waitForInput(deadline)) {
                port.RxDataCOM(echoes + have, 8 - have, &got);
                have += got;
                break;
            }
        }
        if (have < 8) {
            // An echo went missing, so the ones still to come can no longer
            // be told apart: what is unread stays 0xFF, as each byte's own
            // time-out would leave it, and the next operation purges the rest.
            result.timedOut = true;
            return result;
        }
        if (g < toWrite.size())
            continue;
        std::uint8_t acc = 0;
        for (int i = 7; i >= 0; --i)
            acc = static_cast<std::uint8_t>((acc << 1) | (echoes[i] & 1));
        result.read[g - toWrite.size()] = acc;
    }
    return result;
}

} // namespace thermo
