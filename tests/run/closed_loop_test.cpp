// The tick closing the loop over the simulated plant (default figures: 0.9 °C
// per percent, 175 s, sensor lag 10 s), one tick per plant second, the sensor
// quantised to 1/16 °C as the DS18B20 reports it. What a student sees on the
// stand with the default parameters: the default PID brings the plant to the
// setpoint and holds it there; coefficients tuned from a step experiment do
// better.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "run/cycle.h"
#include "analysis/identify.h"
#include "analysis/tuning.h"
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
    bool configChanged(const TConfigSources&) override { return false; }
    void appendConfig(const TConfigSources&) override {}
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

// The exercise on the stand: a step of heater power by hand, the model fitted
// to it, SIMC-PID coefficients from the model, and then a 10 °C setpoint step
// from the room's temperature. ITAE (the integral of t |e| over 30 min) and
// the overshoot are computed here from the readings, against the same step
// under the default coefficients.
struct StepScore {
    double itae = 0;
    double overshoot = 0; // share of the step
};

StepScore setpointStep(const TControlParams& params) {
    Stand stand;
    stand.params = params;
    stand.state.Zadan = 33.0; // the plant starts at 23 °C
    stand.controls.Check_PID = true;
    PlantLoop loop;
    ControlCycle cycle(stand, loop, loop, loop);
    StepScore score;
    for (int i = 0; i < 1800; ++i) {
        (void)cycle.tick(0);
        score.itae += i * std::fabs(stand.state.Oshibka);
        score.overshoot = std::max(score.overshoot, -stand.state.Oshibka / 10.0);
        loop.t += 1.0;
        loop.plant.advanceTo(loop.t);
    }
    return score;
}

TEST(ClosedLoop, SimcPidFromAStepExperimentBeatsTheDefaultsOnATenDegreeStep) {
    Stand stand;
    PlantLoop loop;
    ControlCycle cycle(stand, loop, loop, loop);
    std::vector<double> t, y;
    const int hold = 5;
    for (int i = 0; i < hold + 900; ++i) {
        stand.controls.Check_shim = i >= hold; // 0 % before: nothing drives the heater
        stand.controls.UpDown2 = 50;
        (void)cycle.tick(0);
        t.push_back(i - hold);
        y.push_back(stand.state.Temper);
        loop.t += 1.0;
        loop.plant.advanceTo(loop.t);
    }
    const FopdtFit fit = fitStep(t, y, appliedPercent(50));
    ASSERT_EQ(fit.refusal, FitRefusal::None) << fitRefusalText(fit, '.');
    // The plant is second order (the sensor lags the body by 10 s): the fit
    // takes that lag as dead time.
    EXPECT_NEAR(fit.model.gain, 0.9, 0.05);
    EXPECT_GT(fit.model.deadTime, 3.0);

    const Tuning simc = tune(TuningRule::SimcPid, {fit.model, 1.0, 10.0, 0.0});
    TControlParams tuned;
    applyTuning(tuned, simc, 2);
    const StepScore before = setpointStep(TControlParams{});
    const StepScore after = setpointStep(tuned);
    EXPECT_LT(after.itae, before.itae);
    EXPECT_LE(after.overshoot, 0.15);
    std::printf(
        "ITAE %.0f -> %.0f, overshoot %.1f %% -> %.1f %% (K %.3f, tau %.1f s, theta %.1f s)\n",
        before.itae, after.itae, before.overshoot * 100, after.overshoot * 100, fit.model.gain,
        fit.model.tau, fit.model.deadTime);
}

} // namespace
