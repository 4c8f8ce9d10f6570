#include "io/register_device.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/capability.h>
#include <linux/ppdev.h>
#include <sstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define THERMO_HAVE_PORT_IO 1
#endif

namespace thermo {

namespace {

class PpdevDevice final : public RegisterDevice {
public:
    // `owner`: this process claimed the port and releases it at the end. The
    // guard shares the program's open file and its claim, and must not
    // release it under a program that goes on.
    PpdevDevice(int fd, std::string path, std::uint16_t base, bool owner = true)
        : m_fd(fd), m_path(std::move(path)), m_base(base), m_owner(owner) {}
    ~PpdevDevice() override {
        if (m_owner)
            ioctl(m_fd, PPRELEASE);
        ::close(m_fd);
    }
    bool serves(std::uint16_t io) const override { return io >= m_base && io <= m_base + 2; }
    bool read(std::uint16_t io, std::uint8_t& value) override {
        unsigned char v = 0;
        unsigned long req = 0;
        switch (io - m_base) {
        case 0:
            req = PPRDATA;
            break;
        case 1:
            req = PPRSTATUS;
            break;
        case 2:
            req = PPRCONTROL;
            break;
        default:
            return false;
        }
        if (ioctl(m_fd, req, &v) != 0)
            return false;
        value = v;
        return true;
    }
    bool write(std::uint16_t io, std::uint8_t value) override {
        unsigned char v = value;
        switch (io - m_base) {
        case 0:
            return ioctl(m_fd, PPWDATA, &v) == 0;
        case 2:
            return ioctl(m_fd, PPWCONTROL, &v) == 0;
        default:
            return false; // the status register is read-only
        }
    }
    // The kernel deletes the node of a port that goes away, and the open
    // file then names no link.
    bool gone() const override {
        struct stat st {};
        return fstat(m_fd, &st) == 0 && st.st_nlink == 0;
    }
    std::string describe() const override { return "ppdev " + m_path; }
    std::optional<GuardRegister> guardRegister() const override {
        return GuardRegister{GuardRegister::Kind::Ppdev, m_fd, m_base};
    }

private:
    int m_fd;
    std::string m_path;
    std::uint16_t m_base;
    bool m_owner;
};

#ifdef THERMO_HAVE_PORT_IO
class PortIoDevice final : public RegisterDevice {
public:
    explicit PortIoDevice(std::uint16_t base) : m_base(base) {}
    ~PortIoDevice() override { ioperm(m_base, 3, 0); }
    bool serves(std::uint16_t io) const override { return io >= m_base && io <= m_base + 2; }
    bool read(std::uint16_t io, std::uint8_t& value) override {
        value = inb(io);
        return true;
    }
    bool write(std::uint16_t io, std::uint8_t value) override {
        outb(value, io);
        return true;
    }
    std::string describe() const override { return "port I/O"; }
    std::optional<GuardRegister> guardRegister() const override {
        return GuardRegister{GuardRegister::Kind::PortIo, -1, m_base};
    }

private:
    std::uint16_t m_base;
};
#endif

class SimDevice final : public RegisterDevice {
public:
    // `lockFd`: the file opened and locked for this program, or -1 in the
    // guard, which writes through the program's lock.
    SimDevice(SimRegisterFile file, int lockFd) : m_file(std::move(file)), m_lockFd(lockFd) {}
    ~SimDevice() override {
        if (m_lockFd >= 0)
            ::close(m_lockFd);
    }
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;
    bool serves(std::uint16_t io) const override {
        return io >= SimRegisterFile::kBase && io <= SimRegisterFile::kBase + 2;
    }
    bool read(std::uint16_t io, std::uint8_t& value) override {
        value = m_file.read(io - SimRegisterFile::kBase);
        return true;
    }
    bool write(std::uint16_t io, std::uint8_t value) override {
        if (io == SimRegisterFile::kBase + 1)
            return false; // status is read-only, as on the real port
        m_file.write(io - SimRegisterFile::kBase, value);
        return true;
    }
    std::string describe() const override { return "sim:" + m_file.path(); }
    std::optional<GuardRegister> guardRegister() const override {
        return GuardRegister{GuardRegister::Kind::Sim, m_lockFd, SimRegisterFile::kBase};
    }

private:
    SimRegisterFile m_file;
    int m_lockFd;
};

} // namespace

std::unique_ptr<RegisterDevice> openPpdev(const std::string& path, std::uint16_t base, int* err) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        if (err)
            *err = errno;
        return nullptr;
    }
    // A claim waits for as long as another holder keeps the port; a second
    // copy of the program (or the probe during a run) would hang there. The
    // lock says at once that the port is taken: EBUSY, "not ready".
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (err)
            *err = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return nullptr;
    }
    if (ioctl(fd, PPCLAIM) != 0) {
        if (err)
            *err = errno;
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PpdevDevice>(fd, path, base);
}

std::unique_ptr<RegisterDevice> openPortIo(std::uint16_t base, int* err) {
#ifdef THERMO_HAVE_PORT_IO
    if (ioperm(base, 3, 1) != 0) {
        if (err)
            *err = errno;
        return nullptr;
    }
    return std::make_unique<PortIoDevice>(base);
#else
    (void)base;
    if (err)
        *err = ENOSYS;
    return nullptr;
#endif
}

bool statusGrantsPortIo(std::string_view procStatus) {
    constexpr std::string_view key = "CapEff:";
    std::size_t at = procStatus.find(key);
    while (at != std::string_view::npos && at != 0 && procStatus[at - 1] != '\n')
        at = procStatus.find(key, at + 1);
    if (at == std::string_view::npos)
        return false;
    std::istringstream in(std::string(procStatus.substr(at + key.size(), 32)));
    unsigned long long caps = 0;
    if (!(in >> std::hex >> caps))
        return false;
    return (caps >> CAP_SYS_RAWIO) & 1U;
}

bool hasPortIoCapability() {
    std::ifstream in("/proc/self/status");
    std::stringstream text;
    text << in.rdbuf();
    return statusGrantsPortIo(text.str());
}

std::unique_ptr<RegisterDevice> openSimRegisters(const std::string& path, std::string* error,
                                                 int* err) {
    auto file = SimRegisterFile::open(path, error, err);
    if (!file)
        return nullptr;
    // One program drives the heater: a second one (or a probe during a run)
    // is refused before it writes anything. A record lock of its own kind,
    // so the simulated stand's file locks never meet it.
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 1;
    if (fd < 0 || ::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        const int e = fd < 0 ? errno : (errno == EAGAIN || errno == EACCES ? EBUSY : errno);
        if (fd >= 0)
            ::close(fd);
        if (err)
            *err = e;
        if (error)
            *error = path + (e == EBUSY ? ": in use by another program"
                                        : ": " + std::string(std::strerror(e)));
        return nullptr;
    }
    return std::make_unique<SimDevice>(std::move(*file), fd);
}

std::unique_ptr<RegisterDevice> adoptGuardRegister(const GuardRegister& r, std::string* error) {
    auto fail = [&](const std::string& why) -> std::unique_ptr<RegisterDevice> {
        if (error)
            *error = why;
        return nullptr;
    };
    switch (r.kind) {
    case GuardRegister::Kind::Ppdev: {
        unsigned char v = 0;
        // Reading the data register proves the inherited file is a claimed port.
        if (ioctl(r.fd, PPRDATA, &v) != 0)
            return fail("ppdev descriptor " + std::to_string(r.fd) + ": " + std::strerror(errno));
        return std::make_unique<PpdevDevice>(r.fd, "fd " + std::to_string(r.fd), r.base,
                                             /*owner=*/false);
    }
    case GuardRegister::Kind::PortIo: {
        int err = 0;
        auto d = openPortIo(r.base, &err);
        if (!d)
            return fail("port I/O at " + std::to_string(r.base) + ": " + std::strerror(err));
        return d;
    }
    case GuardRegister::Kind::Sim: {
        std::string why;
        auto file = SimRegisterFile::adopt(r.fd, &why);
        if (!file)
            return fail(why);
        return std::make_unique<SimDevice>(std::move(*file), -1);
    }
    }
    return fail("unknown register kind");
}

} // namespace thermo
