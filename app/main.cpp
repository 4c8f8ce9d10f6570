// thermostand: the program of the stand. Creates the windows in their fixed
// order (main window, term window, archive window, interval, scheme,
// progress, about), runs the event loop and ends when the main window closes.

#include <QApplication>
#include <QFileInfo>
#include <QPrinter>
#include <QSocketNotifier>
#include <csignal>
#include <exception>
#include <iostream>
#include <unistd.h>

#include "app/devices.h"
#include "app/main_window.h"
#include "app/stand.h"
#include "app/ui/qt_dialogs.h"
#include "app/ui/trend_chart.h"
#include "archive_view/archive_window.h"
#include "control/ui/locale_sep.h"
#include "control/ui/term_window.h"
#include "export/chart_export.h"
#include "export/excel_export.h"
#include "resources/embedded.h"
#include "storage/recorder.h"
#include "storage/settings.h"
#include "ui_aux/about.h"
#include "ui_aux/alarm_sound.h"
#include "ui_aux/procces.h"
#include "ui_aux/program_icon.h"
#include "ui_aux/shema.h"
#include "ui_aux/show_window.h"
#include "ui_aux/skorost.h"

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

    g_emergencyHeater = &devices;
    std::set_terminate(onFatalError);
    if (pipe(g_signalPipe) == 0) {
        std::signal(SIGINT, onTerminationSignal);
        std::signal(SIGTERM, onTerminationSignal);
    }

    int status = 0;
    {
        thermo::TF_Glav F_Glav({stand, dialogs, devices, recorder, settings, settingsPath, &sound});
        dialogs.setOwner(&F_Glav);
        if (!F_Glav.lptReady()) {
            // The message was shown during creation; the program cannot
            // drive the heater, so it ends here.
            F_Glav.FormDestroy();
            g_emergencyHeater = nullptr;
            return 1;
        }
        thermo::TFF_term FF_term(stand.params, dialogs);
        thermo::ArchiveReader archive;
        thermo::TF_Arhiv F_Arhiv({archive, dialogs});
        thermo::TF_Skorost F_Skorost;
        thermo::TF_Shema F_Shema;
        thermo::TF_Zapis F_Zapis;
        thermo::TAboutBox AboutBox(&F_Glav);

        QObject::connect(&F_Glav, &thermo::TF_Glav::termsRequested, [&] { FF_term.showForward(); });
        QObject::connect(&F_Glav, &thermo::TF_Glav::intervalRequested,
                         [&] { thermo::showOrRaise(F_Skorost); });
        QObject::connect(&F_Skorost, &thermo::TF_Skorost::intervalApplied, &F_Glav,
                         &thermo::TF_Glav::setTimerInterval);
        QObject::connect(&F_Glav, &thermo::TF_Glav::schemeRequested,
                         [&] { thermo::showOrRaise(F_Shema); });
        QObject::connect(&F_Glav, &thermo::TF_Glav::archiveRequested,
                         [&] { thermo::showOrRaise(F_Arhiv); });
        QObject::connect(&F_Arhiv, &thermo::TF_Arhiv::schemeRequested,
                         [&] { thermo::showOrRaise(F_Shema); });
        QObject::connect(&F_Glav, &thermo::TF_Glav::aboutRequested,
                         [&] { thermo::showOrRaise(AboutBox); });

        // Exports of the current run: the trend chart printed or saved as a
        // metafile, the samples 1 .. Takt into a workbook.
        thermo::SpreadsheetAutomation spreadsheet;
        thermo::MetafileDialog metafileDialog;
        F_Arhiv.setSpreadsheetExport(spreadsheet.excel(), F_Zapis);
        QObject::connect(&F_Glav, &thermo::TF_Glav::printRequested, [&] {
            QPrinter printer;
            thermo::printChartLandscape(*F_Glav.Chart3, printer, dialogs);
        });
        QObject::connect(&F_Glav, &thermo::TF_Glav::metafileRequested, [&] {
            thermo::saveChartToMetafile(*F_Glav.Chart3, metafileDialog, dialogs);
        });
        QObject::connect(&F_Glav, &thermo::TF_Glav::spreadsheetRequested, [&] {
            const auto rows = thermo::exportRows(recorder.RunSamples());
            thermo::ExportToExcel(rows, stand.state.Takt, spreadsheet.excel(), F_Zapis, dialogs);
        });

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
