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
    plant = 30.0;
    for (int tick = 0; tick < 10; ++tick) { // 100 ms apart
        std::this_thread::sleep_for(100ms);
        (void)devices.readTemperature();
        devices.startConversion();
    }
    EXPECT_EQ(conversions(), 2u) << "one restart after 750 ms, none in between";
    std::this_thread::sleep_for(800ms);
    const SensorReading r = devices.readTemperature();
    ASSERT_EQ(r.status, SensorStatus::Ok);
    EXPECT_EQ(r.celsius, 30.0) << "a conversion completed";
}

} // namespace
