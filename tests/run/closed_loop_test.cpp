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
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "analysis/identify.h"
#include "analysis/tuning.h"
#include "run/cycle.h"
#include "sim/plant.h"

using namespace thermo;

namespace {

struct PlantLoop : CycleSensor, CycleHeater, CycleRecorder {
    explicit PlantLoop(const sim::PlantParams& p = {}) : plant(p) {}
    sim::ThermalPlant plant;
    double t = 0;
    double heaterShare = 1; // of its power the heater gives from `failsAt` on
    double failsAt = std::numeric_limits<double>::infinity();
    SensorReading readTemperature() override {
        return {SensorStatus::Ok, std::round(plant.sensor() * 16.0) / 16.0};
    }
    void startConversion() override {}
    void writeHeater(std::uint8_t b) override {
        plant.setHeater(t, (t >= failsAt ? heaterShare : 1.0) * b / 234.0);
    }
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

// The heating watch with its default figures over the plant, phase by
// phase: what a student does on the stand, at one tick per second unless a
// phase says otherwise; a stopped phase reads the plant as the window does
// between runs. Returns how the last tick ended and when.
struct Phase {
    int seconds;
    std::function<void(CycleControls&, TProcessState&)> set;
    bool stopped = false;
    int intervalMs = 1000;
};

struct Watched {
    TickReport::Stop stop = TickReport::Stop::None;
    double at = 0; // plant seconds
};

Watched watched(PlantLoop& loop, const std::vector<Phase>& phases) {
    Stand stand;
    stand.state.Zadan = 33.5;
    ControlCycle cycle(stand, loop, loop, loop);
    for (const Phase& ph : phases) {
        stand.controls.intervalMs = ph.intervalMs;
        const int ticks = ph.seconds * 1000 / ph.intervalMs;
        for (int i = 0; i < ticks; ++i) {
            ph.set(stand.controls, stand.state);
            stand.state.Takt = std::min<std::uint16_t>(stand.state.Takt, 60000);
            const TickReport r = ph.stopped ? cycle.checkWhileStopped() : cycle.tick(0);
            if (r.stop != TickReport::Stop::None)
                return {r.stop, loop.t};
            loop.t += ph.intervalMs / 1000.0;
            loop.plant.advanceTo(loop.t);
        }
    }
    return {TickReport::Stop::None, loop.t};
}

auto forced() {
    return [](CycleControls& c, TProcessState&) { c.SpeedButton1 = true; };
}
auto manual(int percent) {
    return [percent](CycleControls& c, TProcessState&) {
        c.SpeedButton1 = c.Check_PID = c.Check_Fuzzy = false;
        c.Check_shim = true;
        c.UpDown2 = percent;
    };
}
auto pid(double setpoint) {
    return [setpoint](CycleControls& c, TProcessState& s) {
        c.SpeedButton1 = c.Check_shim = c.Check_Fuzzy = false;
        c.Check_PID = true;
        s.Zadan = setpoint;
    };
}
auto fuzzy(double setpoint) {
    return [setpoint](CycleControls& c, TProcessState& s) {
        c.SpeedButton1 = c.Check_shim = c.Check_PID = false;
        c.Check_Fuzzy = true;
        s.Zadan = setpoint;
    };
}

// What students do with a healthy stand: none of it may stop the run. Each
// row was once a false stop while the watch took shape.
TEST(ClosedLoop, TheHeatingWatchNeverStopsAHealthyPlant) {
    const int hour = 3600;
    sim::PlantParams slow;
    slow.tau = 5000;
    struct Case {
        const char* what;
        sim::PlantParams plant;
        std::vector<Phase> phases;
    };
    const Case cases[] = {
        {"forced heat, the plateau read to the bit for two hours", {}, {{2 * hour, forced()}}},
        {"forced heat on a plant 30 times slower", slow, {{2 * hour, forced()}}},
        {"the default PID overshooting 90 °C by 15 °C", {}, {{hour, pid(90)}}},
        {"the default PID at an unreachable setpoint", {}, {{hour, pid(200)}}},
        {"the fuzzy regulator without add-ons, settling off its setpoint", {}, {{hour, fuzzy(90)}}},
        {"manual 100 % down to 50 %, back up to 60 %",
         {},
         {{hour, manual(100)}, {hour, manual(50)}, {hour, manual(60)}}},
        {"forced heat, then the PID undershooting 90 °C by 20 °C",
         {},
         {{1800, forced()}, {hour, pid(90)}}},
        {"the same at 5 s ticks: the PID creeps back for ten minutes",
         {},
         {{1800, forced()}, {hour, pid(90), false, 5000}}},
        {"forced heat switched off for a minute at its plateau and on again",
         {},
         {{1800, forced()}, {60, manual(1)}, {1800, forced()}}},
        {"\"стоп\" at the plateau with the heater on, \"старт\" ten minutes later",
         {},
         {{1800, forced()}, {600, forced(), true}, {1800, forced()}}},
        {"the PID's target lowered and raised again",
         {},
         {{1800, pid(90)}, {1800, pid(60)}, {1800, pid(90)}}},
    };
    for (const Case& c : cases) {
        PlantLoop loop(c.plant);
        EXPECT_EQ(watched(loop, c.phases).stop, TickReport::Stop::None) << c.what;
    }
}

// What goes wrong with the stand where only the whole loop shows it (the
// table of the watch's own test has the rest, the simulator's test a sensor
// off the plant under the PID): each stops the run in a time that leaves the
// plant far from harm.
TEST(ClosedLoop, TheHeatingWatchStopsASensorOffThePlantOrAFailingHeater) {
    sim::PlantParams offAt1200;
    offAt1200.detachedAt = 1200;
    struct Case {
        const char* what;
        sim::PlantParams plant;
        double heaterShare; // from 1200 s on
        std::vector<Phase> phases;
        TickReport::Stop stop;
        double by; // plant seconds
    };
    const Case cases[] = {
        {"the sensor comes off after \"стоп\" with forced heat left on",
         offAt1200,
         1,
         {{600, forced()}, {3600, forced(), true}},
         TickReport::Stop::ReadingFell,
         1205},
        {"the heater dies at 90 °C under the PID",
         {},
         0,
         {{3600, pid(90)}},
         TickReport::Stop::ReadingFell,
         1250},
        {"the heater keeps 70 % of its power: the PID's 90 °C is out of reach",
         {},
         0.7,
         {{3600, pid(90)}},
         TickReport::Stop::BelowSetpoint,
         1600},
    };
    for (const Case& c : cases) {
        PlantLoop loop(c.plant);
        loop.heaterShare = c.heaterShare;
        loop.failsAt = 1200;
        const Watched w = watched(loop, c.phases);
        EXPECT_EQ(w.stop, c.stop) << c.what;
        EXPECT_LE(w.at, c.by) << c.what;
    }
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
