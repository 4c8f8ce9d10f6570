// The control cycle's own work per tick, without any I/O: the tick against
// devices that answer at once, with both regulators on; the baseline is the
// two control laws alone.
#include <benchmark/benchmark.h>

#include "control/fuzzy.h"
#include "control/pid.h"
#include "run/cycle.h"

using namespace thermo;

namespace {

struct Instant : CycleSensor, CycleHeater, CycleRecorder {
    double t = 30;
    SensorReading readTemperature() override { return {SensorStatus::Ok, t}; }
    void startConversion() override {}
    void writeHeater(std::uint8_t) override {}
    void appendSample(std::uint16_t, const TProcessState&) override {}
    bool configChanged(const TConfigSources&) override { return false; }
    void appendConfig(const TConfigSources&) override {}
};

void BM_TickWithoutIo(benchmark::State& state) {
    Stand stand;
    stand.state.Zadan = 33.5;
    stand.controls.Check_Fuzzy = stand.controls.Check_PID = true;
    Instant dev;
    ControlCycle cycle(stand, dev, dev, dev);
    for (auto _ : state) {
        if (stand.state.Takt > 60000)
            stand.state.Takt = 3;
        dev.t = dev.t > 36 ? 30 : dev.t + 0.0625;
        benchmark::DoNotOptimize(cycle.tick(0.5));
    }
}
BENCHMARK(BM_TickWithoutIo);

void BM_ControlLawsOnly(benchmark::State& state) {
    TControlParams p;
    TProcessState s;
    TFuzzyStep step;
    double e = 0;
    for (auto _ : state) {
        e = e > 3 ? -3 : e + 0.0625;
        benchmark::DoNotOptimize(Regul_Fuzzy(p, s, e, step));
        benchmark::DoNotOptimize(Regul_Pid(p, s, e));
    }
}
BENCHMARK(BM_ControlLawsOnly);

} // namespace
