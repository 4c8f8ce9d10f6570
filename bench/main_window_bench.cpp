// What a tick costs the window: showing its report with the trend chart
// already holding 65000 points (one point appended to each series, one
// replot), the membership charts redrawn; and a whole tick as the timer runs
// it, against the emulated adapter with real UART timing. Offscreen.
#include <benchmark/benchmark.h>

#include "bench/window_bench_main.h"

#include <QApplication>
#include <QCheckBox>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/main_window.h"
#include "tests/app/window_stand.h"
#include "widgets/trend_chart.h"

using namespace thermo;
namespace fs = std::filesystem;

namespace {

struct Window : thermo::testing::WindowStand {
    std::unique_ptr<TF_Glav> w;

    Window()
        : WindowStand(
              {.plant = 30.0, .timing = sim::UartTiming{true, std::chrono::microseconds(0)}}) {
        w = std::make_unique<TF_Glav>(services());
        w->show();
        w->FormShow();
        dialogs.fileAnswers.push_back((dir / "run.txt").string());
        w->N2Click();
        fillChart();
    }
    // 65000 points on the trend chart, as at the end of a full run.
    void fillChart() {
        std::vector<double> x, t, z, tod;
        for (int i = 3; i < 65003; ++i) {
            x.push_back(i);
            t.push_back(30 + std::sin(i / 500.0) * 5);
            z.push_back(33.5);
            tod.push_back(i / 86400.0);
        }
        w->Chart3->setPoints(x, t, z, tod);
        w->Chart3->replot();
    }
};

TickReport sampleReport(Window& win, int takt) {
    TickReport r;
    r.sampleAdded = true;
    r.fuzzyEvaluated = true;
    r.fuzzy.otkl = 1.5;
    r.fuzzy.Rule_mask = 144;
    r.lampDrawn = true;
    win.stand.state.Takt = static_cast<std::uint16_t>(takt);
    win.stand.state.Temper = 30 + (takt % 7) * 0.0625;
    return r;
}

// The tick as the program shows it: presentTick, then the turn of the event
// loop that runs the charts' queued replots and paints what changed. A
// replot called here besides would draw the trend twice, which the program
// never does: the counter says how many replots of the trend a tick costs.
void BM_ShowTickWith65000Points(benchmark::State& state, Window& win) {
    int takt = 65003;
    int replots = 0;
    const QMetaObject::Connection counting =
        QObject::connect(win.w->Chart3, &QCustomPlot::beforeReplot, [&replots] { ++replots; });
    for (auto _ : state) {
        if (takt > 65500) { // the tick counter is 16 bits: start the chart over
            state.PauseTiming();
            const int counted = replots;
            win.fillChart();
            QApplication::processEvents();
            replots = counted; // the refill's replot is no tick's
            takt = 65003;
            state.ResumeTiming();
        }
        win.w->presentTick(sampleReport(win, takt++));
        QApplication::processEvents();
    }
    QObject::disconnect(counting);
    state.counters["trend_replots_per_tick"] =
        benchmark::Counter(replots, benchmark::Counter::kAvgIterations);
}

// Baseline: replotting the 65000-point chart alone, nothing new on it.
void BM_ReplotOnly65000Points(benchmark::State& state, Window& win) {
    for (auto _ : state)
        win.w->Chart3->replot();
}

// The same replot painted on screen at once, as a tick's replot is: the
// baseline above leaves its painting to an event loop that never runs.
void BM_ReplotShown65000Points(benchmark::State& state, Window& win) {
    for (auto _ : state)
        win.w->Chart3->replot(QCustomPlot::rpImmediateRefresh);
}

// A whole tick as the timer runs it: reading the sensor over the emulated
// adapter (real character timing), the laws, the displays and the archive.
void BM_WholeTickWithEmulatedAdapter(benchmark::State& state, Window& win) {
    win.stand.state.Takt = 3;
    win.w->Check_Fuzzy->setChecked(true);
    win.w->Check_PID->setChecked(true);
    for (auto _ : state) {
        if (win.stand.state.Takt > 60000)
            win.stand.state.Takt = 3;
        win.w->Timer1Timer();
        win.w->Chart3->replot();
    }
}
} // namespace

// The application and the window live in main, so both are gone before the
// process's exit handlers run Qt's own clean-up.
int main(int argc, char** argv) {
    return thermo::bench::runWindowBenchmarks(argc, argv, [] {
        Window win;
        benchmark::RegisterBenchmark("BM_ShowTickWith65000Points", BM_ShowTickWith65000Points,
                                     std::ref(win))
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("BM_ReplotOnly65000Points", BM_ReplotOnly65000Points,
                                     std::ref(win))
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("BM_ReplotShown65000Points", BM_ReplotShown65000Points,
                                     std::ref(win))
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("BM_WholeTickWithEmulatedAdapter",
                                     BM_WholeTickWithEmulatedAdapter, std::ref(win))
            ->Unit(benchmark::kMillisecond);
        benchmark::RunSpecifiedBenchmarks();
    });
}
