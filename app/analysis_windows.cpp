#include "app/analysis_windows.h"

#include "analysis/run_path.h"
#include "analysis/ui/analysis_menu.h"
#include "ui_aux/show_window.h"
#include "widgets/cursor_chart.h"
#include "widgets/surface_chart.h"
#include "widgets/trend_chart.h"

#include <filesystem>

namespace thermo {

namespace {

namespace fs = std::filesystem;

const QString kSurfaceTitle = QStringLiteral("поверхность управления");

} // namespace

AnalysisWindows::AnalysisWindows(TF_Glav& main, TF_Arhiv& archiveWindow, ArchiveReader& archive,
                                 Stand& stand, ArchiveRecorder& recorder, RunSession& session,
                                 UserDialogs& dialogs)
    : runScore(*main.Chart3, kRunChartOffset, dialogs),
      archiveScore(*archiveWindow.Chart3, 0, dialogs), liveSurface(kSurfaceTitle),
      archiveSurface(kSurfaceTitle + QStringLiteral(" (архив)")), archiveIdentify(archive, dialogs),
      stepExperiment(main, session, recorder, dialogs), compare(dialogs), report(dialogs),
      main_(main), archiveWindow_(archiveWindow), archive_(archive), stand_(stand),
      recorder_(recorder), dialogs_(dialogs) {
    const QString score = QString::fromUtf8(kScoreWindowTitle);
    QMenu* m = analysisMenu(main);
    mainScoreAction = m->addAction(score, [this] { showRunScore(); });
    mainSurfaceAction = m->addAction(kSurfaceTitle, [this] { showLiveSurface(); });
    mainStepAction =
        m->addAction(QString::fromUtf8(kStepWindowTitle), [this] { showOrRaise(stepExperiment); });
    QMenu* a = analysisMenu(archiveWindow);
    archiveScoreAction = a->addAction(score, [this] { showArchiveScore(); });
    archiveSurfaceAction = a->addAction(kSurfaceTitle, [this] { showArchiveSurface(); });
    archiveIdentifyAction =
        a->addAction(QString::fromUtf8(kIdentifyWindowTitle), [this] { showIdentify(); });
    const QString compareTitle = QString::fromUtf8(kCompareWindowTitle);
    mainCompareAction =
        m->addAction(compareTitle, [this] { showCompare(recorder_.ArchiveName()); });
    archiveCompareAction =
        a->addAction(compareTitle, [this] { showCompare(archiveWindow_.OpenedArchiveName()); });
    archiveReportAction = a->addAction(QStringLiteral("отчёт…"), [this] { reportArchive(); });
    QObject::connect(&compare, &CompareWindow::chooseRequested, [this] { showCompare(offered_); });
    QObject::connect(&compare, &CompareWindow::reportRequested, [this] {
        (void)report.make(compare.inputs(), compare.align(), compare.stepNumber());
    });

    QObject::connect(&main, &TF_Glav::tickPresented, [this](const TickReport& r) {
        followTick(r);
        stepExperiment.followRun();
    });
    QObject::connect(&main, &TF_Glav::runStopped, [this] { stepExperiment.followRun(); });
    QObject::connect(&archiveWindow, &TF_Arhiv::sampleSelected,
                     [this](std::size_t s) { followSample(s); });
    QObject::connect(&archiveWindow, &TF_Arhiv::archiveOpened, [this] { followArchive(); });
    QObject::connect(&archiveWindow, &TF_Arhiv::sampleSelected,
                     [this](std::size_t s) { archiveIdentify.setSelectedSample(s); });
    QObject::connect(
        &archiveWindow, &TF_Arhiv::spanSelected,
        [this](std::size_t first, std::size_t last) { archiveIdentify.setSpan(first, last); });
    QObject::connect(
        &archiveIdentify, &IdentifyWindow::applyRequested,
        [this](int regulator, const QStringList& texts) { applyCoefficients(regulator, texts); });
    QObject::connect(&stepExperiment, &StepWindow::finished,
                     [this](const QString& file, std::size_t first, std::size_t last,
                            std::size_t baseline, int from,
                            int to) { showStepResult(file, first, last, baseline, from, to); });
}

void AnalysisWindows::setSettings(const TSettings& settings, const std::string& settingsFile) {
    report.setSettings(settings, settingsFile);
}

void AnalysisWindows::showCompare(const std::string& offered) {
    offered_ = offered;
    showOrRaise(compare);
    FileDialogRequest req;
    req.title = kCompareWindowTitle;
    req.filter = kArchiveFilter;
    req.initialDir = offered.empty() ? kArchiveFolder : fs::path(offered).parent_path().string();
    req.initialName = offered;
    (void)compare.chooseRuns(req); // cancelled or refused: the window keeps what it shows
}

void AnalysisWindows::reportArchive() {
    const std::string& path = archiveWindow_.OpenedArchiveName();
    if (path.empty()) {
        dialogs_.message(MessageKind::Information, "", "Сначала откройте архив.");
        return;
    }
    (void)report.make({{path, &archive_}}, CompareAlign::Step, 1);
}

void AnalysisWindows::showIdentify() {
    archiveIdentify.setSelectedSample(archiveWindow_.SelectedSample());
    showOrRaise(archiveIdentify);
}

void AnalysisWindows::applyCoefficients(int regulator, const QStringList& texts) {
    main_.applyCoefficients(regulator, texts);
    // The add-on switches are the user's to set; say which the rule misses.
    const QString names[3] = {QStringLiteral("пропорциональное"), QStringLiteral("интегральное"),
                              QStringLiteral("дифференциальное")};
    QStringList off;
    for (int k : termsSwitchedOff(stand_.params, regulator))
        off << names[k];
    archiveIdentify.noteSwitchedOff(off);
}

void AnalysisWindows::showStepResult(const QString& archive, std::size_t first, std::size_t last,
                                     std::size_t baseline, int fromPct, int toPct) {
    archiveWindow_.OpenArchive(archive.toStdString());
    showOrRaise(archiveWindow_);
    archiveWindow_.SelectSpan(first, last);
    archiveIdentify.setSpan(first, last);
    archiveIdentify.setBaseline(baseline);
    archiveIdentify.setStep(fromPct, toPct);
    showOrRaise(archiveIdentify);
    (void)archiveIdentify.identify(); // a refusal is shown in the window
}

void AnalysisWindows::showRunScore() {
    runAsArchive(recorder_.RunSamples(), stand_.state.Takt, recorder_.RunConfigs(), run_);
    runScore.showScores(scoreArchive(run_));
    showOrRaise(runScore);
}

void AnalysisWindows::showArchiveScore() {
    followArchive();
    archiveScore.showScores(archiveSegments_);
    showOrRaise(archiveScore);
}

void AnalysisWindows::followArchive() {
    archiveSegments_ = scoreArchive(archive_);
    archiveScored_ = true;
    if (archiveScore.isVisible())
        archiveScore.showScores(archiveSegments_);
    if (archiveSurface.isVisible())
        followSample(archiveWindow_.SelectedSample());
}

void AnalysisWindows::showLiveSurface() {
    liveSurface.showParams(stand_.params);
    liveSurface.chart()->setMarker(std::nullopt);
    liveSurface.setCaption(QStringLiteral("параметры, действующие сейчас; точка — входы "
                                          "нечёткой части на последнем такте"));
    showOrRaise(liveSurface);
}

void AnalysisWindows::followTick(const TickReport& r) {
    if (!liveSurface.isVisible())
        return;
    // The parameters may have been edited since: a comparison, and a new
    // surface only when they were.
    liveSurface.showParams(stand_.params);
    if (r.fuzzyEvaluated)
        liveSurface.chart()->setMarker(QPointF(r.fuzzy.otkl, r.fuzzy.skor));
    else
        liveSurface.chart()->setMarker(std::nullopt);
}

void AnalysisWindows::showArchiveSurface() {
    showOrRaise(archiveSurface);
    followSample(archiveWindow_.SelectedSample());
}

void AnalysisWindows::followSample(std::size_t s) {
    if (!archiveSurface.isVisible())
        return;
    if (!archiveScored_)
        followArchive();
    SurfaceChart* chart = archiveSurface.chart();
    if (s == 0)
        s = 1; // nothing selected yet: the run's beginning
    const auto k = archive_.configForPosition(s);
    if (!k || s > archive_.SampleCount) {
        chart->setPath({}, {});
        chart->setMarker(std::nullopt);
        archiveSurface.setCaption(QStringLiteral("нет отсчёта с конфигурацией"));
        return;
    }
    archiveSurface.showParams(archive_.Configs[*k].params);
    std::size_t first = s, last = s;
    for (const SegmentScore& seg : archiveSegments_) {
        if (seg.first <= s && s <= seg.last) {
            first = seg.first;
            last = seg.last;
        }
    }
    const std::vector<PathPoint> path = replayPath(archive_, first, last);
    std::vector<double> otkl, skor;
    otkl.reserve(path.size());
    skor.reserve(path.size());
    std::optional<QPointF> here;
    for (const PathPoint& p : path) {
        otkl.push_back(p.otkl);
        skor.push_back(p.skor);
        if (p.position == s)
            here = QPointF(p.otkl, p.skor);
    }
    chart->setPath(otkl, skor);
    chart->setMarker(here);
    archiveSurface.setCaption(QStringLiteral("конфигурация %1 для отсчёта %2; путь — отсчёты "
                                             "%3-%4 (участок с тем же заданием)")
                                  .arg(*k)
                                  .arg(s)
                                  .arg(first)
                                  .arg(last));
}

} // namespace thermo
