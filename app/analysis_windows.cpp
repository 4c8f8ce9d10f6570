#include "app/analysis_windows.h"

#include "app/ui/analysis_menu.h"
#include "app/ui/trend_chart.h"
#include "archive_view/cursor_chart.h"
#include "archive_view/run_path.h"
#include "control/ui/surface_chart.h"
#include "ui_aux/show_window.h"

namespace thermo {

namespace {

const QString kSurfaceTitle = QStringLiteral("поверхность управления");

} // namespace

AnalysisWindows::AnalysisWindows(TF_Glav& main, TF_Arhiv& archiveWindow, ArchiveReader& archive,
                                 Stand& stand, ArchiveRecorder& recorder, UserDialogs& dialogs)
    : runScore(*main.Chart3, kRunChartOffset, dialogs),
      archiveScore(*archiveWindow.Chart3, 0, dialogs), liveSurface(kSurfaceTitle),
      archiveSurface(kSurfaceTitle + QStringLiteral(" (архив)")), main_(main),
      archiveWindow_(archiveWindow), archive_(archive), stand_(stand), recorder_(recorder) {
    const QString score = QString::fromUtf8(kScoreWindowTitle);
    QMenu* m = analysisMenu(main);
    mainScoreAction = m->addAction(score, [this] { showRunScore(); });
    mainSurfaceAction = m->addAction(kSurfaceTitle, [this] { showLiveSurface(); });
    QMenu* a = analysisMenu(archiveWindow);
    archiveScoreAction = a->addAction(score, [this] { showArchiveScore(); });
    archiveSurfaceAction = a->addAction(kSurfaceTitle, [this] { showArchiveSurface(); });

    QObject::connect(&main, &TF_Glav::tickPresented,
                     [this](const TickReport& r) { followTick(r); });
    QObject::connect(&archiveWindow, &TF_Arhiv::sampleSelected,
                     [this](std::size_t s) { followSample(s); });
    QObject::connect(&archiveWindow, &TF_Arhiv::archiveOpened, [this] { followArchive(); });
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
