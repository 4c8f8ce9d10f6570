// The stand's devices against the emulated sensor on a real pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/devices.h"
#include "sim/pty_sensor.h"

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

} // namespace
