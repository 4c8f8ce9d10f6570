#include "io/serial_port.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace thermo {

namespace {

std::string systemText(int err) {
    return std::strerror(err);
}

// What a terminal whose device has gone away answers: a hung-up terminal
// (an unplugged USB adapter, a pseudo-terminal whose master closed) gives
// EIO to everything but read; some drivers say ENODEV or ENXIO instead.
bool deviceGone(int err) {
    return err == EIO || err == ENXIO || err == ENODEV;
}

speed_t speedCode(std::int32_t baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    default:
        return B0;
    }
}

// USB-serial adapters hold received characters back for their latency timer
// (16 ms by default on FTDI) unless asked for low latency. Drivers without
// the request (CH340, pseudo-terminals) refuse it, which is no error.
void askLowLatency(int fd) {
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) == 0) {
        ss.flags |= ASYNC_LOW_LATENCY;
        (void)ioctl(fd, TIOCSSERIAL, &ss);
    }
}

} // namespace

std::string ComPortMap::resolve(std::string_view name) const {
    if (name.size() == 4 && name.substr(0, 3) == "COM" && name[3] >= '1' && name[3] <= '4')
        return paths[static_cast<std::size_t>(name[3] - '1')];
    return std::string(name);
}

std::string comPortName(int n) {
    return "COM" + std::string(1, static_cast<char>(48 + n));
}

SerialPort::SerialPort(ComPortMap map) : m_map(std::move(map)) {}

SerialPort::~SerialPort() {
    CloseCOM();
}

bool SerialPort::OpenCOM(std::string_view name) {
    CloseCOM();
    m_inUse = false;
    m_denied = false;
    const std::string path = m_map.resolve(name);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_denied = errno == EACCES || errno == EPERM;
        m_lastError = path + ": " + systemText(errno);
        return false;
    }
    auto fail = [&](const std::string& why) {
        m_lastError = path + ": " + why;
        ::close(fd);
        return false;
    };
    if (!isatty(fd))
        return fail("not a serial port");
    // flock rather than TIOCEXCL: it binds root too, and the kernel drops it
    // when a program dies holding the port.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        m_inUse = errno == EWOULDBLOCK;
        return fail(m_inUse ? "in use by another program" : systemText(errno));
    }
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return fail(systemText(errno));
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CRTSCTS | CSTOPB | PARENB);
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    // VTIME counts tenths of a second, too coarse for a 50 ms deadline:
    // reads return at once and the waits use poll().
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        return fail(systemText(errno));
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)ioctl(fd, TIOCMBIS, &lines); // a pseudo-terminal has no modem lines
    askLowLatency(fd);
    tcflush(fd, TCIOFLUSH);
    m_fd = fd;
    m_path = path;
    m_lastError.clear();
    return true;
}

void SerialPort::CloseCOM() {
    if (m_fd < 0)
        return;
    ::close(m_fd); // releases the lock as well
    m_fd = -1;
    m_path.clear();
}

namespace {

enum class PortLock { NotAPort, Free, Held };

// Whether a serial device exists and whether another program holds the lock
// that OpenCOM takes.
PortLock portLock(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return PortLock::NotAPort;
    PortLock state = PortLock::NotAPort;
    if (isatty(fd))
        state = flock(fd, LOCK_EX | LOCK_NB) == 0 ? PortLock::Free
                : errno == EWOULDBLOCK            ? PortLock::Held
                                                  : PortLock::NotAPort;
    ::close(fd);
    return state;
}

} // namespace

bool SerialPort::AccessCOM(std::string_view name) const {
    const std::string path = m_map.resolve(name);
    if (m_fd >= 0 && path == m_path)
        return true;
    return portLock(path) == PortLock::Free;
}

bool SerialPort::heldByAnotherProgram(std::string_view name) const {
    const std::string path = m_map.resolve(name);
    return !(m_fd >= 0 && path == m_path) && portLock(path) == PortLock::Held;
}

void SerialPort::SetCOMTo(std::int32_t readInterval, std::int32_t readMultiplier,
                          std::int32_t readConstant, std::int32_t, std::int32_t) {
    m_immediateReads = readInterval == -1 && readMultiplier == 0 && readConstant == 0;
    m_readMultiplier = readMultiplier < 0 ? 0 : readMultiplier;
    m_readConstant = readConstant < 0 ? 0 : readConstant;
}

bool SerialPort::SetModCOM(std::int32_t baud, std::int32_t dataBits, std::int32_t parity,
                           std::int32_t stopBits, std::int32_t, std::int32_t flow) {
    if (m_fd < 0)
        return false;
    const speed_t code = speedCode(baud);
    tcflag_t size = 0;
    switch (dataBits) {
    case 5:
        size = CS5;
        break;
    case 6:
        size = CS6;
        break;
    case 7:
        size = CS7;
        break;
    case 8:
        size = CS8;
        break;
    default:
        break;
    }
    if (code == B0 || size == 0 || parity < 0 || parity > 2 || (stopBits != 0 && stopBits != 2) ||
        flow != 0) {
        m_lastError = "unsupported line settings";
        return false;
    }
    termios t{};
    if (tcgetattr(m_fd, &t) != 0)
        return failLine(errno);
    t.c_cflag = (t.c_cflag & ~(CSIZE | PARENB | PARODD | CSTOPB)) | size;
    if (parity != 0)
        t.c_cflag |= PARENB | (parity == 1 ? PARODD : 0);
    if (stopBits == 2)
        t.c_cflag |= CSTOPB;
    cfsetispeed(&t, code);
    cfsetospeed(&t, code);
    if (tcsetattr(m_fd, TCSANOW, &t) != 0)
        return failLine(errno);
    // tcsetattr reports success when any part of the change was made, so
    // read the speed back.
    termios back{};
    if (tcgetattr(m_fd, &back) != 0)
        return failLine(errno);
    if (cfgetospeed(&back) != code) {
        m_lastError = "the driver did not take " + std::to_string(baud) + " baud";
        return false;
    }
    return true;
}

bool SerialPort::failLine(int err) {
    if (deviceGone(err))
        dropDeadPort();
    else
        m_lastError = systemText(err);
    return false;
}

void SerialPort::PurgeCOM() {
    if (m_fd >= 0 && tcflush(m_fd, TCIFLUSH) != 0 && deviceGone(errno))
        dropDeadPort();
}

bool SerialPort::stillOpen() {
    termios t{};
    if (m_fd >= 0 && tcgetattr(m_fd, &t) != 0 && deviceGone(errno))
        dropDeadPort();
    return m_fd >= 0;
}

void SerialPort::TxByteCOM(std::uint32_t c) {
    const auto b = static_cast<std::uint8_t>(c & 0xFF);
    (void)TxBytesCOM({&b, 1});
}

bool SerialPort::TxBytesCOM(std::span<const std::uint8_t> bytes) {
    if (m_fd < 0)
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            // The output queue is full (only with far more than one
            // transaction in flight): wait for room.
            pollfd p{m_fd, POLLOUT, 0};
            if (::poll(&p, 1, 50) <= 0)
                return false;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0 && deviceGone(errno))
                dropDeadPort();
            return false;
        }
    }
    return true;
}

std::uint32_t SerialPort::RxDataCOM(std::uint8_t* buf, std::uint32_t wanted,
                                    std::uint32_t* received) {
    std::uint32_t got = 0;
    if (m_fd >= 0 && wanted > 0) {
        if (!m_immediateReads) {
            const auto total =
                std::chrono::milliseconds(m_readConstant + m_readMultiplier * std::int64_t(wanted));
            const SteadyTime deadline = std::chrono::steady_clock::now() + total;
            while (got < wanted && m_fd >= 0) {
                const ssize_t n = ::read(m_fd, buf + got, wanted - got);
                if (n > 0)
                    got += static_cast<std::uint32_t>(n);
                else if (n < 0 && deviceGone(errno))
                    dropDeadPort();
                else if (!waitForInput(deadline))
                    break;
            }
        } else {
            const ssize_t n = ::read(m_fd, buf, wanted);
            if (n > 0)
                got = static_cast<std::uint32_t>(n);
            else if (n < 0 && deviceGone(errno))
                dropDeadPort();
        }
    }
    if (received)
        *received = got;
    return got;
}

bool SerialPort::waitForInput(SteadyTime deadline) {
    if (m_fd < 0)
        return false;
    for (;;) {
        const auto left = deadline - std::chrono::steady_clock::now();
        const auto ns = std::max<std::int64_t>(
            0, std::chrono::duration_cast<std::chrono::nanoseconds>(left).count());
        timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        pollfd p{m_fd, POLLIN, 0};
        const int r = ::ppoll(&p, 1, &ts, nullptr);
        if (r > 0) {
            // A USB adapter pulled out (or a simulator that went away) leaves
            // the terminal hung up: always "readable", yet every read is
            // empty. Nothing more will arrive on it.
            if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
                dropDeadPort();
                return false;
            }
            return (p.revents & POLLIN) != 0;
        }
        if (r == 0 || errno != EINTR)
            return false;
    }
}

void SerialPort::dropDeadPort() {
    // Closing it releases the device, so the adapter plugged in again gets
    // its old name; every operation is harmless on a closed port, and the
    // next reading finds no sensor.
    CloseCOM();
    m_lastError = "the adapter was disconnected (the terminal hung up)";
}

std::int32_t speedValue(speed_t code) {
    switch (code) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    case B230400:
        return 230400;
    default:
        return 0;
    }
}

std::int32_t SerialPort::baud() const {
    termios t{};
    if (m_fd < 0 || tcgetattr(m_fd, &t) != 0)
        return 0;
    return speedValue(cfgetospeed(&t));
}

} // namespace thermo
