// thermostand: the program of the stand. Creates the windows in their fixed
// order (main window, term window, archive window, interval, scheme,
// progress, about), runs the event loop and ends when the main window closes.

#include <QApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <csignal>
#include <exception>
#include <iostream>
#include <unistd.h>

#include "app/crash_guard.h"
#include "app/devices.h"
#include "app/program_windows.h"
#include "app/stand.h"
#include "app/ui/qt_dialogs.h"
#include "control/ui/locale_sep.h"
#include "resources/embedded.h"
#include "storage/recorder.h"
#include "storage/settings.h"
#include "ui_aux/alarm_sound.h"
#include "ui_aux/program_icon.h"

namespace {

// What a signal or a fatal error must reach to switch the heater off: set once
// the devices exist, cleared before they go. Signal handlers can only reach
// such a static.
thermo::StandDevices* g_emergencyHeater = nullptr;
int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int sig) {
    const char c = static_cast<char>(sig);
    if (write(g_signalPipe[1], &c, 1) < 0) {
        // Nothing more can be done safely inside a signal handler.
    }
}

void onFatalError() {
    if (g_emergencyHeater)
        g_emergencyHeater->writeHeater(0);
    std::cerr << "thermostand: fatal error, heater switched off\n";
    std::abort();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion")); // the same look on every desktop
    app.setApplicationName(QStringLiteral("thermostand"));
    app.setWindowIcon(thermo::programIcon());

    const char sep = thermo::decimalSeparator();
    const std::string settingsPath =
        thermo::settingsFileName(QCoreApplication::applicationFilePath().toStdString());
    thermo::TSettings settings = thermo::LoadSettings(settingsPath, sep);

    thermo::Stand stand;
    thermo::QtDialogs dialogs(thermo::TF_Glav::programTitle());
    thermo::StandDevices devices(settings.devices);
    thermo::ArchiveRecorder recorder;
    thermo::AlarmSound sound(thermo::resources::warningSound());

    thermo::CrashHeaterGuard crashGuard(devices);
    g_emergencyHeater = &devices;
    std::set_terminate(onFatalError);
    if (pipe(g_signalPipe) == 0) {
        // Interrupted, terminated, or its terminal closed: the program ends
        // as when its window is closed.
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            thermo::handleUnlessIgnored(sig, onTerminationSignal);
    }

    int status = 0;
    {
        thermo::ProgramWindows windows(
            {stand, dialogs, devices, recorder, settings, settingsPath, &sound});
        thermo::TF_Glav& F_Glav = windows.F_Glav;
        dialogs.setOwner(&F_Glav);
        if (!F_Glav.lptReady()) {
            // The message was shown during creation; the program cannot
            // drive the heater, so it ends here.
            F_Glav.FormDestroy();
            g_emergencyHeater = nullptr;
            return 1;
        }

        QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
            char c;
            (void)read(g_signalPipe[0], &c, 1);
            F_Glav.close(); // saves, writes heater 0, closes the port
            app.quit();
        });

        F_Glav.show();
        status = app.exec();
        F_Glav.FormDestroy();
    }
    g_emergencyHeater = nullptr;
    return status;
}
