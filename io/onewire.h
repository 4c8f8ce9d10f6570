#pragma once
// The 1-Wire bus through a UART whose transmit and receive lines are tied to
// the data line: every character sent comes back as an echo, changed where a
// device pulled the line low. A reset is one character at 9600 baud, each
// data bit one character ("slot") at 115200 baud.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "io/serial_port.h"

namespace thermo {

// How long one operation may wait for its echoes: set once at its start, so
// the eight slots of a byte share it.
inline constexpr std::chrono::milliseconds kEchoTimeout{50};

inline constexpr std::uint8_t kResetChar = 0xF0; // 5 low bit times at 9600 = 520 us pulse
inline constexpr std::uint8_t kSlotOne = 0xFF;   // write-1 and read slot
inline constexpr std::uint8_t kSlotZero = 0x00;  // write-0 slot

// Reset and presence: true when one echo came back and it is neither 0xF0
// (nobody answered) nor 0x00 (the bus is shorted). The
// port is left at 115200 baud whatever the outcome.
[[nodiscard]] bool OneWireReset(SerialPort& port);

// The reset as the technician needs it: the echo itself (nothing when none
// came within 50 ms). 0xF0 means nobody answered, 0x00 a shorted bus.
[[nodiscard]] std::optional<std::uint8_t> oneWireResetEcho(SerialPort& port);

// One byte, least significant bit first, one slot per round trip. On a
// time-out the remaining bits are not sent and nothing is reported; the next
// operation starts with a purge.
void OneWireWriteByte(SerialPort& port, std::uint8_t b);

// Eight read slots, one per round trip; the bit is bit 0 of each echo. A
// time-out gives 0xFF.
[[nodiscard]] std::uint8_t OneWireReadByte(SerialPort& port);

// One step of the Dallas/Maxim CRC-8 (x^8 + x^5 + x^4 + 1, reflected 0x8C,
// initial value 0): returns the accumulator after byte b.
[[nodiscard]] std::uint8_t Crc8Step(std::uint8_t Crc8, std::uint8_t b);
[[nodiscard]] std::uint8_t crc8(std::span<const std::uint8_t> bytes);

// The slots of a whole transaction after its reset, sent in one write: the
// bytes of `toWrite`, then `readCount` bytes of read slots. The echoes are
// collected eight at a time, each group under its own 50 ms deadline, so the
// worst case is what one round trip per slot would allow while a healthy
// bus costs one turnaround instead of one per slot.
struct OneWireTransfer {
    std::vector<std::uint8_t> read; // readCount bytes; 0xFF where echoes were missing
    bool timedOut = false;          // some group's echoes did not all arrive
};
[[nodiscard]] OneWireTransfer
oneWireTransfer(SerialPort& port, std::span<const std::uint8_t> toWrite, std::size_t readCount);

} // namespace thermo
