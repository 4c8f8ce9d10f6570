// The lab report and the comparison of runs, each beside a baseline measured
// in the same run:
// - the report (PDF) of one full archive (65000 samples, 72 records, the
//   fuzzy regulator on, so the control surface and its path are drawn too;
//   goal under 1 s), read from its files, beside reading the files alone;
// - "сравнение прогонов" of six full archives, read, compared and shown as
//   chart and table (goal under 100 ms), beside reading the six alone and
//   beside a bare replot of the same points in a plain chart.
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/ui/compare_window.h"
#include "analysis/ui/lab_report.h"
#include "bench/window_bench_main.h"
#include "common/scripted_dialogs.h"
#include "storage/archive_record.h"
#include "storage/reader.h"
#include "tests/temp_dir.h"
#include "widgets/compare_chart.h"

using namespace thermo;

namespace {

constexpr int kSamples = 65000;
constexpr int kRecords = 72;

// A run whose setpoint alternates between 33.5 and 40 every 900 ticks, the
// plant following with a time constant of `lag` samples; run k differs in
// its lag and regulators.
void writeArchive(const std::string& path, int k) {
    std::string samples, configs;
    std::vector<double> zadan(kRecords + 1);
    for (int r = 1; r <= kRecords; ++r) {
        TConfigRecord c;
        c.Takt = static_cast<std::uint16_t>(r == 1 ? 1 : (r - 1) * 900);
        c.Zadan = zadan[r] = r % 2 ? 33.5 : 40.0;
        c.Fuzzy_on = k % 2 == 0;
        c.PID_on = !c.Fuzzy_on;
        const auto b = encodeConfig(c);
        configs.append(reinterpret_cast<const char*>(b.data()), b.size());
    }
    const double lag = 40 + 10 * k;
    double T = 22;
    for (int p = 1; p <= kSamples; ++p) {
        const int r = std::min(kRecords, (p + 2) / 900 + 1);
        T += (zadan[r] - T) / lag;
        const auto b = encodeSample({T, zadan[r] - T, 50, 0.4 + p / 86400.0});
        samples.append(reinterpret_cast<const char*>(b.data()), b.size());
    }
    for (const auto& [name, bytes] : {std::pair{path, &samples}, {path + "UST", &configs}}) {
        std::FILE* f = std::fopen(name.c_str(), "wb");
        std::fwrite(bytes->data(), 1, bytes->size(), f);
        std::fclose(f);
    }
}

struct Archives {
    Archives() {
        for (int k = 0; k < 6; ++k) {
            paths.push_back(dir.file("run" + std::to_string(k + 1) + ".txt"));
            writeArchive(paths.back(), k);
        }
    }
    thermo::testing::TempDir dir{"thermo-bench-report"};
    std::vector<std::string> paths;
};

Archives& archives() {
    static Archives a;
    return a;
}

void read(ArchiveReader& a, const std::string& path) {
    ScriptedDialogs quiet;
    (void)a.ReadSampleFile(path, quiet);
    (void)a.ReadConfigFile(path, quiet);
}

void BM_ReportOfAFullArchive(benchmark::State& state) {
    const std::string& path = archives().paths[0];
    const ReportTitleBlock title{
        "Сравнение регуляторов",        "Петров П. П.", "ТС-31", "01.02.2025", "1.0",
        "COM1 — /dev/ttyS0, LPT — auto"};
    qint64 bytes = 0;
    int pages = 0;
    for (auto _ : state) {
        ArchiveReader a;
        read(a, path);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        const ReportOutcome done =
            writeLabReport(out, title, {{path, &a}}, CompareAlign::Step, 1, ',');
        bytes = out.size();
        pages = done.pages;
    }
    state.counters["pdf_kB"] = static_cast<double>(bytes) / 1024;
    state.counters["pages"] = pages;
}

void BM_BaselineReadOneArchive(benchmark::State& state) {
    for (auto _ : state) {
        ArchiveReader a;
        read(a, archives().paths[0]);
        benchmark::DoNotOptimize(a.Samples.data());
    }
}

void BM_CompareSixArchivesToChartAndTable(benchmark::State& state) {
    ScriptedDialogs dialogs;
    CompareWindow w(dialogs);
    w.resize(1100, 680);
    for (auto _ : state) {
        if (!w.setRuns(archives().paths))
            state.SkipWithError("not compared");
        w.chart->replot(QCustomPlot::rpImmediateRefresh);
    }
    state.counters["runs"] = static_cast<double>(w.comparison().runs.size());
}

void BM_BaselineReadSixArchives(benchmark::State& state) {
    for (auto _ : state) {
        for (const std::string& path : archives().paths) {
            ArchiveReader a;
            read(a, path);
            benchmark::DoNotOptimize(a.Samples.data());
        }
    }
}

// The comparison's points (temperature and setpoint of six runs) in a plain
// chart of the same size, replotted.
void BM_BaselineBareReplotOfTheSamePoints(benchmark::State& state) {
    ScriptedDialogs dialogs;
    CompareWindow w(dialogs);
    w.resize(1100, 680);
    (void)w.setRuns(archives().paths);
    QCustomPlot plain;
    plain.resize(w.chart->size());
    for (const ComparedRun& r : w.comparison().runs) {
        QVector<double> t(r.t.begin(), r.t.end());
        plain.addGraph()->setData(t, QVector<double>(r.temper.begin(), r.temper.end()), true);
        plain.addGraph()->setData(t, QVector<double>(r.zadan.begin(), r.zadan.end()), true);
    }
    plain.rescaleAxes();
    for (auto _ : state)
        plain.replot(QCustomPlot::rpImmediateRefresh);
}

} // namespace

int main(int argc, char** argv) {
    return bench::runWindowBenchmarks(argc, argv, [] {
        BENCHMARK(BM_ReportOfAFullArchive)->Unit(benchmark::kMillisecond);
        BENCHMARK(BM_BaselineReadOneArchive)->Unit(benchmark::kMillisecond);
        BENCHMARK(BM_CompareSixArchivesToChartAndTable)->Unit(benchmark::kMillisecond);
        BENCHMARK(BM_BaselineReadSixArchives)->Unit(benchmark::kMillisecond);
        BENCHMARK(BM_BaselineBareReplotOfTheSamePoints)->Unit(benchmark::kMillisecond);
        bench::runRegistered();
    });
}
