#pragma once
// The serial port the 1-Wire adapter hangs on, over POSIX termios.
//
// The eight operations keep the names and the observable contract the rest
// of the program was written against: every one of them is harmless when no
// port is open (receives return nothing, so every wait times out and every
// reset reports no presence). A device that has gone away (EIO, ENXIO or
// ENODEV from any call) is closed at once, so the adapter plugged in again
// can be opened anew. Ports are named "COM1".."COM4", mapped to
// device paths by a ComPortMap the caller passes in (the settings file's
// [devices] section), or given directly as a path.

#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace thermo {

using SteadyTime = std::chrono::steady_clock::time_point;

// "COM1".."COM4" -> device path. Any other name is taken as a path itself.
struct ComPortMap {
    std::array<std::string, 4> paths{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"};

    [[nodiscard]] std::string resolve(std::string_view name) const;
};

// The line speed in baud of a termios speed code (0 for codes the stand never
// uses). The emulator reads the program's speed back with it.
[[nodiscard]] std::int32_t speedValue(unsigned int code);

// "COM" followed by the digit n, n = 1..4.
[[nodiscard]] std::string comPortName(int n);

class SerialPort {
public:
    explicit SerialPort(ComPortMap map = {});
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the port raw 8N1 at 9600 baud without flow control, with DTR and
    // RTS raised (passive adapters take their power from them), and locks it
    // so two programs never share an adapter. Closes a port open before.
    // On failure lastError() says why.
    [[nodiscard]] bool OpenCOM(std::string_view name);
    void CloseCOM();
    // True when the port exists, is a terminal and nobody else holds it. The
    // port this object has open counts as accessible.
    [[nodiscard]] bool AccessCOM(std::string_view name) const;
    // True when another program has the port open (and so locked); the port
    // this object has open does not count.
    [[nodiscard]] bool heldByAnotherProgram(std::string_view name) const;

    // Read time-outs with the meaning of the Windows COMMTIMEOUTS fields:
    // (-1, 0, 0) makes a receive return at once with what has arrived;
    // otherwise a receive waits up to constant + multiplier * wanted ms.
    // The two write values are accepted and ignored: writes never block here.
    void SetCOMTo(std::int32_t readInterval, std::int32_t readMultiplier, std::int32_t readConstant,
                  std::int32_t writeMultiplier, std::int32_t writeConstant);
    // Line settings from the next character on: baud (9600 or 115200 in
    // practice, any standard rate accepted), data bits 5..8, parity 0 none /
    // 1 odd / 2 even, stop bits 0 one / 2 two (the DCB codes); the last
    // value, flow control, must be 0. False when the port is not open, an
    // argument is not supported, the driver did not take the speed, or the
    // device has gone away (the port is then closed).
    bool SetModCOM(std::int32_t baud, std::int32_t dataBits, std::int32_t parity,
                   std::int32_t stopBits, std::int32_t dtrRts, std::int32_t flow);
    // Discards characters received but not yet read.
    void PurgeCOM();
    // Sends the low byte of c.
    void TxByteCOM(std::uint32_t c);
    // Copies up to `wanted` received characters to buf; returns the count.
    std::uint32_t RxDataCOM(std::uint8_t* buf, std::uint32_t wanted, std::uint32_t* received);

    // Additions for the batched 1-Wire transfers.
    // Sends all characters in one write (false when not all went out).
    bool TxBytesCOM(std::span<const std::uint8_t> bytes);
    // Blocks until a character is waiting or the deadline passes; true when
    // one is waiting. Returns false at once with no port open. A port that
    // has hung up (its adapter unplugged) is closed here, lastError() saying
    // so, and gives false.
    bool waitForInput(SteadyTime deadline);

    [[nodiscard]] bool isOpen() const { return m_fd >= 0; }
    // Asks the device whether it is still there, and lets it go when it is
    // not: true while the port is open and answering.
    [[nodiscard]] bool stillOpen();
    [[nodiscard]] const std::string& path() const { return m_path; }
    // The speed the driver reports now (0 when closed).
    [[nodiscard]] std::int32_t baud() const;
    // The system's text for the last failure of OpenCOM or SetModCOM.
    [[nodiscard]] const std::string& lastError() const { return m_lastError; }
    // True when the last OpenCOM failed because another program holds the port.
    [[nodiscard]] bool lastOpenFoundItInUse() const { return m_inUse; }
    // True when the last OpenCOM failed because this user may not open it.
    [[nodiscard]] bool lastOpenWasDenied() const { return m_denied; }
    [[nodiscard]] const ComPortMap& portMap() const { return m_map; }

private:
    void dropDeadPort();
    // A failed line-settings call: lastError() says why; false.
    bool failLine(int err);

    ComPortMap m_map;
    int m_fd = -1;
    std::string m_path;
    std::string m_lastError;
    bool m_inUse = false;
    bool m_denied = false;
    bool m_immediateReads = true;
    std::int32_t m_readMultiplier = 0;
    std::int32_t m_readConstant = 0;
};

} // namespace thermo
