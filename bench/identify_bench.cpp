// The fit of a long step record: 5000 readings of one per second (a plant of
// 175 s watched for over an hour and a quarter), in sixteenths of a degree
// as the sensor gives them. Goal: under 50 ms. The baseline is one pass of
// the model over the same record, the unit of work the search repeats.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "analysis/identify.h"

using namespace thermo;

namespace {

struct Record {
    std::vector<double> t, y;
};

Record longStep() {
    const FopdtModel m{0.9, 175.0, 10.5, 23.0};
    Record r;
    for (int i = -20; i < 4980; ++i) {
        r.t.push_back(i);
        r.y.push_back(std::round(fopdtResponse(m, 50, i) * 16) / 16);
    }
    return r;
}

} // namespace

static void BM_FitStep5000(benchmark::State& state) {
    const Record r = longStep();
    for (auto _ : state) {
        const FopdtFit f = fitStep(r.t, r.y, 50);
        benchmark::DoNotOptimize(f.model.tau);
    }
}
BENCHMARK(BM_FitStep5000)->Unit(benchmark::kMillisecond);

static void BM_ModelPass5000(benchmark::State& state) {
    const Record r = longStep();
    FopdtModel m{0.9, 175.0, 10.5, 23.0};
    for (auto _ : state) {
        double sse = 0;
        for (std::size_t i = 0; i < r.t.size(); ++i) {
            const double e = r.y[i] - fopdtResponse(m, 50, r.t[i]);
            sse += e * e;
        }
        benchmark::DoNotOptimize(sse);
        m.tau += 1e-9;
    }
}
BENCHMARK(BM_ModelPass5000)->Unit(benchmark::kMillisecond);
