// Makes the picture of the archive window for the documentation: a run of
// 600 samples with a setpoint step, one sample selected in the table.
//   thermostand-archive-screenshot OUT.png
#include <QApplication>
#include <QPixmap>
#include <cmath>
#include <filesystem>
#include <iostream>

#include "archive_view/archive_table.h"
#include "archive_view/archive_window.h"
#include "common/scripted_dialogs.h"
#include "storage/recorder.h"
#include "ui_aux/program_setup.h"
#include "widgets/cursor_chart.h"
#include "widgets/sample_table.h"

using namespace thermo;
namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: thermostand-archive-screenshot OUT.png\n";
        return 2;
    }
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    prepareWindowProgram(app);
    const fs::path dir = fs::temp_directory_path() / ("thermo_arhiv_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "run.txt").string();

    // A plant of one time constant settling on 33.5 degrees, then on 40.
    TConfigRecord c;
    c.Takt = 1;
    c.Zadan = 33.5;
    c.Fuzzy_on = true;
    c.PID_on = true;
    c.Interval = 1000;
    c.params.integ_1 = true;
    double T = 20, s1 = 0, s2 = 0;
    for (int p = 1; p <= 600; ++p) {
        if (p == 300) {
            c.Takt = 300;
            c.Zadan = 40;
            c.Nagrev = false;
            const ConfigBytes b = encodeConfig(c);
            appendRecord(path + "UST", b.data(), b.size());
        } else if (p == 1) {
            const ConfigBytes b = encodeConfig(c);
            appendRecord(path + "UST", b.data(), b.size());
        }
        T += (c.Zadan - T) / 60 + 0.05 * std::sin(p / 7.0);
        s1 += c.Zadan - T;
        s2 += c.Zadan - T;
        const SampleBytes b = encodeSample({T, s1, s2, (12 * 3600.0 + 5 * 60 + p) / 86400.0});
        appendRecord(path, b.data(), b.size());
    }

    ArchiveReader archive;
    ScriptedDialogs dialogs;
    TF_Arhiv w({archive, dialogs});
    w.show();
    dialogs.fileAnswers.push_back(path);
    w.N2Click();
    QApplication::processEvents();
    w.Chart3->replot();
    w.StringGrid1->setCurrentIndex(w.tableModel().index(349, 1));
    QApplication::processEvents();
    const bool ok = w.grab().save(QString::fromStdString(argv[1]));
    fs::remove_all(dir);
    return ok ? 0 : 1;
}
