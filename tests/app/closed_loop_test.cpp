// The tick closing the loop over the simulated plant (default figures: 0.9 °C
// per percent, 175 s, sensor lag 10 s), one tick per plant second, the sensor
// quantised to 1/16 °C as the DS18B20 reports it. What a student sees on the
// stand with the default parameters: the default PID brings the plant to the
// setpoint and holds it there.
#include <gtest/gtest.h>

#include <cmath>

#include "app/cycle.h"
#include "sim/plant.h"

using namespace thermo;

namespace {

struct PlantLoop : CycleSensor, CycleHeater, CycleRecorder {
    sim::ThermalPlant plant{sim::PlantParams{}};
    double t = 0;
    SensorReading readTemperature() override {
        return {SensorStatus::Ok, std::round(plant.sensor() * 16.0) / 16.0};
    }
    void startConversion() override {}
    void writeHeater(std::uint8_t b) override { plant.setHeater(t, b / 234.0); }
    void appendSample(std::uint16_t, const TProcessState&) override {}
    bool configChanged(const LiveConfig&) override { return false; }
    void appendConfig(const LiveConfig&) override {}
};

double runAndReturnWorstLateError(Stand& stand, int ticks, int lastTicks) {
    PlantLoop loop;
    ControlCycle cycle(stand, loop, loop, loop);
    double worst = 0;
    for (int i = 0; i < ticks; ++i) {
        const TickReport r = cycle.tick(0);
        EXPECT_EQ(r.stop, TickReport::Stop::None);
        loop.t += 1.0;
        loop.plant.advanceTo(loop.t);
        if (i >= ticks - lastTicks)
            worst = std::max(worst, std::fabs(stand.state.Oshibka));
    }
    return worst;
}

TEST(ClosedLoop, DefaultPidSettlesAtTheSetpoint) {
    Stand stand;
    stand.state.Zadan = 33.5;
    stand.controls.Check_PID = true;
    EXPECT_LT(runAndReturnWorstLateError(stand, 1800, 300), 0.3);
}

TEST(ClosedLoop, DefaultFuzzyWithItsAddOnsHoldsNearTheSetpoint) {
    Stand stand;
    stand.state.Zadan = 40.0;
    stand.controls.Check_Fuzzy = true;
    stand.params.integ_1 = true;
    EXPECT_LT(runAndReturnWorstLateError(stand, 1800, 300), 1.0);
}

TEST(ClosedLoop, FullHeatUpToAPlateauFarBelowAnUnreachableSetpointRunsOn) {
    Stand stand;
    stand.state.Zadan = 200.0; // the plant settles near 113 °C
    stand.controls.SpeedButton1 = true;
    (void)runAndReturnWorstLateError(stand, 1800, 1); // no tick stops the run
    EXPECT_NEAR(stand.state.Temper, 113.0, 0.5);
}

} // namespace
