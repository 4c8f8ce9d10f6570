// Makes the pictures of the analysis windows for the documentation: an
// archive of two setpoint steps with overshoot, its scorecard with the first
// segment marked on the archive's chart, the surface of the selected
// sample's configuration with the segment's path, the term window, and the
// identification of a heater step on the simulator's plant; that archive
// compared with a calmer run, and the first page of their lab report
// (rendered with pdftoppm from poppler-utils).
//   thermostand-analysis-screenshots DIR
#include <QApplication>
#include <QPixmap>
#include <QTableWidget>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "analysis/ui/lab_report.h"
#include "app/analysis_windows.h"
#include "common/scripted_dialogs.h"
#include "control/ui/term_window.h"
#include "sim/plant.h"
#include "sim/pty_sensor.h"
#include "storage/recorder.h"
#include "ui_aux/program_setup.h"
#include "widgets/compare_chart.h"
#include "widgets/cursor_chart.h"
#include "widgets/surface_chart.h"

using namespace thermo;
namespace fs = std::filesystem;

namespace {

// An archive of 500 samples a second apart from `startS` (seconds of the
// day) on a plant with some inertia: setpoint 33.5 from the start, 28 from
// position 250, each record written as the recorder writes it (by the tick
// that took the position). `gain` and `damping` make the regulator in `c`
// lively or calm.
void writeDemoRun(const std::string& path, TConfigRecord c, double gain, double damping,
                  double startS) {
    c.Interval = 1000;
    double T = 22, v = 0;
    for (int p = 1; p <= 500; ++p) {
        if (p == 1 || p == 250) {
            c.Takt = static_cast<std::uint16_t>(p == 1 ? 1 : p + 2);
            c.Zadan = p == 1 ? 33.5 : 28;
            const ConfigBytes b = encodeConfig(c);
            appendRecord(path + "UST", b.data(), b.size());
        }
        v += gain * (c.Zadan - T) - damping * v;
        T += v;
        const SampleBytes b = encodeSample({T, 0, 0, (startS + p) / 86400.0});
        appendRecord(path, b.data(), b.size());
    }
}

// The lively run beside a calmer one under Regulator 2, in the comparison
// window, and the first page of their report. True when every picture was
// saved.
bool comparisonPictures(AnalysisWindows& analysis, const std::string& lively, const fs::path& dir,
                        const fs::path& out) {
    const std::string calm = (dir / "pid.txt").string();
    TConfigRecord c;
    c.PID_on = true;
    writeDemoRun(calm, c, 0.003, 0.09, 15 * 3600.0);
    CompareWindow& w = analysis.compare;
    w.show();
    bool ok = w.setRuns({lively, calm});
    QApplication::processEvents();
    w.chart->replot();
    ok &= w.grab().save(QString::fromStdString((out / "compare-window.png").string()));

    const std::string pdf = (dir / "report.pdf").string();
    const ReportTitleBlock title{
        "Сравнение регуляторов",        "Петров П. П.", "ТС-31", reportDate(), programVersion(),
        "COM1 — /dev/ttyS0, LPT — auto"};
    ok &= !writeLabReport(pdf, title, w.inputs(), w.align(), w.stepNumber(), ',').error;
    const std::string page = (out / "report-page").string();
    ok &= std::system(
              ("pdftoppm -r 60 -png -f 1 -l 1 -singlefile '" + pdf + "' '" + page + "'").c_str()) ==
          0;
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: thermostand-analysis-screenshots DIR\n";
        return 2;
    }
    const fs::path out = argv[1];
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    QApplication app(argc, argv);
    prepareWindowProgram(app);
    QApplication::setStyle(QStringLiteral("Fusion"));
    const fs::path dir =
        fs::temp_directory_path() / ("thermo_analysis_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "run.txt").string();

    // A plant with some inertia under a lively regulator: it overshoots each
    // new setpoint and rings down into it.
    TConfigRecord c;
    c.Fuzzy_on = true;
    writeDemoRun(path, c, 0.004, 0.06, 14 * 3600.0 + 10 * 60);

    sim::PtySensorThread sensor([] { return 25.0; });
    Stand stand;
    ScriptedDialogs dialogs;
    TSettings settings;
    settings.devices.com[0] = sensor.path();
    settings.devices.lpt = "sim:" + (dir / "lpt").string();
    StandDevices devices(settings.devices);
    ArchiveRecorder recorder;
    RunSession session(stand, devices, recorder);
    TF_Glav main({stand, dialogs, devices, recorder, session, settings, (dir / "t.INI").string()});
    ArchiveReader archive;
    TF_Arhiv arhiv({archive, dialogs});
    AnalysisWindows analysis(main, arhiv, archive, stand, recorder, session, dialogs);
    arhiv.show();
    dialogs.fileAnswers.push_back(path);
    arhiv.N2Click();
    QApplication::processEvents();

    bool ok = true;
    analysis.showArchiveScore();
    analysis.archiveScore.table()->setCurrentCell(0, 0);
    QApplication::processEvents();
    arhiv.Chart3->replot();
    ok &= arhiv.grab().save(QString::fromStdString((out / "archive-score-marks.png").string()));
    ok &= analysis.archiveScore.grab().save(
        QString::fromStdString((out / "archive-scorecard.png").string()));

    analysis.showArchiveSurface();
    arhiv.SelectSample(40);
    QApplication::processEvents();
    analysis.archiveSurface.chart()->replot();
    ok &= analysis.archiveSurface.grab().save(
        QString::fromStdString((out / "archive-surface.png").string()));

    // A 0 -> 50 % step at position 20 on the default plant (its sensor lags
    // 10 s, which the fit takes as dead time), read once a second.
    const std::string step = (dir / "step.txt").string();
    {
        TConfigRecord sc;
        sc.Takt = 1;
        sc.Interval = 1000;
        const ConfigBytes b = encodeConfig(sc);
        appendRecord(step + "UST", b.data(), b.size());
        sim::ThermalPlant plant{sim::PlantParams{}};
        for (int p = 1; p <= 600; ++p) {
            const double t = std::round(plant.sensor() * 16) / 16;
            const SampleBytes sb = encodeSample({t, 0, 0, (15 * 3600.0 + p) / 86400.0});
            appendRecord(step, sb.data(), sb.size());
            if (p == 20)
                plant.setHeater(p, 117 / 234.0);
            plant.advanceTo(p + 1);
        }
    }
    dialogs.fileAnswers.push_back(step);
    arhiv.N2Click();
    analysis.showIdentify();
    arhiv.SelectSpan(20, 600);
    analysis.archiveIdentify.setStep(0, 50);
    ok &= analysis.archiveIdentify.identify();
    QApplication::processEvents();
    analysis.archiveIdentify.chart->replot();
    ok &= analysis.archiveIdentify.grab().save(
        QString::fromStdString((out / "archive-identify.png").string()));

    ok &= comparisonPictures(analysis, path, dir, out);

    TFF_term term(stand.params, dialogs);
    term.showForward();
    QApplication::processEvents();
    ok &= term.grab().save(QString::fromStdString((out / "term-surface.png").string()));
    fs::remove_all(dir);
    return ok ? 0 : 1;
}
