#pragma once
// The windows of the "анализ" menus of the main window and the archive
// window, and their entries:
//   "оценка переходного процесса" - the run scorecard of the current run
//       (main window) or of the open archive (archive window);
//   "поверхность управления" - the fuzzy part's control surface of the live
//       parameters with the live input marked every tick (main window), or
//       of the configuration in force for the selected sample with the path
//       of its segment (archive window);
//   "опыт со ступенькой" (main window) - the step experiment, whose archive
//       then opens in the archive window with the step identified;
//   "идентификация объекта" (archive window) - the plant's model from a
//       step in the archive and the coefficients the tuning rules propose,
//       applied to the main window's fields as if typed there;
//   "сравнение прогонов" (both) - 2 to 6 archives side by side, the run
//       being recorded or the archive open offered in the dialog;
//   "отчёт…" (archive window) - the lab report of the open archive, and of
//       the runs compared from the comparison's "отчёт".
// A further analysis adds its window here and its entry with analysisMenu().

#include <QAction>
#include <cstddef>
#include <vector>

#include "analysis/scorecard.h"
#include "analysis/ui/compare_window.h"
#include "analysis/ui/identify_window.h"
#include "analysis/ui/report_request.h"
#include "analysis/ui/score_window.h"
#include "analysis/ui/step_window.h"
#include "analysis/ui/surface_window.h"
#include "app/main_window.h"
#include "archive_view/archive_window.h"
#include "storage/reader.h"

namespace thermo {

class AnalysisWindows {
public:
    AnalysisWindows(TF_Glav& main, TF_Arhiv& archiveWindow, ArchiveReader& archive, Stand& stand,
                    ArchiveRecorder& recorder, RunSession& session, UserDialogs& dialogs);

    void showRunScore();
    void showArchiveScore();
    void showLiveSurface();
    void showArchiveSurface();

    // After a tick: the live point, when the live surface is shown.
    void followTick(const TickReport& r);
    // The archive window's selection: the archive surface follows it.
    void followSample(std::size_t s);
    void followArchive();

    void showIdentify();
    // The three coefficient texts taken into Regulator 1's or 2's fields as
    // a person's entry is, and the add-on terms the rule counts on that are
    // switched off named.
    void applyCoefficients(int regulator, const QStringList& texts);
    // The step experiment's archive opened, its span selected, identified.
    void showStepResult(const QString& archive, std::size_t first, std::size_t last,
                        std::size_t baseline, int fromPct, int toPct);

    // The comparison of runs, offering `offered` in its dialog.
    void showCompare(const std::string& offered);
    // The lab report of the archive open in the archive window.
    void reportArchive();
    // Where the reports take the stand's ports and keep their title block.
    void setSettings(const TSettings& settings, const std::string& settingsFile);

    ScoreWindow runScore;     // the main window's run
    ScoreWindow archiveScore; // the archive window's archive
    SurfaceWindow liveSurface;
    SurfaceWindow archiveSurface;
    IdentifyWindow archiveIdentify;
    StepWindow stepExperiment;
    QAction *mainScoreAction, *mainSurfaceAction, *mainStepAction;
    QAction *archiveScoreAction, *archiveSurfaceAction, *archiveIdentifyAction;
    CompareWindow compare;
    ReportRequest report;
    QAction *mainCompareAction, *archiveCompareAction, *archiveReportAction;

private:
    TF_Glav& main_;
    TF_Arhiv& archiveWindow_;
    ArchiveReader& archive_;
    Stand& stand_;
    ArchiveRecorder& recorder_;
    UserDialogs& dialogs_;
    ArchiveReader run_; // the current run, as its archive will read
    std::vector<SegmentScore> archiveSegments_;
    bool archiveScored_ = false;
    std::string offered_; // the archive the comparison's dialog offers
};

} // namespace thermo
