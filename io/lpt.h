#pragma once
// The parallel-port driver through which the heater byte (0..234) reaches
// the data register. Ports are named by an identifier in the high nibble of
// a register address byte, the register offset in its low three bits:
// LptPort2 | RegData = 0x20 is the data register at 0x378.
//
// Typical use by the main window's start-up and the control cycle:
//   auto lpt = TLptPortConnection::fromSetting(devices.lpt); // "auto" or "sim:/path"
//   if (!lpt.IsReady()) show kLptNotReadyText + std::to_string(lpt.errorCode());
//   lpt.selectPort();
//   lpt.WriteRegister(lpt.SelectedLptPort(), RegData, 0);

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/register_device.h"

namespace thermo {

inline constexpr std::uint8_t LptPort1 = 0x10; // 0x3BC
inline constexpr std::uint8_t LptPort2 = 0x20; // 0x378
inline constexpr std::uint8_t LptPort3 = 0x30; // 0x278
inline constexpr std::uint8_t RegData = 0;
inline constexpr std::uint8_t RegStatus = 1;
inline constexpr std::uint8_t RegControl = 2;

// The start-up message when the driver is not ready; the error number follows.
inline constexpr const char* kLptNotReadyText =
    "Ошибка при создании объекта Lpt,  драйвер ERROR,  код = ";

// I/O address of a register address byte: base 0x3BC for high nibble 1,
// 0x378 for 2, 0x278 for any other, plus the low three bits.
[[nodiscard]] std::uint16_t lptIoAddress(std::uint8_t registerAddress);

struct RegisterPair {
    std::uint8_t address; // port identifier | register offset
    std::uint8_t value;   // written, or filled in by a read
};

// Where "auto" looks for ports. Tests point it at a tree of their own.
struct LptSystem {
    std::string procRoot = "/proc/sys/dev/parport"; // parportN/base-addr
    std::string devRoot = "/dev";                   // parportN
    // Try ioperm for standard ports no ppdev device serves. Only a process
    // with CAP_SYS_RAWIO may; without it ppdev is the one way to a port.
    bool allowPortIo = hasPortIoCapability();
};

// When a new connection probes the three ports (which puts test patterns on
// their data registers): at once, or when told to, after the heater guard has
// been started over its devices.
enum class PortProbe { AtOpen, Later };

class TLptPortConnection {
public:
    // Ready, reaching the registers through `devices` (possibly none: the
    // machine has no parallel port and heater bytes go nowhere).
    explicit TLptPortConnection(std::vector<std::unique_ptr<RegisterDevice>> devices,
                                PortProbe probe = PortProbe::AtOpen);
    // Not ready: an access path exists but could not be opened. `device`:
    // the register device that refused, when one did.
    static TLptPortConnection notReady(int errorCode, std::string errorText,
                                       std::string device = {});

    // From the settings' [devices] LPT= value:
    //   "auto"      ppdev for every parport at 0x3BC, 0x378 or 0x278, direct
    //               port I/O where no ppdev device serves a standard port and
    //               the kernel allows it; without port I/O, /dev/parport0
    //               in 0x378's place when no standard address is its own;
    //   "none"      no port;
    //   "/dev/parportN"  that ppdev device, at its own address if standard,
    //               otherwise standing in for 0x378;
    //   "sim:PATH"  the simulated register file (see sim_register_file.h).
    // Anything else, or an access path that exists but cannot be opened,
    // gives a connection that is not ready.
    [[nodiscard]] static TLptPortConnection fromSetting(std::string_view lpt,
                                                        const LptSystem& sys = {},
                                                        PortProbe probe = PortProbe::AtOpen);
    // The probe of the three ports a connection opened with PortProbe::Later
    // has not made yet (present() answers from it).
    void probePorts();
    // Every register device of the connection as the heater guard reaches it.
    [[nodiscard]] std::vector<GuardRegister> guardRegisters() const;

    // False when an access path exists but could not be opened; every
    // register access then fails without touching anything.
    [[nodiscard]] bool IsReady() const { return m_ready; }
    [[nodiscard]] int errorCode() const { return m_errorCode; } // errno
    [[nodiscard]] const std::string& errorText() const { return m_errorText; }
    // The register device (/dev/parportN, a simulated file) whose open
    // failed; empty when the failure was not a device's (no port I/O).
    [[nodiscard]] const std::string& errorDevice() const { return m_errorDevice; }

    // One access per pair, in order. False when not ready or any access
    // failed (also for a port no device reaches; its read value stays).
    bool ReadRegisters(std::span<RegisterPair> pairs);
    bool WriteRegisters(std::span<const RegisterPair> pairs);
    // The read value stays 0 when the read failed.
    [[nodiscard]] std::uint8_t ReadRegister(std::uint8_t port, std::uint8_t reg);
    bool WriteRegister(std::uint8_t port, std::uint8_t reg, std::uint8_t value);

    // Whether a port answers: its data register reads back 0, 0x55 and 0xAA
    // (restored afterwards), or its control or status register reads
    // something other than 0 and 0xFF.
    [[nodiscard]] bool ProbePort(std::uint8_t port);
    // ProbePort of the three ports at construction.
    [[nodiscard]] bool present(std::uint8_t port) const;

    // The start-up selection: probes ports 1, 2, 3 in order, the last present
    // one wins. Sets Adr_LPT to "$3BC", "$378", "$278" or "" (none).
    void selectPort();
    [[nodiscard]] const std::string& Adr_LPT() const { return m_adrLpt; }
    // "$3BC" -> LptPort1, "$378" -> LptPort2, anything else -> LptPort3.
    [[nodiscard]] std::uint8_t SelectedLptPort() const;

    // Whether the device that reached a port has gone away since it was
    // opened (an adapter unplugged): writes to it reach nothing.
    [[nodiscard]] bool portGone(std::uint8_t port) const;
    // How a port is reached ("ppdev /dev/parport0", "sim:/tmp/lpt"), or ""
    // when nothing reaches it.
    [[nodiscard]] std::string accessPath(std::uint8_t port) const;

private:
    RegisterDevice* deviceFor(std::uint16_t io) const;
    std::vector<std::unique_ptr<RegisterDevice>> m_devices;
    bool m_ready = true;
    int m_errorCode = 0;
    std::string m_errorText;
    std::string m_errorDevice;
    std::array<bool, 3> m_present{};
    std::string m_adrLpt;
};

} // namespace thermo
