#pragma once
// One way of reaching parallel-port registers by I/O address. The heater's
// driver (TLptPortConnection) holds one or more of these, each serving the
// ports it can reach: a ppdev device serves its one port, direct port I/O
// the addresses the kernel granted, the simulated register file 0x378.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "io/sim_register_file.h"

namespace thermo {

// What the heater guard (a separate process) needs to reach a device's data
// register on its own: the descriptor it inherits (a claimed ppdev device,
// the simulated register file) or, for direct port I/O, only the address,
// since port permissions are per process.
struct GuardRegister {
    enum class Kind { Ppdev, PortIo, Sim };
    Kind kind = Kind::Sim;
    int fd = -1;            // Ppdev, Sim
    std::uint16_t base = 0; // the data register's I/O address
};

class RegisterDevice {
public:
    virtual ~RegisterDevice() = default;
    // True when this device reaches the register at I/O address `io`.
    [[nodiscard]] virtual bool serves(std::uint16_t io) const = 0;
    [[nodiscard]] virtual bool read(std::uint16_t io, std::uint8_t& value) = 0;
    [[nodiscard]] virtual bool write(std::uint16_t io, std::uint8_t value) = 0;
    // The device was taken away under the open file (a USB adapter pulled
    // out): the kernel still accepts every write, and nothing receives it.
    [[nodiscard]] virtual bool gone() const { return false; }
    // For the technician: "ppdev /dev/parport0", "port I/O", "sim:/tmp/lpt".
    [[nodiscard]] virtual std::string describe() const = 0;
    // How the heater guard reaches this device; nothing for a device it
    // cannot reach (a test's stand-in).
    [[nodiscard]] virtual std::optional<GuardRegister> guardRegister() const {
        return std::nullopt;
    }
};

// A claimed /dev/parportN serving the port at `base`; released on
// destruction. Null with *err set to the system's error number when the
// device cannot be opened or claimed.
[[nodiscard]] std::unique_ptr<RegisterDevice> openPpdev(const std::string& path, std::uint16_t base,
                                                        int* err);

// Direct port I/O for the port at `base` (x86, needs CAP_SYS_RAWIO). Null
// with *err set when the kernel refuses it or the machine is not x86.
[[nodiscard]] std::unique_ptr<RegisterDevice> openPortIo(std::uint16_t base, int* err);

// Whether this process may use direct port I/O: CAP_SYS_RAWIO in its
// effective set, which root has and a student's login does not.
[[nodiscard]] bool hasPortIoCapability();
// The same from the text of /proc/self/status (its "CapEff:" line, in hex).
[[nodiscard]] bool statusGrantsPortIo(std::string_view procStatus);

// The simulated register file (port 0x378 only).
[[nodiscard]] std::unique_ptr<RegisterDevice> openSimRegisters(const std::string& path,
                                                               std::string* error, int* err);

// The heater guard's side: the device behind a GuardRegister the program
// handed down. A ppdev device stays claimed by the program (it is one open
// file for both), the simulated file stays locked by it; direct port I/O asks
// the kernel for this process's own permission. Null with *error set when
// the register cannot be reached.
[[nodiscard]] std::unique_ptr<RegisterDevice> adoptGuardRegister(const GuardRegister& r,
                                                                 std::string* error);

} // namespace thermo
