// The main window over a whole run: its tick driven as the timer drives it
// (the session's tick over an emulated sensor without character timing, the
// displays, the archive, then the turn of the event loop that replots and
// paints), 65000 ticks to the archive's end and on past it: the cycle stops
// the full run, "новый" on the same archive starts the next one, whose
// samples the archive appends. At 1 k, 10 k, 30 k, 65 k ticks and after the
// end it prints the resident memory, the tick's cost (median of the last 200
// ticks), a bare replot of the trend at the same number of points (median of
// 50) and the archive's size; then whether the archive still reads back
// whole. Not a Google Benchmark: one long run, one table.
//   bench_soak [--ticks N]   N ticks before the end's (65000 by default)
// Offscreen.
#include <QApplication>
#include <QCheckBox>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/main_window.h"
#include "storage/reader.h"
#include "tests/app/window_stand.h"
#include "ui_aux/program_setup.h"
#include "widgets/trend_chart.h"

using namespace thermo;
using Clock = std::chrono::steady_clock;

namespace {

double residentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

double median(std::vector<double> v) {
    if (v.empty())
        return std::nan("");
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

struct Soak : testing::WindowStand {
    std::unique_ptr<TF_Glav> w;
    std::string archive;
    std::vector<double> recent; // the last ticks' costs, ms
    long ticks = 0;
    int sensorLosses = 0;

    Soak() : WindowStand({.plant = 25.0}) {
        archive = file("soak.txt");
        w = std::make_unique<TF_Glav>(services());
        w->show();
        w->FormShow();
        w->Check_PID->setChecked(true);
        w->Check_Fuzzy->setChecked(true);
        startRun();
    }
    // "новый" on the soak's archive (appended to when it exists), "старт";
    // the ticks come from here, not from the timer.
    void startRun() {
        dialogs.fileAnswers.push_back(archive);
        w->N2Click();
        w->start();
        w->Timer1->stop();
    }
    // One tick as Timer1 runs it: the session's tick, then its report on
    // the displays and the event loop's turn that replots and paints. Only
    // the latter two are timed: the sensor's reading waits on the pseudo-
    // terminal, which tells nothing of the window.
    TickReport tick() {
        // A first-order plant, 25 °C cold, 45 °C at full power, fifty ticks
        // slow: the regulators settle near the setpoint, so the heating watch
        // sees a plant that follows its heater.
        const double p = plant;
        plant = p + (25 + 20 * heater() / 234.0 - p) / 50.0;
        TickReport r = session->tick(localTimeOfDay());
        if (r.stop == TickReport::Stop::SensorLost) {
            // On a loaded machine the emulated sensor now and then misses
            // its presence pulse, which stops the run as a lost sensor
            // does; counted, and "старт" again, as the student would.
            ++sensorLosses;
            (void)session->takeNotices();
            w->start();
            w->Timer1->stop();
            r = session->tick(localTimeOfDay());
        }
        const Clock::time_point t0 = Clock::now();
        w->presentTick(r);
        QApplication::processEvents();
        recent.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        if (recent.size() > 200)
            recent.erase(recent.begin());
        ++ticks;
        return r;
    }
    double bareReplot() {
        std::vector<double> v;
        for (int i = 0; i < 50; ++i) {
            const Clock::time_point t0 = Clock::now();
            w->Chart3->replot();
            v.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        QApplication::processEvents();
        return median(v);
    }
    struct Row {
        std::string at;
        double mib, tick, replot;
        long points, takt;
        std::uintmax_t bytes;
    };
    Row row(const std::string& at) {
        std::error_code ec;
        const std::uintmax_t bytes = std::filesystem::file_size(archive, ec);
        return {at,
                residentMiB(),
                median(recent),
                bareReplot(),
                static_cast<long>(w->Chart3->temperatureSeries()->dataCount()),
                stand.state.Takt,
                ec ? 0 : bytes};
    }
};

void print(const Soak::Row& r) {
    std::printf("%-12s %9.1f %9.3f %10.3f %8ld %6ld %11ju\n", r.at.c_str(), r.mib, r.tick, r.replot,
                r.points, r.takt, r.bytes);
    std::fflush(stdout);
}

int run(long total) {
    Soak s;
    std::printf("%-12s %9s %9s %10s %8s %6s %11s\n", "ticks", "RSS MiB", "tick ms", "replot ms",
                "points", "Takt", "archive B");
    std::vector<long> marks{1000, 10000, 30000, 65000};
    marks.erase(std::remove_if(marks.begin(), marks.end(), [&](long m) { return m > total; }),
                marks.end());
    if (marks.empty() || marks.back() != total)
        marks.push_back(total);
    std::vector<Soak::Row> rows;
    for (long m : marks) {
        while (s.ticks < m)
            s.tick();
        rows.push_back(s.row(std::to_string(m)));
        print(rows.back());
    }
    // On to the archive's end: the cycle stops the run that reaches it.
    long extra = 0;
    TickReport::Stop stop = TickReport::Stop::None;
    while (stop == TickReport::Stop::None && extra < 70000) {
        stop = s.tick().stop;
        ++extra;
    }
    const bool stoppedAtEnd = stop == TickReport::Stop::ArchiveFull;
    const long stopTakt = s.stand.state.Takt;
    std::string why;
    for (const Notice& n : s.session->takeNotices())
        why += n.text;
    print(s.row("end+" + std::to_string(extra)));
    // The next run on the same archive.
    s.startRun();
    for (int i = 0; i < 1000; ++i)
        s.tick();
    const Soak::Row after = s.row("next run 1k");
    print(after);

    ArchiveReader reader;
    ScriptedDialogs quiet;
    const bool read =
        reader.ReadSampleFile(s.archive, quiet) && reader.ReadConfigFile(s.archive, quiet);
    std::printf("\nthe run stopped at Takt %ld: %s (%s)\n", stopTakt,
                stoppedAtEnd ? "archive full" : "NOT AT THE END", why.c_str());
    std::printf("runs restarted after a missed presence pulse: %d\n", s.sensorLosses);
    std::printf("archive read back: %s, %zu samples, %zu configurations\n", read ? "yes" : "NO",
                reader.SampleCount, reader.ConfigCount);
    const Soak::Row& first = rows.front();
    const Soak::Row& last = rows.back();
    std::printf("memory growth %s .. %s: %.1f MiB\n", first.at.c_str(), last.at.c_str(),
                last.mib - first.mib);
    std::printf("tick beyond its replot, %s / %s: %.2f (tick %.2f, replot %.2f)\n", last.at.c_str(),
                first.at.c_str(), (last.tick - last.replot) / (first.tick - first.replot),
                last.tick / first.tick, last.replot / first.replot);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    long total = 65000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--ticks") == 0 && i + 1 < argc)
            total = std::max(1L, std::atol(argv[++i]));
        else if (std::strncmp(argv[i], "--benchmark_", 12) != 0) { // ./stand bench passes these
            std::fprintf(stderr, "usage: bench_soak [--ticks N]\n");
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    prepareWindowProgram(app);
    return run(total);
}
