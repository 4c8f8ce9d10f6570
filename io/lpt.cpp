#include "io/lpt.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace thermo {

namespace {

constexpr std::array<std::uint16_t, 3> kBases{0x3BC, 0x378, 0x278};

int portIndex(std::uint8_t port) {
    switch (port & 0xF0) {
    case LptPort1:
        return 0;
    case LptPort2:
        return 1;
    default:
        return 2;
    }
}

} // namespace

std::uint16_t lptIoAddress(std::uint8_t a) {
    return static_cast<std::uint16_t>(kBases[static_cast<std::size_t>(portIndex(a))] + (a & 7));
}

TLptPortConnection::TLptPortConnection(std::vector<std::unique_ptr<RegisterDevice>> devices,
                                       PortProbe probe)
    : m_devices(std::move(devices)) {
    if (probe == PortProbe::AtOpen)
        probePorts();
}

void TLptPortConnection::probePorts() {
    m_present = {ProbePort(LptPort1), ProbePort(LptPort2), ProbePort(LptPort3)};
}

std::vector<GuardRegister> TLptPortConnection::guardRegisters() const {
    std::vector<GuardRegister> out;
    for (const auto& d : m_devices)
        if (auto r = d->guardRegister())
            out.push_back(*r);
    return out;
}

TLptPortConnection TLptPortConnection::notReady(int errorCode, std::string errorText,
                                                std::string device) {
    TLptPortConnection c({});
    c.m_ready = false;
    c.m_errorCode = errorCode;
    c.m_errorText = std::move(errorText);
    c.m_errorDevice = std::move(device);
    c.m_present = {};
    return c;
}

TLptPortConnection TLptPortConnection::fromSetting(std::string_view lpt, const LptSystem& sys,
                                                   PortProbe probe) {
    namespace fs = std::filesystem;
    std::vector<std::unique_ptr<RegisterDevice>> devices;
    if (lpt == "none")
        return TLptPortConnection(std::move(devices), probe);
    if (lpt.starts_with("sim:")) {
        const std::string path(lpt.substr(4));
        std::string why;
        int err = 0;
        auto dev = openSimRegisters(path, &why, &err);
        if (!dev)
            return notReady(err, why, path);
        devices.push_back(std::move(dev));
        return TLptPortConnection(std::move(devices), probe);
    }
    if (lpt.starts_with("/")) {
        // An explicit ppdev device serves its own standard address; a card at
        // another address (PCI) stands in for 0x378, the usual heater port.
        const std::string path(lpt);
        const std::string name = fs::path(path).filename().string();
        std::ifstream in(fs::path(sys.procRoot) / name / "base-addr");
        long base = 0;
        in >> base;
        const bool standard = std::find(kBases.begin(), kBases.end(), base) != kBases.end();
        int err = 0;
        auto d = openPpdev(path, standard ? static_cast<std::uint16_t>(base) : kBases[1], &err);
        if (!d)
            return notReady(err, path + ": " + std::strerror(err), path);
        devices.push_back(std::move(d));
        return TLptPortConnection(std::move(devices), probe);
    }
    if (lpt != "auto")
        return notReady(EINVAL, "LPT=" + std::string(lpt) +
                                    ": expected auto, none, sim:PATH or /dev/parportN");

    std::array<bool, 3> served{};
    std::array<bool, 3> detected{};
    bool parport0Open = false;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(sys.procRoot, ec)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with("parport"))
            continue;
        // base-addr holds two decimal numbers: 0x378 reads "888\t0".
        std::ifstream in(entry.path() / "base-addr");
        long base = -1;
        if (!(in >> base))
            continue;
        const auto it = std::find(kBases.begin(), kBases.end(), base);
        if (it == kBases.end())
            continue;
        const auto i = static_cast<std::size_t>(it - kBases.begin());
        detected[i] = true;
        const fs::path dev = fs::path(sys.devRoot) / name;
        if (!fs::exists(dev, ec))
            continue; // ppdev not loaded: port I/O below may still reach it
        int err = 0;
        auto d = openPpdev(dev.string(), kBases[i], &err);
        if (!d)
            return notReady(err, dev.string() + ": " + std::strerror(err), dev.string());
        devices.push_back(std::move(d));
        served[i] = true;
        parport0Open = parport0Open || name == "parport0";
    }
    // Without port I/O a card the kernel places elsewhere (PCI), or a kernel
    // without the proc tree, still has /dev/parport0: the heater is behind it
    // more likely than behind nothing at all.
    const fs::path parport0 = fs::path(sys.devRoot) / "parport0";
    if (!sys.allowPortIo && !served[1] && !parport0Open && fs::exists(parport0, ec)) {
        int err = 0;
        auto d = openPpdev(parport0.string(), kBases[1], &err);
        if (!d)
            return notReady(err, parport0.string() + ": " + std::strerror(err), parport0.string());
        devices.push_back(std::move(d));
        served[1] = true;
    }
    for (std::size_t i = 0; i < kBases.size(); ++i) {
        if (served[i])
            continue;
        int err = EPERM;
        if (sys.allowPortIo) {
            if (auto d = openPortIo(kBases[i], &err)) {
                devices.push_back(std::move(d));
                continue;
            }
        }
        // A port nobody detected and we may not reach: treated as absent. A
        // detected one may carry the heater, which nothing could switch off.
        if (detected[i]) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%X", kBases[i]);
            return notReady(err, std::string("parallel port at 0x") + hex +
                                     ": no ppdev device (modprobe ppdev) and " +
                                     (sys.allowPortIo
                                          ? "port I/O: " + std::string(std::strerror(err))
                                          : std::string("no port I/O without CAP_SYS_RAWIO")));
        }
    }
    return TLptPortConnection(std::move(devices), probe);
}

RegisterDevice* TLptPortConnection::deviceFor(std::uint16_t io) const {
    for (const auto& d : m_devices)
        if (d->serves(io))
            return d.get();
    return nullptr;
}

bool TLptPortConnection::ReadRegisters(std::span<RegisterPair> pairs) {
    if (!m_ready)
        return false;
    bool ok = true;
    for (auto& p : pairs) {
        const std::uint16_t io = lptIoAddress(p.address);
        RegisterDevice* d = deviceFor(io);
        if (!d || !d->read(io, p.value))
            ok = false;
    }
    return ok;
}

bool TLptPortConnection::WriteRegisters(std::span<const RegisterPair> pairs) {
    if (!m_ready)
        return false;
    bool ok = true;
    for (const auto& p : pairs) {
        const std::uint16_t io = lptIoAddress(p.address);
        RegisterDevice* d = deviceFor(io);
        if (!d || !d->write(io, p.value))
            ok = false;
    }
    return ok;
}

std::uint8_t TLptPortConnection::ReadRegister(std::uint8_t port, std::uint8_t reg) {
    RegisterPair p{static_cast<std::uint8_t>(port | reg), 0};
    if (!ReadRegisters({&p, 1}))
        return 0;
    return p.value;
}

bool TLptPortConnection::WriteRegister(std::uint8_t port, std::uint8_t reg, std::uint8_t value) {
    const RegisterPair p{static_cast<std::uint8_t>(port | reg), value};
    return WriteRegisters({&p, 1});
}

bool TLptPortConnection::ProbePort(std::uint8_t port) {
    const std::uint8_t saved = ReadRegister(port, RegData);
    WriteRegister(port, RegData, 0);
    bool ok = ReadRegister(port, RegData) == 0;
    // The patterns go out even after a failed read-back, as the hardware
    // has always seen them.
    WriteRegister(port, RegData, 0x55);
    if (ok)
        ok = ReadRegister(port, RegData) == 0x55;
    WriteRegister(port, RegData, 0xAA);
    if (ok)
        ok = ReadRegister(port, RegData) == 0xAA;
    WriteRegister(port, RegData, saved);
    if (ok)
        return true;
    std::uint8_t v = ReadRegister(port, RegControl);
    if (v != 0 && v != 0xFF)
        return true;
    v = ReadRegister(port, RegStatus);
    return v != 0 && v != 0xFF;
}

bool TLptPortConnection::present(std::uint8_t port) const {
    return m_present[static_cast<std::size_t>(portIndex(port))];
}

void TLptPortConnection::selectPort() {
    m_adrLpt.clear();
    if (ProbePort(LptPort1))
        m_adrLpt = "$3BC";
    if (ProbePort(LptPort2))
        m_adrLpt = "$378";
    if (ProbePort(LptPort3))
        m_adrLpt = "$278";
}

std::uint8_t TLptPortConnection::SelectedLptPort() const {
    if (m_adrLpt == "$3BC")
        return LptPort1;
    if (m_adrLpt == "$378")
        return LptPort2;
    return LptPort3;
}

bool TLptPortConnection::portGone(std::uint8_t port) const {
    const RegisterDevice* d = deviceFor(lptIoAddress(static_cast<std::uint8_t>(port | RegData)));
    return d && d->gone();
}

std::string TLptPortConnection::accessPath(std::uint8_t port) const {
    const RegisterDevice* d = deviceFor(lptIoAddress(static_cast<std::uint8_t>(port | RegData)));
    return d ? d->describe() : std::string();
}

} // namespace thermo
