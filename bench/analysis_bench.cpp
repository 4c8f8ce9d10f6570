// The analysis windows' work, each beside a baseline measured in the same
// run:
// - the scorecard of a full archive (65000 samples, 72 records, a setpoint
//   change every 900 ticks; goal under 20 ms), beside one plain pass that
//   looks up every sample's record, which any per-sample figure needs;
// - a 200 x 200 control surface computed and drawn into the chart's pixmap
//   (goal under 50 ms), beside the drawing of the map alone;
// - the live point redrawn on its own layer (goal under 2 ms), beside a full
//   replot of the same chart.
#include <benchmark/benchmark.h>

#include "analysis/scorecard.h"
#include "analysis/ui/surface_window.h"
#include "bench/window_bench_main.h"
#include "widgets/surface_chart.h"

using namespace thermo;

namespace {

ArchiveReader& fullArchive() {
    static ArchiveReader a = [] {
        ArchiveReader r;
        r.SampleCount = 65000;
        r.ConfigCount = 72;
        for (std::size_t k = 1; k <= 72; ++k) {
            r.Configs[k].Takt = static_cast<std::uint16_t>(k == 1 ? 1 : (k - 1) * 900);
            r.Configs[k].Zadan = k % 2 ? 33.5 : 40.0;
        }
        double T = 20;
        for (std::size_t p = 1; p <= 65000; ++p) {
            const double z = r.Configs[r.configForPosition(p).value_or(1)].Zadan;
            T += (z - T) / 60;
            r.Samples[p] = {T, 0, 0, 0.5 + static_cast<double>(p) / 86400.0};
        }
        return r;
    }();
    return a;
}

void BM_ScorecardOfAFullArchive(benchmark::State& state) {
    const ArchiveReader& a = fullArchive();
    for (auto _ : state) {
        const auto segments = scoreArchive(a);
        benchmark::DoNotOptimize(segments.data());
    }
    state.counters["segments"] = static_cast<double>(scoreArchive(a).size());
}

void BM_BaselineRecordLookupPerSample(benchmark::State& state) {
    const ArchiveReader& a = fullArchive();
    for (auto _ : state) {
        double sum = 0;
        for (std::size_t p = 1; p <= a.SampleCount; ++p)
            sum += a.Configs[a.configForPosition(p).value_or(1)].Zadan - a.Samples[p].Temper;
        benchmark::DoNotOptimize(sum);
    }
}

void BM_Surface200ComputedAndDrawn(benchmark::State& state) {
    SurfaceChart chart;
    chart.resize(560, 440);
    TControlParams p;
    ControlSurface s;
    for (auto _ : state) {
        p.otkl_left = p.otkl_left == 33 ? 34 : 33; // a new set each time
        computeSurface(p, kWindowSurfaceGrid, s);
        chart.showSurface(s);
        chart.replot(QCustomPlot::rpImmediateRefresh);
        benchmark::DoNotOptimize(chart.toPixmap(1, 1));
    }
}

void BM_BaselineSurfaceDrawnOnly(benchmark::State& state) {
    SurfaceChart chart;
    chart.resize(560, 440);
    chart.showSurface(computeSurface(TControlParams{}, kWindowSurfaceGrid));
    for (auto _ : state) {
        chart.colorMap()->data()->setCell(0, 0, 0); // the map image is made again
        chart.replot(QCustomPlot::rpImmediateRefresh);
    }
}

void BM_LivePointRedrawn(benchmark::State& state) {
    SurfaceChart chart;
    chart.resize(560, 440);
    chart.showSurface(computeSurface(TControlParams{}, kWindowSurfaceGrid));
    chart.replot(QCustomPlot::rpImmediateRefresh);
    double e = 0;
    for (auto _ : state) {
        e = e > 3 ? -3 : e + 0.01;
        chart.setMarker(QPointF(e, e / 3));
    }
}

void BM_BaselineFullReplotWithPoint(benchmark::State& state) {
    SurfaceChart chart;
    chart.resize(560, 440);
    chart.showSurface(computeSurface(TControlParams{}, kWindowSurfaceGrid));
    chart.setMarker(QPointF(0, 0));
    for (auto _ : state)
        chart.replot(QCustomPlot::rpImmediateRefresh);
}

} // namespace

int main(int argc, char** argv) {
    return bench::runWindowBenchmarks(argc, argv, [] {
        BENCHMARK(BM_ScorecardOfAFullArchive)->Unit(benchmark::kMillisecond);
        BENCHMARK(BM_BaselineRecordLookupPerSample)->Unit(benchmark::kMillisecond);
        BENCHMARK(BM_Surface200ComputedAndDrawn)->Unit(benchmark::kMillisecond);
        BENCHMARK(BM_BaselineSurfaceDrawnOnly)->Unit(benchmark::kMillisecond);
        BENCHMARK(BM_LivePointRedrawn)->Unit(benchmark::kMicrosecond);
        BENCHMARK(BM_BaselineFullReplotWithPoint)->Unit(benchmark::kMicrosecond);
        bench::runRegistered();
    });
}
