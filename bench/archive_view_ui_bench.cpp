// What the archive window costs with a full archive (65000 samples, 72
// configuration records): opening it until chart and table are painted, and
// selecting one sample (configuration, replay, both membership charts and the
// cursor line). Each has its floor beside it in the same run: reading the two
// files alone, and the replay's arithmetic alone.
#include <benchmark/benchmark.h>

#include "bench/window_bench_main.h"

#include <QApplication>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "analysis/replay.h"
#include "archive_view/archive_table.h"
#include "archive_view/archive_window.h"
#include "common/scripted_dialogs.h"
#include "storage/recorder.h"
#include "tests/temp_dir.h"
#include "widgets/cursor_chart.h"
#include "widgets/sample_table.h"

using namespace thermo;
namespace fs = std::filesystem;

namespace {

constexpr int kSamples = 65000;
constexpr int kConfigs = 72;

// Written once per run: a plant oscillating about a setpoint that changes
// every 900 samples.
const std::string& fullArchive() {
    static const thermo::testing::TempDir dir("thermo-bench-arhiv");
    static const std::string path = [] {
        const std::string p = dir.file("full.txt");
        std::ofstream samples(p, std::ios::binary), configs(p + "UST", std::ios::binary);
        TConfigRecord c;
        c.Fuzzy_on = c.PID_on = true;
        c.Interval = 1000;
        for (int k = 0; k < kConfigs; ++k) {
            c.Takt = static_cast<std::uint16_t>(1 + 900 * k);
            c.Zadan = 30 + k % 10;
            const ConfigBytes b = encodeConfig(c);
            configs.write(reinterpret_cast<const char*>(b.data()), b.size());
        }
        for (int i = 1; i <= kSamples; ++i) {
            const double T = 30 + 4 * std::sin(i / 50.0) + (i % 7) * 0.0625;
            const SampleBytes b = encodeSample({T, i * 0.5, i * 0.25, (i % 86400) / 86400.0});
            samples.write(reinterpret_cast<const char*>(b.data()), b.size());
        }
        return p;
    }();
    return path;
}

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct Window {
    ArchiveReader archive;
    ScriptedDialogs dialogs;
    TF_Arhiv w{{archive, dialogs}};
    Window() { w.show(); }
    void open() {
        dialogs.fileAnswers.push_back(fullArchive());
        w.N2Click();
        // Ready: the chart replotted and the table's rows painted.
        w.Chart3->replot(QCustomPlot::rpImmediateRefresh);
        w.StringGrid1->viewport()->repaint();
        QApplication::processEvents();
    }
};

void BM_ReadArchiveFilesOnly(benchmark::State& state) {
    ArchiveReader archive;
    ScriptedDialogs dialogs;
    for (auto _ : state) {
        archive.ReadSampleFile(fullArchive(), dialogs);
        archive.ReadConfigFile(fullArchive(), dialogs);
        benchmark::DoNotOptimize(archive.SampleCount);
    }
}
BENCHMARK(BM_ReadArchiveFilesOnly)->Unit(benchmark::kMillisecond);

void BM_OpenArchiveUntilChartAndTableAreReady(benchmark::State& state) {
    Window win;
    const long before = residentKiB();
    win.open();
    state.counters["added_MiB"] = (residentKiB() - before) / 1024.0;
    for (auto _ : state)
        win.open();
}
BENCHMARK(BM_OpenArchiveUntilChartAndTableAreReady)->Unit(benchmark::kMillisecond);

void BM_ReplayAlone(benchmark::State& state) {
    ArchiveReader archive;
    ScriptedDialogs dialogs;
    archive.ReadSampleFile(fullArchive(), dialogs);
    archive.ReadConfigFile(fullArchive(), dialogs);
    std::size_t s = 30000;
    for (auto _ : state) {
        s = s == 30000 ? 30001 : 30000;
        const std::size_t k = *archive.configForPosition(s);
        benchmark::DoNotOptimize(thermo::ShowReplay(archive, k, s, switchesOf(archive.Configs[k])));
    }
}
BENCHMARK(BM_ReplayAlone)->Unit(benchmark::kMicrosecond);

// Two neighbouring rows in turn, both inside the visible axis: every
// selection shows a configuration, replays, redraws both membership charts
// and draws the cursor line.
void BM_SelectSample(benchmark::State& state) {
    Window win;
    win.open();
    int row = 30000;
    for (auto _ : state) {
        row = row == 30000 ? 30001 : 30000;
        win.w.StringGrid1->setCurrentIndex(win.w.tableModel().index(row - 1, 1));
        QApplication::processEvents(); // the charts' queued replots and the paint
    }
    state.counters["cursor_drawn"] = win.w.Chart3->cursorX() != -1;
}
BENCHMARK(BM_SelectSample)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    return thermo::bench::runWindowBenchmarks(argc, argv, thermo::bench::runRegistered);
}
