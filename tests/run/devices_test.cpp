// The stand's devices against the emulated sensor on a real pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>
#include <unistd.h>

#include "common/scripted_dialogs.h"
#include "run/devices.h"
#include "sim/pty_sensor.h"
#include "tests/temp_dir.h"

using namespace thermo;
using namespace std::chrono_literals;

namespace {

// Ticks faster than the sensor converts: each conversion is left to finish,
// or none ever would and the temperature would never change.
TEST(StandDevices, AConversionStillRunningIsLeftToFinish) {
    std::atomic<double> plant{24.0};
    sim::PtySensorThread emu{[&] { return plant.load(); }};
    ASSERT_TRUE(emu.ok()) << emu.error();
    DeviceSettings d;
    d.com[0] = emu.path();
    d.lpt = "none";
    StandDevices devices(d);
    ASSERT_TRUE(devices.OpenCOM(1));
    devices.SetCOMToImmediate();
    ASSERT_TRUE(devices.ConfigureSensor()); // starts the first conversion
    const auto conversions = [&] {
        return emu.withEmulator([](sim::Ds18b20Emulator& e) { return e.conversions(); });
    };
    EXPECT_EQ(conversions(), 1u);
    const auto started = std::chrono::steady_clock::now();
    plant = 30.0;
    // Ticks 100 ms apart while the first conversion runs start nothing...
    while (std::chrono::steady_clock::now() - started < 500ms) {
        std::this_thread::sleep_for(100ms);
        (void)devices.readTemperature();
        devices.startConversion();
    }
    EXPECT_EQ(conversions(), 1u) << "a running conversion was started over";
    // ...and the first tick after it has finished starts the next.
    std::this_thread::sleep_until(started + 800ms);
    devices.startConversion();
    EXPECT_EQ(conversions(), 2u);
    std::this_thread::sleep_for(800ms);
    const SensorReading r = devices.readTemperature();
    ASSERT_EQ(r.status, SensorStatus::Ok);
    EXPECT_EQ(r.celsius, 30.0) << "a conversion completed";
}

// An adapter pulled out while the cycle is stopped: its terminal hangs up
// and every termios call fails with EIO before any echo is waited for. The
// port must be let go then, or choosing it again reaches the old, dead
// device and the adapter plugged in again stays out of reach. COM1 is a link
// that follows the adapter to its new device, as a udev name does.
TEST(StandDevices, AnAdapterGoneBetweenTicksIsReachedAgainByChoosingItsPort) {
    namespace fs = std::filesystem;
    const thermo::testing::TempDir dir("thermo-replug");
    const fs::path link = dir.path() / "COM1";
    std::atomic<double> plant{24.0};
    auto plugIn = [&] {
        auto emu = std::make_unique<sim::PtySensorThread>([&] { return plant.load(); });
        EXPECT_TRUE(emu->ok()) << emu->error();
        fs::remove(link);
        fs::create_symlink(emu->path(), link);
        return emu;
    };
    auto emu = plugIn();
    DeviceSettings d;
    d.com[0] = link.string();
    d.lpt = "none";
    StandDevices devices(d);
    ScriptedDialogs dialogs;
    PortSelection ports(devices, dialogs);
    ports.SelectComPort(1);
    ASSERT_TRUE(ports.menu().newEnabled);

    emu.reset(); // pulled out between ticks: the master side closes
    EXPECT_EQ(devices.readTemperature().status, SensorStatus::NoPresence);
    EXPECT_FALSE(devices.serial().isOpen()) << "the dead device is still held";
    emu = plugIn();
    ports.MCOM1Click(1);
    EXPECT_EQ(devices.readTemperature().status, SensorStatus::Ok) << devices.serial().lastError();

    // Pulled out again, and the port chosen again before any tick noticed.
    emu.reset();
    emu = plugIn();
    ports.MCOM1Click(1);
    EXPECT_EQ(devices.readTemperature().status, SensorStatus::Ok) << devices.serial().lastError();
    EXPECT_TRUE(ports.menu().newEnabled);
    EXPECT_TRUE(dialogs.messages.empty());
}

} // namespace
