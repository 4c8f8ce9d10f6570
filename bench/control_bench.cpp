// One tick's worth of control-law work: a full fuzzy evaluation with its 274
// membership-curve points (what the main window redraws every tick), one PID
// call, and as a baseline the bare membership evaluations alone.
#include <benchmark/benchmark.h>

#include "control/fuzzy.h"
#include "control/membership.h"
#include "control/pid.h"

using namespace thermo;

static void BM_RegulFuzzyWithCurves(benchmark::State& state) {
    TControlParams p;
    p.prop_1 = p.integ_1 = true;
    TProcessState s;
    TFuzzyStep st;
    std::vector<CurvePoint> dev, rate;
    double e = 0.0;
    for (auto _ : state) {
        e = e > 2.0 ? -2.0 : e + 0.013;
        benchmark::DoNotOptimize(Regul_Fuzzy(p, s, e, st));
        membershipCurve(p.otkl_left, p.otkl_right, deviationTerms(p), dev);
        membershipCurve(p.skor_left, p.skor_right, rateTerms(p), rate);
        benchmark::DoNotOptimize(dev.data());
        benchmark::DoNotOptimize(rate.data());
    }
    state.counters["points"] = static_cast<double>(2 + 3 * dev.size() + 2 + 3 * rate.size());
}
BENCHMARK(BM_RegulFuzzyWithCurves);

static void BM_RegulFuzzyInferenceOnly(benchmark::State& state) {
    TControlParams p;
    TProcessState s;
    TFuzzyStep st;
    double e = 0.0;
    for (auto _ : state) {
        e = e > 2.0 ? -2.0 : e + 0.013;
        benchmark::DoNotOptimize(Regul_Fuzzy(p, s, e, st));
    }
}
BENCHMARK(BM_RegulFuzzyInferenceOnly);

static void BM_RegulPid(benchmark::State& state) {
    TControlParams p;
    TProcessState s;
    double e = 0.0;
    for (auto _ : state) {
        e = e > 2.0 ? -2.0 : e + 0.013;
        benchmark::DoNotOptimize(Regul_Pid(p, s, e));
    }
}
BENCHMARK(BM_RegulPid);
