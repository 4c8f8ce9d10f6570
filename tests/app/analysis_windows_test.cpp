// The "анализ" menus as a student uses them: the scorecard of an opened
// archive, its marks on the archive's chart, its CSV; the surface of the
// selected sample's configuration with the segment's path; the live point of
// the main window; the term window's surface following an applied rule.
#include <gtest/gtest.h>

#include <QTableWidget>
#include <filesystem>

#include "app/program_windows.h"
#include "archive_view/cursor_chart.h"
#include "common/scripted_dialogs.h"
#include "control/ui/locale_sep.h"
#include "control/ui/rule_grid.h"
#include "control/ui/surface_chart.h"
#include "sim/pty_sensor.h"
#include "tests/storage/temp_dir.h"

using namespace thermo;
namespace fs = std::filesystem;

namespace {

struct AnalysisTest : ::testing::Test {
    thermo::testing::TempDir dir;
    sim::PtySensorThread sensor{[] { return 25.0; }};
    Stand stand;
    ScriptedDialogs dialogs;
    std::unique_ptr<StandDevices> devices;
    ArchiveRecorder recorder;
    std::unique_ptr<ProgramWindows> w;

    void SetUp() override {
        TSettings settings;
        settings.devices.com[0] = sensor.path();
        settings.devices.lpt = "sim:" + dir.file("lpt");
        devices = std::make_unique<StandDevices>(settings.devices);
        w = std::make_unique<ProgramWindows>(
            MainWindowServices{stand, dialogs, *devices, recorder, settings, dir.file("t.INI")});
    }
    void TearDown() override { w.reset(); }

    // Setpoint 30 from position 1 with 20 25 29 30 30.25, setpoint 25 from
    // position 6 with 30 26 25: two segments, 1-5 and 6-8.
    std::string writeArchive() {
        const std::string path = dir.file("run.txt");
        TConfigRecord c;
        c.Takt = 1;
        c.Zadan = 30;
        c.Fuzzy_on = true;
        const double temps[] = {20, 25, 29, 30, 30.25, 30, 26, 25};
        for (int p = 1; p <= 8; ++p) {
            if (p == 1 || p == 6) {
                c.Takt = static_cast<std::uint16_t>(p);
                c.Zadan = p == 1 ? 30 : 25;
                const ConfigBytes b = encodeConfig(c);
                appendRecord(path + "UST", b.data(), b.size());
            }
            const SampleBytes b = encodeSample({temps[p - 1], 0, 0, 0.5 + p / 86400.0});
            appendRecord(path, b.data(), b.size());
        }
        return path;
    }
};

TEST_F(AnalysisTest, ArchiveScorecardMarksTheChartAndSavesItsTable) {
    dialogs.fileAnswers.push_back(writeArchive());
    w->F_Arhiv.N2Click();
    w->analysis.archiveScoreAction->trigger();
    ScoreWindow& sw = w->analysis.archiveScore;
    ASSERT_TRUE(sw.isVisible());
    QTableWidget* t = sw.table();
    ASSERT_EQ(t->rowCount(), 2);
    // Segment 1: overshoot 100 x 0.25 / 10 = 2.5 %, shown "0.##" with the
    // locale's mark; segment 2 starts at position 6.
    const QString sep = QString(QChar(decimalSeparator()));
    EXPECT_EQ(t->item(0, 7)->text(), QStringLiteral("2") + sep + QStringLiteral("5"));
    EXPECT_EQ(t->item(1, 0)->text(), "6");
    EXPECT_EQ(t->item(0, 12)->text(), QStringLiteral("—")); // fewer than 20 samples

    // Row 1: the band and a mark at each of 10 %, 90 %, the peak and the
    // settling point (positions 2, 3, 5, 4), on the chart's own points.
    CursorChart& chart = *w->F_Arhiv.Chart3;
    const int graphs = chart.graphCount();
    t->setCurrentCell(0, 0);
    ASSERT_NE(sw.marks(), nullptr);
    EXPECT_EQ(chart.graphCount(), graphs + 1);
    EXPECT_EQ(sw.items().size(), 5u); // the band and four labels
    auto* band = dynamic_cast<QCPItemRect*>(sw.items()[0]);
    ASSERT_NE(band, nullptr);
    EXPECT_DOUBLE_EQ(band->topLeft->coords().y(), 30.5);
    EXPECT_DOUBLE_EQ(band->bottomRight->coords().x(), 5);
    ASSERT_EQ(sw.marks()->dataCount(), 4);
    EXPECT_DOUBLE_EQ(sw.marks()->data()->at(3)->key, 5); // in key order: the peak
    EXPECT_DOUBLE_EQ(sw.marks()->data()->at(3)->value, 30.25);
    sw.hide(); // the marks go with the window
    EXPECT_EQ(chart.graphCount(), graphs);
    EXPECT_EQ(chart.itemCount(), 0);

    const std::string csv = dir.file("score.csv");
    dialogs.fileAnswers.push_back(csv);
    sw.saveCsv();
    EXPECT_EQ(thermo::testing::readFile(csv), scorecardCsv(sw.scores()));
    EXPECT_EQ(dialogs.requests.back().defaultExt, "csv");
}

TEST_F(AnalysisTest, ArchiveSurfaceFollowsTheSelectedSample) {
    dialogs.fileAnswers.push_back(writeArchive());
    w->F_Arhiv.N2Click();
    w->analysis.archiveSurfaceAction->trigger();
    SurfaceChart* chart = w->analysis.archiveSurface.chart();
    ASSERT_TRUE(w->analysis.archiveSurface.isVisible());
    EXPECT_EQ(chart->colorMap()->data()->keySize(), static_cast<int>(kWindowSurfaceGrid));

    w->F_Arhiv.SelectSample(7); // segment 6-8 at setpoint 25
    ASSERT_EQ(chart->path()->dataCount(), 3);
    // Position 7: e = 25 - 26 = -1, d = 30 - 26 = 4, clamped to 1.1.
    ASSERT_EQ(chart->marker()->dataCount(), 1);
    EXPECT_DOUBLE_EQ(chart->marker()->data()->at(0)->key, -1.0);
    EXPECT_DOUBLE_EQ(chart->marker()->data()->at(0)->value, 1.1);
    w->F_Arhiv.SelectSample(2);
    EXPECT_EQ(chart->path()->dataCount(), 5);
}

TEST_F(AnalysisTest, LiveSurfaceMarksTheTicksInputAndFollowsEditedTerms) {
    w->analysis.mainSurfaceAction->trigger();
    SurfaceChart* chart = w->analysis.liveSurface.chart();
    TickReport r;
    r.fuzzyEvaluated = true;
    r.fuzzy.otkl = 1.5;
    r.fuzzy.skor = -0.25;
    emit w->F_Glav.tickPresented(r);
    ASSERT_EQ(chart->marker()->dataCount(), 1);
    EXPECT_DOUBLE_EQ(chart->marker()->data()->at(0)->key, 1.5);

    stand.params.otkl_left = 50; // edited between ticks: the next tick redraws
    emit w->F_Glav.tickPresented(r);
    EXPECT_DOUBLE_EQ(chart->colorMap()->data()->keyRange().lower, -5.0);
    r.fuzzyEvaluated = false; // Regulator 1 off: no point
    emit w->F_Glav.tickPresented(r);
    EXPECT_EQ(chart->marker()->dataCount(), 0);
}

TEST_F(AnalysisTest, TermWindowSurfaceShowsAnAppliedRule) {
    w->FF_term.showForward();
    SurfaceChart* chart = w->FF_term.surfaceChart();
    // Cell (99, 99) lies just below (0, 0), where rules 1, 2, 4 and 5 fire.
    const std::size_t n = kWindowSurfaceGrid;
    const double e = surfaceGridPoint(stand.params.otkl_left, stand.params.otkl_right, 99, n);
    const double rate = surfaceGridPoint(stand.params.skor_left, stand.params.skor_right, 99, n);
    auto cell = [&] { return chart->colorMap()->data()->cell(99, 99); };
    const double before = cell();
    EXPECT_EQ(before, fuzzyPartCounts(stand.params, e, rate));
    w->F_Glav.ruleGrid->cell(5)->setText("6"); // rule 5 names vih_6 (120 %), not vih_4
    w->F_Glav.ruleGrid->applyCells();
    ASSERT_EQ(stand.params.m[4], 6);
    EXPECT_EQ(cell(), fuzzyPartCounts(stand.params, e, rate));
    EXPECT_GT(cell(), before);
}

} // namespace
