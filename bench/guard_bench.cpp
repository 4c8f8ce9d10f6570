// What the heater guard costs a tick: the heater write's heartbeat to the
// guard and the look at what the guard said, on top of the tick's own work.
// The baseline is the same tick without a guard. The guard is the real
// thermostand-guard process, here watching no register.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "run/cycle.h"
#include "run/heater_guard_link.h"

using namespace thermo;

namespace {

struct Instant : CycleSensor, CycleHeater, CycleRecorder {
    double t = 30;
    HeaterGuardLink* guard = nullptr;
    SensorReading readTemperature() override { return {SensorStatus::Ok, t}; }
    void startConversion() override {}
    void writeHeater(std::uint8_t counts) override {
        if (guard)
            (void)guard->beat(counts);
    }
    void appendSample(std::uint16_t, const TProcessState&) override {}
    bool configChanged(const TConfigSources&) override { return false; }
    void appendConfig(const TConfigSources&) override {}
};

void runTicks(benchmark::State& state, HeaterGuardLink* guard) {
    Stand stand;
    stand.state.Zadan = 33.5;
    stand.controls.Check_Fuzzy = stand.controls.Check_PID = true;
    Instant dev;
    dev.guard = guard;
    ControlCycle cycle(stand, dev, dev, dev);
    for (auto _ : state) {
        if (stand.state.Takt > 60000)
            stand.state.Takt = 3;
        dev.t = dev.t > 36 ? 30 : dev.t + 0.0625;
        benchmark::DoNotOptimize(cycle.tick(0.5));
        if (guard && guard->poll() == GuardNews::Gone) {
            state.SkipWithError("the guard went away");
            return;
        }
    }
}

void BM_TickWithoutGuard(benchmark::State& state) {
    runTicks(state, nullptr);
}
BENCHMARK(BM_TickWithoutGuard);

void BM_TickWithGuard(benchmark::State& state) {
    const char* env = std::getenv("THERMO_BIN_DIR");
    const std::string bin = env ? env : THERMO_BIN_DIR;
    std::string why;
    const auto guard = HeaterGuardLink::start(bin + "/thermostand-guard", {}, &why);
    if (!guard) {
        state.SkipWithError(why.c_str());
        return;
    }
    runTicks(state, guard.get());
    guard->bye();
}
BENCHMARK(BM_TickWithGuard);

} // namespace
