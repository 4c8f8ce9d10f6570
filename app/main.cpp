// thermostand: the program of the stand. Creates the windows in their fixed
// order (main window, term window, archive window, interval, scheme,
// progress, about), runs the event loop and ends when the main window closes.

#include <QApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <csignal>
#include <iostream>
#include <unistd.h>

#include "app/program_usage.h"
#include "app/program_windows.h"
#include "io/alarm_sound.h"
#include "resources/embedded.h"
#include "run/crash_guard.h"
#include "run/devices.h"
#include "run/session.h"
#include "run/stand.h"
#include "storage/recorder.h"
#include "storage/settings.h"
#include "storage/settings_place.h"
#include "ui_aux/program_icon.h"
#include "ui_aux/program_setup.h"
#include "widgets/locale_sep.h"
#include "widgets/qt_dialogs.h"

namespace {

// A signal handler can only reach a static: the termination signals reach the
// event loop through this pipe.
int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int sig) {
    const char c = static_cast<char>(sig);
    if (write(g_signalPipe[1], &c, 1) < 0) {
        // Nothing more can be done safely inside a signal handler.
    }
}

} // namespace

int main(int argc, char** argv) {
    const thermo::SettingsPlace place = thermo::programSettingsPlace(thermo::currentPlaceInputs());
    if (thermo::helpRequested(argc, argv)) {
        std::cout << thermo::programUsage(place);
        return 0;
    }
    // Installed, the program starts in ~/thermostand, whatever folder the
    // menu started it in, so "новый" opens on the user's own Data.
    if (const std::string failed = thermo::prepareSettingsPlace(place); !failed.empty())
        std::cerr << "thermostand: " << failed << '\n';

    QApplication app(argc, argv);
    thermo::prepareWindowProgram(app);
    QApplication::setStyle(QStringLiteral("Fusion")); // the same look on every desktop
    app.setApplicationName(QStringLiteral("thermostand"));
    app.setWindowIcon(thermo::programIcon());

    const char sep = thermo::decimalSeparator();
    const std::string& settingsPath = place.file;
    thermo::TSettings settings =
        thermo::loadSettingsWithMachineDevices(place.file, place.machineFile, sep);

    thermo::Stand stand;
    thermo::QtDialogs dialogs(thermo::TF_Glav::programTitle());
    // The heater guard starts with the devices, before anything writes the
    // heater: it takes the heater off should the program die or hang.
    thermo::StandDevices devices(settings.devices, thermo::guardBesideProgram());
    thermo::ArchiveRecorder recorder;
    thermo::AlarmSound sound(thermo::resources::warningSound());
    thermo::RunSession session(stand, devices, recorder, &sound);

    // A crash or a fatal error (an uncaught exception ends in abort) switches
    // the heater off first.
    thermo::CrashHeaterGuard crashGuard(devices);
    if (pipe(g_signalPipe) == 0) {
        // Interrupted, terminated, or its terminal closed: the program ends
        // as when its window is closed.
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            thermo::handleUnlessIgnored(sig, onTerminationSignal);
    }

    int status = 0;
    {
        thermo::ProgramWindows windows(
            {stand, dialogs, devices, recorder, session, settings, settingsPath});
        thermo::TF_Glav& F_Glav = windows.F_Glav;
        dialogs.setOwner(&F_Glav);
        if (!F_Glav.heaterReady()) {
            // The message was shown during creation; the program cannot
            // drive the heater, so it ends here.
            F_Glav.FormDestroy();
            return 1;
        }

        QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
            // The byte only wakes the loop; which signal it was does not matter.
            char c;
            if (read(g_signalPipe[0], &c, 1) < 0)
                c = 0;
            F_Glav.close(); // saves, writes heater 0, closes the port
            app.quit();
        });

        F_Glav.show();
        status = app.exec();
        F_Glav.FormDestroy();
    }
    return status;
}
