#include "app/program_windows.h"

#include <QPrinter>
#include <initializer_list>

#include "ui_aux/show_window.h"
#include "widgets/rule_grid.h"
#include "widgets/trend_chart.h"

namespace thermo {

ProgramWindows::ProgramWindows(const MainWindowServices& services)
    : stand_(services.stand), recorder_(services.recorder), session_(services.session),
      dialogs_(services.dialogs), F_Glav(services), FF_term(stand_.params, dialogs_),
      F_Arhiv({archive, dialogs_}), AboutBox(&F_Glav) {
    // The program ends when the main window closes, whatever else is open.
    for (QWidget* w : std::initializer_list<QWidget*>{&FF_term, &F_Arhiv, &F_Skorost, &F_Shema,
                                                      &F_Zapis, &AboutBox})
        w->setAttribute(Qt::WA_QuitOnClose, false);
    analysis.setSettings(services.settings, services.settingsPath);
    QObject::connect(&F_Glav, &TF_Glav::termsRequested, [this] { FF_term.showForward(); });
    QObject::connect(&F_Glav, &TF_Glav::archiveRequested, [this] { showOrRaise(F_Arhiv); });
    QObject::connect(&F_Glav, &TF_Glav::intervalRequested, [this] { showOrRaise(F_Skorost); });
    QObject::connect(&F_Skorost, &TF_Skorost::intervalApplied, &F_Glav, &TF_Glav::setTimerInterval);
    QObject::connect(&F_Glav, &TF_Glav::schemeRequested, [this] { showOrRaise(F_Shema); });
    QObject::connect(&F_Arhiv, &TF_Arhiv::schemeRequested, [this] { showOrRaise(F_Shema); });
    QObject::connect(&F_Glav, &TF_Glav::aboutRequested, [this] { showOrRaise(AboutBox); });

    // The term window's surface shows the rules too, which the main window's
    // rule grid applies.
    QObject::connect(F_Glav.ruleGrid, &RuleGridWidget::ruleBaseApplied,
                     [this] { FF_term.refreshSurface(); });

    F_Arhiv.setSpreadsheetExport(spreadsheet.excel(), exportProgress);
    QObject::connect(&F_Glav, &TF_Glav::printRequested, [this] { printTrend(); });
    QObject::connect(&F_Glav, &TF_Glav::metafileRequested, [this] { saveTrendMetafile(); });
    QObject::connect(&F_Glav, &TF_Glav::spreadsheetRequested, [this] { exportRun(); });
}

void ProgramWindows::printTrend() {
    QPrinter printer; // the current printer
    printChartLandscape(*F_Glav.Chart3, printer, dialogs_);
}

void ProgramWindows::saveTrendMetafile() {
    saveChartToMetafile(*F_Glav.Chart3, metafileDialog, dialogs_);
}

void ProgramWindows::exportRun() {
    const auto rows = exportRows(recorder_.RunSamples());
    ExportToExcel(rows, stand_.state.Takt, spreadsheet.excel(), exportProgress, dialogs_);
}

} // namespace thermo
