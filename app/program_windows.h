#pragma once
// The program's windows, created in their fixed order (main window, term
// window, archive window, interval, scheme, progress, about box) and wired
// together: each secondary window exists once and every menu that shows it
// shows that one. The program entry makes one of these; tests make one too.

#include "app/analysis_windows.h"
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

// The progress window as both windows' exports see it: while it is up, the
// control cycle's ticks wait, since it lets events through to get drawn.
class TickHoldingProgress : public ProgressDisplay {
public:
    TickHoldingProgress(ProgressDisplay& window, TickGate& ticks)
        : window_(window), ticks_(ticks) {}
    void begin() override {
        ticks_.hold();
        window_.begin();
    }
    void setProgress(int percent) override { window_.setProgress(percent); }
    void end() override {
        window_.end();
        ticks_.release();
    }

private:
    ProgressDisplay& window_;
    TickGate& ticks_;
};

class ProgramWindows {
public:
    explicit ProgramWindows(const MainWindowServices& services);

private:
    Stand& stand_;
    ArchiveRecorder& recorder_;
    RunSession& session_;
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
    TickHoldingProgress exportProgress{F_Zapis, F_Glav.ticks()};
    MetafileDialog metafileDialog;
    // The "анализ" menus of both windows and what they show.
    AnalysisWindows analysis{F_Glav, F_Arhiv, archive, stand_, recorder_, session_, dialogs_};

    // The main window's "файл" commands: the trend chart on paper or in a
    // metafile, the run's samples 1 .. Takt into a workbook.
    void printTrend();
    void saveTrendMetafile();
    void exportRun();
};

} // namespace thermo
