// What the main window's membership charts cost per tick: both charts
// cleared and redrawn from the controller's curves (274 points with the
// default universes) and painted. Baselines in the same run: the same
// redraw feeding the series point by point, and a bare replot of unchanged
// data (the painting alone).
#include <benchmark/benchmark.h>

#include "bench/window_bench_main.h"

#include <QApplication>

#include "widgets/membership_chart.h"

using namespace thermo;

namespace {

// Roughly the size the charts get in the main window's fuzzy box.
constexpr int kWidth = 240;
constexpr int kHeight = 150;

struct TwoCharts {
    TwoCharts() {
        for (MembershipChart* c : {&deviation, &rate}) {
            c->resize(kWidth, kHeight);
            c->setDecimalSeparator(',');
            c->QWidget::show();
        }
        QCoreApplication::processEvents();
    }
    void curves(double e) {
        membershipCurve(p.otkl_left, p.otkl_right, deviationTerms(p), dev);
        membershipCurve(p.skor_left, p.skor_right, rateTerms(p), skor);
        otkl = e;
    }
    void paint() {
        deviation.replot(QCustomPlot::rpImmediateRefresh);
        rate.replot(QCustomPlot::rpImmediateRefresh);
    }

    TControlParams p;
    MembershipChart deviation{mainDeviationChartLook()};
    MembershipChart rate{mainRateChartLook()};
    std::vector<CurvePoint> dev, skor;
    double otkl = 0;
};

double nextError(double e) {
    return e > 3.0 ? -3.0 : e + 0.013;
}

void BM_RedrawBothCharts(benchmark::State& state) {
    TwoCharts charts;
    double e = 0;
    for (auto _ : state) {
        e = nextError(e);
        charts.curves(e);
        charts.deviation.clear();
        charts.rate.clear();
        charts.deviation.show(charts.dev, charts.otkl);
        charts.rate.show(charts.skor, 0.0);
        charts.paint();
    }
    state.counters["points"] =
        static_cast<double>(2 + 3 * charts.dev.size() + 2 + 3 * charts.skor.size());
}
BENCHMARK(BM_RedrawBothCharts)->Unit(benchmark::kMillisecond);

// Baseline: the series filled one point at a time, as a chart component
// without bulk loading would be.
void BM_RedrawBothChartsPointByPoint(benchmark::State& state) {
    TwoCharts charts;
    double e = 0;
    for (auto _ : state) {
        e = nextError(e);
        charts.curves(e);
        charts.deviation.clear();
        charts.rate.clear();
        for (auto [chart, curve, marker] : {std::tuple{&charts.deviation, &charts.dev, charts.otkl},
                                            std::tuple{&charts.rate, &charts.skor, 0.0}}) {
            chart->markerSeries()->addData(marker, 0.0);
            chart->markerSeries()->addData(marker, 1.0);
            for (const CurvePoint& pt : *curve) {
                chart->termSeries(1)->addData(pt.v, pt.mu1);
                chart->termSeries(2)->addData(pt.v, pt.mu2);
                chart->termSeries(3)->addData(pt.v, pt.mu3);
            }
            chart->xAxis->setRange(curve->front().v, curve->back().v);
        }
        charts.paint();
    }
}
BENCHMARK(BM_RedrawBothChartsPointByPoint)->Unit(benchmark::kMillisecond);

// Baseline: painting both charts with their data unchanged.
void BM_ReplotBothChartsUnchanged(benchmark::State& state) {
    TwoCharts charts;
    charts.curves(1.5);
    charts.deviation.show(charts.dev, charts.otkl);
    charts.rate.show(charts.skor, 0.0);
    for (auto _ : state)
        charts.paint();
}
BENCHMARK(BM_ReplotBothChartsUnchanged)->Unit(benchmark::kMillisecond);

// The series update alone, without painting.
void BM_UpdateBothChartsNoPaint(benchmark::State& state) {
    TwoCharts charts;
    double e = 0;
    for (auto _ : state) {
        e = nextError(e);
        charts.curves(e);
        charts.deviation.show(charts.dev, charts.otkl);
        charts.rate.show(charts.skor, 0.0);
    }
}
BENCHMARK(BM_UpdateBothChartsNoPaint)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    return thermo::bench::runWindowBenchmarks(argc, argv, thermo::bench::runRegistered);
}
