// Selecting a sample in the archive window: the configuration lookup, both
// regulators replayed and the two charts' term curves recomputed. Baseline in
// the same run: one live tick of Regulator 1 with the same curves.
#include <benchmark/benchmark.h>

#include <vector>

#include "analysis/replay.h"
#include "control/fuzzy.h"
#include "control/membership.h"

using namespace thermo;

namespace {

void BM_SelectSampleReplay(benchmark::State& state) {
    ArchiveReader archive;
    archive.SampleCount = 65000;
    archive.ConfigCount = 72;
    for (std::size_t k = 1; k <= 72; ++k) {
        archive.Configs[k].Takt = static_cast<std::uint16_t>(k * 900);
        archive.Configs[k].Zadan = 33.5;
        archive.Configs[k].Fuzzy_on = archive.Configs[k].PID_on = true;
    }
    for (std::size_t p = 1; p <= 65000; ++p)
        archive.Samples[p] = {30.0 + static_cast<double>(p % 700) * 0.01, 1e3, 2e3, 0.5};
    std::vector<CurvePoint> dev, rate;
    std::size_t i = 1;
    for (auto _ : state) {
        i = (i + 97) % 65000 + 1;
        const std::size_t k = *archive.configForPosition(i);
        const TConfigRecord& rec = archive.Configs[k];
        const ReplayView v = ShowReplay(archive, k, i, switchesOf(rec));
        membershipCurve(rec.params.otkl_left, rec.params.otkl_right, deviationTerms(rec.params),
                        dev);
        membershipCurve(rec.params.skor_left, rec.params.skor_right, rateTerms(rec.params), rate);
        benchmark::DoNotOptimize(v.total);
        benchmark::DoNotOptimize(dev.data());
        benchmark::DoNotOptimize(rate.data());
    }
}
BENCHMARK(BM_SelectSampleReplay)->Unit(benchmark::kMicrosecond);

void BM_LiveFuzzyTickBaseline(benchmark::State& state) {
    TControlParams p;
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
}
BENCHMARK(BM_LiveFuzzyTickBaseline)->Unit(benchmark::kMicrosecond);

} // namespace
