// The parallel-port driver over register devices of known behaviour, and
// the simulated register file shared with the simulated stand.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/file.h>
#include <unistd.h>

#include "io/lpt.h"
#include "io/sim_register_file.h"
#include "tests/temp_dir.h"

using namespace thermo;
using thermo::testing::TempDir;
namespace fs = std::filesystem;

namespace {

// Registers of known behaviour at one base address, with a log of writes.
struct FakePort final : RegisterDevice {
    struct Log {
        std::vector<std::pair<std::uint16_t, std::uint8_t>> writes;
    };
    FakePort(std::uint16_t b, bool back, std::uint8_t c, std::uint8_t s, Log* l)
        : base(b), readsBack(back), control(c), status(s), log(l) {}
    bool serves(std::uint16_t io) const override { return io >= base && io <= base + 2; }
    bool read(std::uint16_t io, std::uint8_t& v) override {
        v = io == base ? (readsBack ? data : 0xFF) : io == base + 1 ? status : control;
        return true;
    }
    bool write(std::uint16_t io, std::uint8_t v) override {
        if (log)
            log->writes.push_back({io, v});
        if (io == base)
            data = v;
        return true;
    }
    std::string describe() const override { return "fake"; }
    std::uint16_t base;
    bool readsBack;
    std::uint8_t control, status, data = 0x5A;
    Log* log;
};

TLptPortConnection withPorts(std::vector<std::unique_ptr<RegisterDevice>> d) {
    return TLptPortConnection(std::move(d));
}

} // namespace

TEST(LptAddress, RegisterAddressEncoding) {
    const std::pair<std::uint8_t, std::uint16_t> rows[] = {
        {0x10, 0x3BC}, {0x11, 0x3BD}, {0x20, 0x378}, {0x22, 0x37A},
        {0x30, 0x278}, {0x00, 0x278}, {0xF1, 0x279}, {0x2F, 0x37F}};
    for (auto [a, io] : rows)
        EXPECT_EQ(lptIoAddress(a), io) << std::hex << int(a);
}

TEST(ProbePort, DataReadBackOrLiveControlOrStatus) {
    struct Row {
        bool readsBack;
        std::uint8_t control, status;
        bool present;
    };
    const Row rows[] = {{true, 0x00, 0x00, true},   {true, 0xFF, 0xFF, true},
                        {false, 0x0C, 0xFF, true},  {false, 0xFF, 0x78, true},
                        {false, 0x00, 0xFF, false}, {false, 0xFF, 0x00, false},
                        {false, 0x00, 0x00, false}};
    for (const auto& r : rows) {
        FakePort::Log log;
        std::vector<std::unique_ptr<RegisterDevice>> d;
        d.push_back(std::make_unique<FakePort>(0x378, r.readsBack, r.control, r.status, &log));
        auto lpt = withPorts(std::move(d));
        log.writes.clear();
        EXPECT_EQ(lpt.ProbePort(LptPort2), r.present)
            << r.readsBack << ' ' << int(r.control) << ' ' << int(r.status);
        // The patterns go out whatever the read-back, and the old value is restored.
        const std::vector<std::pair<std::uint16_t, std::uint8_t>> expected{
            {0x378, 0x00}, {0x378, 0x55}, {0x378, 0xAA}, {0x378, r.readsBack ? 0x5A : 0xFF}};
        EXPECT_EQ(log.writes, expected);
    }
}

TEST(PortSelection, LastPresentPortWins) {
    FakePort::Log log;
    std::vector<std::unique_ptr<RegisterDevice>> d;
    d.push_back(std::make_unique<FakePort>(0x3BC, true, 0, 0, nullptr));
    d.push_back(std::make_unique<FakePort>(0x378, true, 0, 0, &log));
    auto lpt = withPorts(std::move(d));
    EXPECT_TRUE(lpt.present(LptPort1));
    EXPECT_TRUE(lpt.present(LptPort2));
    EXPECT_FALSE(lpt.present(LptPort3));
    lpt.selectPort();
    EXPECT_EQ(lpt.Adr_LPT(), "$378");
    EXPECT_EQ(lpt.SelectedLptPort(), LptPort2);
    log.writes.clear();
    EXPECT_TRUE(lpt.WriteRegister(lpt.SelectedLptPort(), RegData, 117));
    EXPECT_EQ(log.writes, (std::vector<std::pair<std::uint16_t, std::uint8_t>>{{0x378, 117}}));
}

TEST(PortSelection, NoPortMeansPort3AndNoWhere) {
    LptSystem sys;
    sys.procRoot = "/nonexistent/proc-sys-dev-parport";
    sys.devRoot = "/nonexistent/dev";
    sys.allowPortIo = false;
    auto lpt = TLptPortConnection::fromSetting("auto", sys);
    EXPECT_TRUE(lpt.IsReady()) << "a machine without a parallel port still runs";
    lpt.selectPort();
    EXPECT_EQ(lpt.Adr_LPT(), "");
    EXPECT_EQ(lpt.SelectedLptPort(), LptPort3);
    EXPECT_FALSE(lpt.WriteRegister(LptPort3, RegData, 0)) << "nothing reaches 0x278";
    EXPECT_EQ(lpt.accessPath(LptPort3), "");
}

TEST(LptSetting, DetectedPortThatCannotBeOpenedIsNotReady) {
    const TempDir temp("thermo-lpt");
    const fs::path& dir = temp.path();
    fs::create_directories(dir / "proc" / "parport0");
    std::ofstream(dir / "proc" / "parport0" / "base-addr") << "888\t0\n";
    std::ofstream(dir / "parport0") << ""; // a device node the claim fails on
    LptSystem sys{(dir / "proc").string(), dir.string(), false};
    auto lpt = TLptPortConnection::fromSetting("auto", sys);
    EXPECT_FALSE(lpt.IsReady());
    EXPECT_EQ(lpt.errorCode(), ENOTTY);
    EXPECT_NE(lpt.errorText().find("parport0"), std::string::npos);
    EXPECT_FALSE(lpt.WriteRegister(LptPort2, RegData, 10));
    EXPECT_EQ(lpt.ReadRegister(LptPort2, RegStatus), 0);

    EXPECT_FALSE(TLptPortConnection::fromSetting("lpt1", sys).IsReady());
    auto named = TLptPortConnection::fromSetting((dir / "parport0").string(), sys);
    EXPECT_FALSE(named.IsReady());
    EXPECT_EQ(named.errorCode(), ENOTTY);

    // A port another program holds is refused at once (the claim would wait
    // for as long as that program runs).
    const int holder = ::open((dir / "parport0").c_str(), O_RDWR);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    auto taken = TLptPortConnection::fromSetting("auto", sys);
    EXPECT_FALSE(taken.IsReady());
    EXPECT_EQ(taken.errorCode(), EBUSY);
    ::close(holder);
}

// A student's login has no CAP_SYS_RAWIO: ppdev is its one way to a port.
// A PCI card the proc tree places at 0xD000 went unused, and a port found at
// 0x378 without its ppdev device was taken for absent: the heater it may
// carry would be driven by nothing.
TEST(LptSetting, WithoutPortIoAPortIsReachedThroughPpdevOrTheRunIsRefused) {
    const TempDir temp("thermo-lpt");
    const fs::path& dir = temp.path();
    fs::create_directories(dir / "proc" / "parport0");
    std::ofstream(dir / "proc" / "parport0" / "base-addr") << "53248\t53256\n";
    std::ofstream(dir / "parport0") << ""; // a device node the claim fails on
    const LptSystem sys{(dir / "proc").string(), dir.string(), false};
    auto pci = TLptPortConnection::fromSetting("auto", sys);
    EXPECT_FALSE(pci.IsReady()) << "/dev/parport0 was not tried";
    EXPECT_EQ(pci.errorDevice(), (dir / "parport0").string());

    fs::remove(dir / "parport0");
    std::ofstream(dir / "proc" / "parport0" / "base-addr") << "888\t0\n";
    auto noPpdev = TLptPortConnection::fromSetting("auto", sys);
    EXPECT_FALSE(noPpdev.IsReady());
    EXPECT_EQ(noPpdev.errorCode(), EPERM);
    EXPECT_EQ(noPpdev.errorDevice(), "");
    EXPECT_NE(noPpdev.errorText().find("modprobe ppdev"), std::string::npos) << noPpdev.errorText();
}

TEST(PortIoCapability, EffectiveSetBit17) {
    // CapEff as /proc/self/status shows it: root's full set, a login's empty
    // one, CAP_SYS_RAWIO alone (1 << 17), and the permitted set without it.
    EXPECT_TRUE(statusGrantsPortIo("Name:\tx\nCapPrm:\t0\nCapEff:\t000001ffffffffff\n"));
    EXPECT_FALSE(statusGrantsPortIo("CapInh:\t0\nCapEff:\t0000000000000000\n"));
    EXPECT_TRUE(statusGrantsPortIo("CapEff:\t0000000000020000\n"));
    EXPECT_FALSE(statusGrantsPortIo("CapPrm:\t0000000000020000\nCapEff:\t0\n"));
    EXPECT_FALSE(statusGrantsPortIo(""));
}

TEST(SimRegisterFile, HeaterWritesReachAnotherMapping) {
    const TempDir temp("thermo-lpt");
    const fs::path& dir = temp.path();
    const fs::path file = dir / "lpt";
    auto lpt = TLptPortConnection::fromSetting("sim:" + file.string());
    ASSERT_TRUE(lpt.IsReady()) << lpt.errorText();
    EXPECT_FALSE(lpt.present(LptPort1));
    EXPECT_TRUE(lpt.present(LptPort2));
    EXPECT_FALSE(lpt.present(LptPort3));
    lpt.selectPort();
    EXPECT_EQ(lpt.SelectedLptPort(), LptPort2);
    EXPECT_EQ(lpt.accessPath(LptPort2), "sim:" + file.string());

    std::string why;
    auto other = SimRegisterFile::open(file.string(), &why);
    ASSERT_TRUE(other) << why;
    const std::uint64_t start = other->writeCount();
    for (std::uint8_t v : {0, 117, 117, 234})
        EXPECT_TRUE(lpt.WriteRegister(lpt.SelectedLptPort(), RegData, v));
    std::uint64_t lost = 9;
    const auto w = other->writesSince(start, &lost);
    EXPECT_EQ(lost, 0u);
    ASSERT_EQ(w.size(), 4u) << "repeated equal values are each seen";
    EXPECT_EQ(w[1].value, 117);
    EXPECT_EQ(w[2].value, 117);
    EXPECT_EQ(w[3].value, 234);
    EXPECT_LE(w[2].timeNs, w[3].timeNs);
    EXPECT_EQ(other->read(0), 234);

    // More writes than the ring holds: the oldest are reported lost.
    const std::uint64_t mark = other->writeCount();
    for (int i = 0; i < 200; ++i)
        lpt.WriteRegister(LptPort2, RegData, static_cast<std::uint8_t>(i));
    const auto tail = other->writesSince(mark, &lost);
    EXPECT_EQ(tail.size(), SimRegisterFile::kRingSize);
    EXPECT_EQ(lost, 200 - SimRegisterFile::kRingSize);
    EXPECT_EQ(tail.back().value, 199);

    // A second program is refused before it writes; the first one's heater
    // byte stays as it was. Once the first has gone, the port is free again.
    const std::uint64_t before = other->writeCount();
    {
        auto second = TLptPortConnection::fromSetting("sim:" + file.string());
        EXPECT_FALSE(second.IsReady());
        EXPECT_EQ(second.errorCode(), EBUSY);
        EXPECT_NE(second.errorText().find("in use by another program"), std::string::npos);
    }
    EXPECT_EQ(other->writeCount(), before);
    lpt = TLptPortConnection::fromSetting("none");
    EXPECT_TRUE(TLptPortConnection::fromSetting("sim:" + file.string()).IsReady());
}

TEST(SimRegisterFile, NeverOverwritesAForeignFile) {
    const TempDir temp("thermo-lpt");
    const fs::path& dir = temp.path();
    const fs::path file = dir / "notes.txt";
    std::ofstream(file) << "lab notes\n";
    auto lpt = TLptPortConnection::fromSetting("sim:" + file.string());
    EXPECT_FALSE(lpt.IsReady());
    EXPECT_EQ(lpt.errorCode(), EINVAL);
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "lab notes");
}
