#pragma once
// The program's windows, created in their fixed order (main window, term
// window, archive window, interval, scheme, progress, about box) and wired
// together: each secondary window exists once and every menu that shows it
// shows that one. The program entry makes one of these; tests make one too.

#include "app/main_window.h"
#include "archive_view/archive_window.h"
#include "control/ui/term_window.h"
#include "export/chart_export.h"
#include "export/excel_export.h"
#include "storage/reader.h"
#include "ui_aux/about.h"
#include "ui_aux/procces.h"
#include "ui_aux/shema.h"
#include "ui_aux/skorost.h"

namespace thermo {

class ProgramWindows {
public:
    explicit ProgramWindows(const MainWindowServices& services);

private:
    Stand& stand_;
    ArchiveRecorder& recorder_;
    UserDialogs& dialogs_;

public:
    TF_Glav F_Glav;
    TFF_term FF_term;
    ArchiveReader archive; // the archive window's archive in memory
    TF_Arhiv F_Arhiv;
    TF_Skorost F_Skorost;
    TF_Shema F_Shema;
    TF_Zapis F_Zapis;
    TAboutBox AboutBox;
    // Exports: one automation server for both windows, the main window's
    // metafile dialog (which remembers its last name).
    SpreadsheetAutomation spreadsheet;
    MetafileDialog metafileDialog;

    // The main window's "файл" commands: the trend chart on paper or in a
    // metafile, the run's samples 1 .. Takt into a workbook.
    void printTrend();
    void saveTrendMetafile();
    void exportRun();
};

} // namespace thermo
