// Makes the README's pictures of the main window: before the first tick,
// during a closed-loop run on the simulated plant, and during an alarm. The
// window is the real one, driven through the emulated sensor on a pty and the
// simulated register device; only the plant runs 20 s per tick.
//   thermostand-screenshots OUTDIR
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <thread>

#include "app/main_window.h"
#include "common/scripted_dialogs.h"
#include "io/sim_register_file.h"
#include "sim/plant.h"
#include "sim/pty_sensor.h"
#include "ui_aux/program_setup.h"

using namespace thermo;
namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: thermostand-screenshots OUTDIR\n";
        return 2;
    }
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    prepareWindowProgram(app);
    const fs::path out = argv[1];
    const fs::path dir = fs::temp_directory_path() / ("thermo_shots_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::create_directories(out);

    std::mutex m;
    sim::ThermalPlant plant(sim::PlantParams{});
    std::atomic<double> override{-1000};
    sim::PtySensorThread sensor([&] {
        if (override > -999)
            return override.load();
        std::lock_guard lock(m);
        return plant.sensor();
    });
    if (!sensor.ok()) {
        std::cerr << sensor.error() << '\n';
        return 1;
    }
    TSettings settings;
    settings.devices.com[0] = sensor.path();
    settings.devices.lpt = "sim:" + (dir / "lpt").string();
    Stand stand;
    ScriptedDialogs dialogs;
    StandDevices devices(settings.devices);
    ArchiveRecorder recorder;
    RunSession session(stand, devices, recorder);
    TF_Glav w(
        {stand, dialogs, devices, recorder, session, settings, (dir / "thermostand.INI").string()});
    w.show();
    app.processEvents();
    w.FormShow();
    auto shot = [&](const char* name) {
        for (int i = 0; i < 5; ++i)
            app.processEvents();
        w.grab().save(QString::fromStdString((out / name).string()));
        std::cout << "wrote " << (out / name).string() << '\n';
    };
    shot("main-start.png");

    dialogs.fileAnswers.push_back((dir / "run.txt").string());
    w.N2Click();
    w.Ed_Zadan->setText("55");
    w.Button15->click();
    w.Check_PID->setChecked(true);
    w.Check_Fuzzy->setChecked(true);
    w.Check_Reg1_Integ->setChecked(true);
    double t = 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    for (int i = 0; i < 45; ++i) {
        w.Timer1Timer();
        {
            std::lock_guard lock(m);
            plant.setHeater(t, devices.lastHeaterByte() / 234.0);
            t += 20;
            plant.advanceTo(t);
        }
        app.processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(780));
    }
    shot("main-run.png");

    override = 126.5;
    w.SpeedButton1->setChecked(true);
    for (int i = 0; i < 3; ++i) {
        w.Timer1Timer();
        std::this_thread::sleep_for(std::chrono::milliseconds(780));
    }
    shot("main-alarm.png");
    w.close();
    fs::remove_all(dir);
    return 0;
}
