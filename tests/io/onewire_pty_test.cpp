// The serial, 1-Wire and DS18B20 layers against the emulated adapter served
// on a real pseudo-terminal.
#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <functional>
#include <future>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "io/ds18b20.h"
#include "io/onewire.h"
#include "io/serial_port.h"
#include "sim/pty_sensor.h"
#include "tests/temp_dir.h"

using namespace thermo;
using namespace std::chrono_literals;
using sim::EmulatorFaults;

namespace {

struct Bench {
    std::atomic<double> plant{24.0};
    sim::PtySensorThread emu{[this] { return plant.load(); }};
    SerialPort port;

    Bench() {
        EXPECT_TRUE(emu.ok()) << emu.error();
        EXPECT_TRUE(port.OpenCOM(emu.path())) << port.lastError();
        port.SetCOMTo(-1, 0, 0, 0, 0);
    }
    void faults(const EmulatorFaults& f) {
        emu.withEmulator([&](sim::Ds18b20Emulator& e) { e.setFaults(f); });
    }
    std::uint64_t chars() {
        return emu.withEmulator([](sim::Ds18b20Emulator& e) { return e.charsReceived(); });
    }
};

// A pseudo-terminal with nothing serving it: the test plays the bus itself.
// Its master side, or -1.
int barePtyMaster() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master >= 0 && (grantpt(master) != 0 || unlockpt(master) != 0)) {
        close(master);
        return -1;
    }
    return master;
}

template <class F> std::chrono::milliseconds timed(F f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 t0);
}

} // namespace

TEST(OneWireReset, PresenceDependsOnWhatIsOnTheBus) {
    struct Row {
        const char* what;
        EmulatorFaults faults;
        bool presence;
    };
    EmulatorFaults noSensor;
    noSensor.noSensor = true;
    EmulatorFaults noAdapter;
    noAdapter.noAdapter = true;
    const Row rows[] = {
        {"sensor", {}, true}, {"plain echo", noSensor, false}, {"no echo", noAdapter, false}};
    for (const auto& r : rows) {
        Bench b;
        b.faults(r.faults);
        EXPECT_EQ(OneWireReset(b.port), r.presence) << r.what;
        EXPECT_EQ(b.port.baud(), 115200) << r.what << ": slots follow at 115200 whatever happened";
    }
}

TEST(OneWireReset, NoEchoCostsOneTimeout) {
    Bench b;
    EmulatorFaults f;
    f.noAdapter = true;
    b.faults(f);
    const auto t = timed([&] { EXPECT_FALSE(OneWireReset(b.port)); });
    EXPECT_GE(t, 49ms);
    EXPECT_LT(t, 300ms) << "one deadline, not one per slot";
}

TEST(OneWireReset, ResetAtTheSlotSpeedIsNoReset) {
    // A speed mistake must not look like a sensor: 0xF0 at 115200 is a
    // 43 us slot, which the sensor does not answer with presence.
    Bench b;
    ASSERT_TRUE(b.port.SetModCOM(115200, 8, 0, 0, 1, 0));
    b.port.TxByteCOM(kResetChar);
    ASSERT_TRUE(b.port.waitForInput(std::chrono::steady_clock::now() + 50ms));
    std::uint8_t echo = 0;
    std::uint32_t got = 0;
    b.port.RxDataCOM(&echo, 1, &got);
    ASSERT_EQ(got, 1u);
    EXPECT_EQ(echo, kResetChar);
}

TEST(OneWireReadByte, PlainEchoReadsAllOnesAndFailsTheCheck) {
    Bench b;
    EmulatorFaults f;
    f.noSensor = true;
    b.faults(f);
    std::uint8_t crc = 0;
    for (int i = 0; i < 8; ++i) {
        const std::uint8_t v = OneWireReadByte(b.port);
        EXPECT_EQ(v, 0xFF);
        crc = Crc8Step(crc, v);
    }
    EXPECT_NE(crc, OneWireReadByte(b.port)) << "0xC9 is not 0xFF";
    const auto t = oneWireTransfer(b.port, std::vector<std::uint8_t>{kSkipRom, kReadScratchpad}, 9);
    EXPECT_FALSE(t.timedOut);
    EXPECT_EQ(t.read, std::vector<std::uint8_t>(9, 0xFF));
}

TEST(OneWireWriteByte, TimeoutMidByteLeavesTheRestUnsent) {
    Bench b;
    const auto before = b.chars();
    EmulatorFaults f;
    f.echoStopAfter = before + 3;
    b.faults(f);
    const auto t = timed([&] { OneWireWriteByte(b.port, 0x00); });
    EXPECT_GE(t, 49ms);
    EXPECT_LT(t, 300ms) << "one deadline for the whole byte, not eight (400 ms)";
    EXPECT_EQ(b.chars() - before, 4u) << "three echoed slots and the one that timed out";
}

TEST(OneWireWriteByte, LateEchoesArePurgedByTheNextOperation) {
    Bench b;
    EmulatorFaults f;
    f.noSensor = true; // plain echo: 0x00 slots come back as 0x00
    b.faults(f);
    b.emu.setTiming({false, 80ms});
    const auto before = b.chars();
    OneWireWriteByte(b.port, 0x00);
    EXPECT_EQ(b.chars() - before, 1u);
    b.emu.setTiming({});
    std::this_thread::sleep_for(100ms); // the stale 0x00 echo is now waiting
    // Read without the purge, the stale 0x00 would give bit 0 = 0: 0xFE.
    EXPECT_EQ(OneWireReadByte(b.port), 0xFF);
}

TEST(ReadTemperature, PowerOnValueThenConvertedValues) {
    Bench b;
    ASSERT_TRUE(ConfigureSensor(b.port));
    auto r = ReadTemperature(b.port);
    ASSERT_EQ(r.status, ReadStatus::Ok);
    EXPECT_EQ(r.celsius, 85.0);
    const std::array<std::uint8_t, 9> powerOn{
        0x50,
        0x05,
        0x37,
        0x0B,
        0x7F,
        0xFF,
        0x0C,
        0x10,
        crc8(std::array<std::uint8_t, 8>{0x50, 0x05, 0x37, 0x0B, 0x7F, 0xFF, 0x0C, 0x10})};
    EXPECT_EQ(r.scratchpad, powerOn) << "TH, TL and configuration as ConfigureSensor wrote them";

    for (double t : {25.0625, -10.125}) {
        b.plant = t;
        ASSERT_TRUE(StartConversion(b.port));
        r = ReadTemperature(b.port);
        EXPECT_EQ(r.celsius, t == 25.0625 ? 85.0 : 25.0625)
            << "the previous value stays readable during the 750 ms conversion";
        std::this_thread::sleep_for(850ms);
        r = ReadTemperature(b.port);
        ASSERT_EQ(r.status, ReadStatus::Ok);
        EXPECT_EQ(r.celsius, t);
    }
}

TEST(ReadTemperature, BatchedAndSlotBySlotReadTheSame) {
    Bench b;
    ASSERT_TRUE(OneWireReset(b.port));
    OneWireWriteByte(b.port, kSkipRom);
    OneWireWriteByte(b.port, kReadScratchpad);
    std::array<std::uint8_t, 9> slow{};
    for (auto& v : slow)
        v = OneWireReadByte(b.port);
    const auto fast = ReadTemperature(b.port);
    EXPECT_EQ(fast.scratchpad, slow);
    EXPECT_EQ(fast.status, ReadStatus::Ok);
}

TEST(ReadTemperature, FaultsGiveTheirStatus) {
    struct Row {
        const char* what;
        EmulatorFaults faults;
        ReadStatus status;
    };
    EmulatorFaults noSensor, noAdapter, badCrc, stall;
    noSensor.noSensor = true;
    noAdapter.noAdapter = true;
    badCrc.crcErrorEvery = 1;
    const Row rows[] = {{"no sensor", noSensor, ReadStatus::NoPresence},
                        {"no adapter", noAdapter, ReadStatus::NoPresence},
                        {"bad check byte", badCrc, ReadStatus::CrcMismatch}};
    for (const auto& r : rows) {
        Bench b;
        b.faults(r.faults);
        EXPECT_EQ(ReadTemperature(b.port).status, r.status) << r.what;
    }
    // Echoes stopping inside the scratchpad: the missing bytes read 0xFF.
    Bench b;
    stall.echoStopAfter = b.chars() + 1 + 16 + 20;
    b.faults(stall);
    const auto t =
        timed([&] { EXPECT_EQ(ReadTemperature(b.port).status, ReadStatus::CrcMismatch); });
    EXPECT_LT(t, 12 * 50ms + 100ms) << "never longer than twelve time-outs";
}

TEST(ReadTemperature, BusHeldLowNeverReadsAsZeroDegrees) {
    // A bus held low echoes 0x00 to every slot, and nine zero bytes carry a
    // matching check byte: taken as 0 °C the regulators would heat flat out.
    struct Row {
        std::uint8_t resetEcho;
        ReadStatus status;
    };
    const Row rows[] = {{0x00, ReadStatus::NoPresence},   // shorted throughout
                        {0xE0, ReadStatus::CrcMismatch}}; // shorted after a good reset
    for (const auto& row : rows) {
        const int master = barePtyMaster(); // no emulator behind it
        ASSERT_GE(master, 0);
        SerialPort port;
        ASSERT_TRUE(port.OpenCOM(ptsname(master)));
        std::atomic<bool> stop{false};
        std::thread bus([&] {
            std::uint8_t buf[256];
            while (!stop) {
                const ssize_t n = read(master, buf, sizeof buf);
                termios t{};
                tcgetattr(master, &t);
                const std::uint8_t echo = cfgetospeed(&t) == B9600 ? row.resetEcho : 0x00;
                if (n > 0) {
                    std::fill(buf, buf + n, echo);
                    (void)!write(master, buf, static_cast<std::size_t>(n));
                }
            }
        });
        EXPECT_EQ(ReadTemperature(port).status, row.status) << int(row.resetEcho);
        stop = true;
        port.TxByteCOM(0); // wakes the reader
        bus.join();
        port.CloseCOM();
        close(master);
    }
}

// An adapter pulled out while the program waits for its echoes: the terminal
// hangs up, stays "readable" and reads empty. Every operation must end within
// its deadlines, find no sensor and let the device go.
TEST(SerialPort, AnAdapterPulledOutMidTransactionEndsItAndIsLetGo) {
    struct Case {
        const char* what;
        std::function<bool(SerialPort&)> op; // true: what a present sensor gives
    };
    const Case cases[] = {
        {"reset", [](SerialPort& p) { return OneWireReset(p); }},
        {"batched read",
         [](SerialPort& p) {
             return !oneWireTransfer(p, std::vector<std::uint8_t>{kSkipRom, kReadScratchpad}, 9)
                         .timedOut;
         }},
        {"reading", [](SerialPort& p) { return ReadTemperature(p).status == ReadStatus::Ok; }},
    };
    for (const Case& c : cases) {
        const int master = barePtyMaster(); // no emulator behind it
        ASSERT_GE(master, 0);
        const std::string slave = ptsname(master);
        SerialPort port;
        ASSERT_TRUE(port.OpenCOM(slave)) << port.lastError();
        port.SetCOMTo(-1, 0, 0, 0, 0);
        // The adapter goes away 20 ms into the operation, echoing nothing.
        std::thread unplug([master] {
            std::this_thread::sleep_for(20ms);
            close(master);
        });
        auto done = std::async(std::launch::async, [&] { return c.op(port); });
        if (done.wait_for(2s) != std::future_status::ready) {
            ADD_FAILURE() << c.what << ": still waiting for echoes from a vanished adapter";
            std::_Exit(1); // the operation cannot be stopped from here
        }
        unplug.join();
        EXPECT_FALSE(done.get()) << c.what;
        EXPECT_FALSE(port.isOpen()) << c.what << ": the dead device is still held";
        EXPECT_NE(port.lastError().find("disconnected"), std::string::npos) << port.lastError();
        // Harmless afterwards, as with no port open.
        EXPECT_EQ(ReadTemperature(port).status, ReadStatus::NoPresence) << c.what;
    }
}

TEST(SerialPort, HarmlessWithNoPortOpen) {
    SerialPort port;
    std::uint8_t c = 0;
    std::uint32_t got = 7;
    EXPECT_EQ(port.RxDataCOM(&c, 1, &got), 0u);
    EXPECT_EQ(got, 0u);
    port.TxByteCOM(0xF0);
    port.PurgeCOM();
    port.CloseCOM();
    EXPECT_FALSE(port.SetModCOM(9600, 8, 0, 0, 1, 0));
    const auto t = timed([&] { EXPECT_EQ(ReadTemperature(port).status, ReadStatus::NoPresence); });
    EXPECT_LT(t, 45ms) << "nothing to wait for on a closed port (a deadline is 50 ms)";
}

TEST(SerialPort, OneAdapterOneProgram) {
    std::atomic<double> plant{20.0};
    sim::PtySensorThread emu([&] { return plant.load(); });
    ComPortMap map;
    map.paths[1] = emu.path();
    SerialPort a(map), b(map);
    ASSERT_TRUE(a.OpenCOM("COM2")) << a.lastError();
    EXPECT_EQ(a.path(), emu.path());
    EXPECT_TRUE(a.AccessCOM("COM2"));
    EXPECT_FALSE(b.AccessCOM("COM2"));
    EXPECT_FALSE(b.OpenCOM("COM2"));
    EXPECT_NE(b.lastError().find("in use"), std::string::npos) << b.lastError();
    a.CloseCOM();
    EXPECT_TRUE(b.OpenCOM("COM2")) << b.lastError();
}

TEST(SerialPort, RefusesWhatIsNotASerialPort) {
    SerialPort port;
    EXPECT_FALSE(port.AccessCOM("/nonexistent/ttyS9"));
    EXPECT_FALSE(port.OpenCOM("/nonexistent/ttyS9"));
    const thermo::testing::TempDir dir("thermo-notatty");
    const std::string name = dir.file("file");
    thermo::testing::writeFile(name, "");
    EXPECT_FALSE(port.OpenCOM(name));
    EXPECT_NE(port.lastError().find("not a serial port"), std::string::npos);
    EXPECT_EQ(comPortName(3), "COM3");
    EXPECT_EQ(ComPortMap{}.resolve("COM4"), "/dev/ttyS3");
    EXPECT_EQ(ComPortMap{}.resolve("COM5"), "COM5");
}
