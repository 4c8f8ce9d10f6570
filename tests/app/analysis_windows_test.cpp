// The "анализ" menus as a student uses them: the scorecard of an opened
// archive, its marks on the archive's chart, its CSV; the surface of the
// selected sample's configuration with the segment's path; the live point of
// the main window; the term window's surface following an applied rule; a
// heater step identified in an archive and its tuning applied; the step
// experiment run in the main window's cycle; runs compared and the lab
// report written from the comparison and from the archive window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <thread>

#include "analysis/ui/compare_window.h"
#include "app/program_windows.h"
#include "common/numfmt.h"
#include "common/scripted_dialogs.h"
#include "sim/plant.h"
#include "tests/app/window_stand.h"
#include "widgets/compare_chart.h"
#include "widgets/cursor_chart.h"
#include "widgets/locale_sep.h"
#include "widgets/rule_grid.h"
#include "widgets/sample_table.h"
#include "widgets/surface_chart.h"

using namespace thermo;
namespace fs = std::filesystem;

namespace {

struct AnalysisTest : ::testing::Test, thermo::testing::WindowStand {
    std::unique_ptr<ProgramWindows> w = std::make_unique<ProgramWindows>(services());

    // Setpoint 30 from position 1 with 20 25 29 30 30.25, setpoint 25 from
    // position 6 with 30 26 25: two segments, 1-5 and 6-8. The record of 25
    // has the Takt of the tick that took position 6, 8, as the recorder
    // writes it.
    std::string writeArchive() {
        const std::string path = file("run.txt");
        TConfigRecord c;
        c.Takt = 1;
        c.Zadan = 30;
        c.Fuzzy_on = true;
        const double temps[] = {20, 25, 29, 30, 30.25, 30, 26, 25};
        for (int p = 1; p <= 8; ++p) {
            if (p == 1 || p == 6) {
                c.Takt = static_cast<std::uint16_t>(p == 1 ? 1 : p + 2);
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
    // Every column in view as the window opens, in the program's faces: at
    // 1000 pixels ISE and ITAE hid behind the scroll bar.
    QApplication::processEvents();
    int columns = 0;
    for (int c = 0; c < t->columnCount(); ++c)
        columns += t->columnWidth(c);
    EXPECT_LE(columns, t->viewport()->width());
    // The headings say how the integrals and the rise time are counted.
    EXPECT_TRUE(t->horizontalHeaderItem(13)->toolTip().startsWith("iae\n"));
    EXPECT_TRUE(t->horizontalHeaderItem(13)->toolTip().contains(QStringLiteral("правым концам")));
    EXPECT_TRUE(
        t->horizontalHeaderItem(6)->toolTip().contains(QStringLiteral("целое число интервалов")));

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

    // Saved for the spreadsheet of the locale (Russian Excel and LibreOffice
    // split fields at ';' and read the decimal comma), each figure as the
    // table shows it: a student's sheet got 98.85266015624998 and, under
    // ru_RU, columns it could not split.
    const std::string csv = file("score.csv");
    dialogs.fileAnswers.push_back(csv);
    sw.saveCsv();
    EXPECT_EQ(dialogs.requests.back().defaultExt, "csv");
    const char list = decimalSeparator() == ',' ? ';' : ',';
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(thermo::testing::readFile(csv));
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields(1);
        for (char c : line) {
            if (c == list)
                fields.emplace_back();
            else
                fields.back().push_back(c);
        }
        lines.push_back(fields);
    }
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].front(), "first");
    EXPECT_EQ(lines[0].back(), "itae");
    for (int r = 0; r < 2; ++r) {
        ASSERT_EQ(lines[r + 1].size(), 16u) << r;
        for (int c = 0; c < 16; ++c) {
            const QString shown = t->item(r, c)->text();
            EXPECT_EQ(lines[r + 1][c], shown == QStringLiteral("—") ? "" : shown.toStdString())
                << "row " << r << " column " << c;
        }
    }
}

TEST_F(AnalysisTest, ArchiveSurfaceFollowsTheSelectedSample) {
    dialogs.fileAnswers.push_back(writeArchive());
    w->F_Arhiv.N2Click();
    w->analysis.archiveSurfaceAction->trigger();
    SurfaceChart* chart = w->analysis.archiveSurface.chart();
    ASSERT_TRUE(w->analysis.archiveSurface.isVisible());
    EXPECT_EQ(chart->colorMap()->data()->keySize(), static_cast<int>(kWindowSurfaceGrid));

    // Segment 6-8 at setpoint 25. The surface replays a sample as the
    // archive window does, by its own rule, which has record 2 from
    // position 8 on: there the two agree.
    w->F_Arhiv.SelectSample(8);
    ASSERT_EQ(chart->path()->dataCount(), 3);
    // Position 8: e = 25 - 25 = 0, d = 26 - 25 = 1.
    ASSERT_EQ(chart->marker()->dataCount(), 1);
    EXPECT_DOUBLE_EQ(chart->marker()->data()->at(0)->key, 0.0);
    EXPECT_DOUBLE_EQ(chart->marker()->data()->at(0)->value, 1.0);
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

// A heater step of 0 -> 50 % at position 10 on the simulator's plant without
// the sensor's lag (0.9 °C per %, 175 s), one tick a second, the readings
// quantised as the DS18B20 gives them: a tick reads the plant before it
// switches the heater.
std::string writeStepArchive(const std::string& path) {
    TConfigRecord c;
    c.Takt = 1;
    c.Interval = 1000;
    const ConfigBytes cb = encodeConfig(c);
    appendRecord(path + "UST", cb.data(), cb.size());
    sim::PlantParams pp;
    pp.sensorTau = 0;
    sim::ThermalPlant plant(pp);
    for (int p = 1; p <= 700; ++p) {
        const double temper = std::round(plant.sensor() * 16) / 16;
        const SampleBytes b = encodeSample({temper, 0, 0, (10 * 3600.0 + p) / 86400.0});
        appendRecord(path, b.data(), b.size());
        if (p == 10)
            plant.setHeater(p, 117 / 234.0); // manual 50 %
        plant.advanceTo(p + 1);
    }
    return path;
}

TEST_F(AnalysisTest, IdentificationOfAnArchivedStepFindsThePlantAndAppliesItsTuning) {
    dialogs.fileAnswers.push_back(writeStepArchive(file("step.txt")));
    w->F_Arhiv.N2Click();
    w->analysis.archiveIdentifyAction->trigger();
    IdentifyWindow& iw = w->analysis.archiveIdentify;
    ASSERT_TRUE(iw.isVisible());
    // The step's tick picked on the chart, then the last sample.
    w->F_Arhiv.SelectSample(10);
    iw.takeFirst->click();
    w->F_Arhiv.SelectSample(700);
    iw.takeLast->click();
    iw.fromEdit->setText("0");
    iw.toEdit->setText("50");
    iw.identifyButton->click();
    ASSERT_TRUE(iw.result());
    const FopdtFit& fit = iw.result()->fit;
    ASSERT_EQ(fit.refusal, FitRefusal::None) << iw.noteLabel->text().toStdString();
    EXPECT_NEAR(fit.model.gain, 0.9, 0.02);
    EXPECT_NEAR(fit.model.tau, 175, 175 * 0.05);
    EXPECT_TRUE(iw.modelLabel->text().contains("K = " + iw.shown(fit.model.gain) + " ± "));
    // Positions 1 .. 700: the nine before the switch are the level.
    EXPECT_EQ(iw.chart->graph(0)->dataCount(), 700);
    // The response's top and start inside the plot, circles whole: rescaled
    // to the data, its top lay on the plot's edge, cut.
    iw.chart->replot();
    bool found = false;
    const QCPRange temps = iw.chart->graph(0)->data()->valueRange(found);
    ASSERT_TRUE(found);
    const QRect plot = iw.chart->axisRect()->rect();
    EXPECT_GE(iw.chart->yAxis->coordToPixel(temps.upper) - 3, plot.top());
    EXPECT_LE(iw.chart->yAxis->coordToPixel(temps.lower) + 3, plot.bottom());

    // SIMC-PID, the row chosen at first, typed into Regulator 2 as shown.
    ASSERT_EQ(iw.selectedRule(), TuningRule::SimcPid);
    const Tuning& simc = iw.result()->tunings[1];
    const QString c02 = iw.table->item(1, 3)->text();
    EXPECT_EQ(c02, iw.shown(simc.regulator2.C0));
    iw.apply2->click();
    EXPECT_EQ(w->F_Glav.Ed_Reg2_Prop->text(), c02);
    EXPECT_EQ(stand.params.C0_2, *parseNumber(c02.toStdString(), decimalSeparator()));
    EXPECT_NEAR(stand.params.C0_2, simc.regulator2.C0, 0.01 * simc.regulator2.C0);
    EXPECT_EQ(stand.params.C1_2,
              *parseNumber(iw.table->item(1, 4)->text().toStdString(), decimalSeparator()));
    EXPECT_FALSE(iw.appliedLabel->text().contains(QStringLiteral("не включены")));
    // Regulator 1's P and I add-ons start switched off: the user hears of it.
    iw.apply1->click();
    EXPECT_TRUE(iw.appliedLabel->text().contains(
        QStringLiteral("не включены: пропорциональное, интегральное")))
        << iw.appliedLabel->text().toStdString();
    EXPECT_TRUE(dialogs.messages.empty());

    // A start picked 20 s after the switch: refused, and the window says why.
    iw.firstBox->setValue(30);
    iw.identifyButton->click();
    ASSERT_TRUE(iw.result());
    EXPECT_EQ(iw.result()->fit.refusal, FitRefusal::ResponseBegun);
    EXPECT_EQ(iw.noteLabel->text().toStdString(),
              fitRefusalText(iw.result()->fit, decimalSeparator()));
    EXPECT_FALSE(iw.apply2->isEnabled());
}

TEST_F(AnalysisTest, StepExperimentDrivesTheHeaterAndOpensItsSpanIdentified) {
    w->F_Glav.FormShow();
    w->F_Glav.setTimerInterval(100);
    std::this_thread::sleep_for(std::chrono::milliseconds(820)); // the first conversion
    StepWindow& sw = w->analysis.stepExperiment;
    w->analysis.mainStepAction->trigger();
    sw.fromBox->setValue(20);
    sw.toBox->setValue(60);
    sw.holdBox->setValue(3);
    sw.ticksBox->setValue(6);
    const std::string archive = file("exp.txt");
    dialogs.fileAnswers.push_back(archive);
    sw.startButton->click();
    ASSERT_TRUE(sw.running());
    ASSERT_TRUE(w->F_Glav.Timer1->isActive());

    // Each tick's power is the session's to test; here the port gets it.
    int ticks = 0, most = 0;
    for (; ticks < 20 && sw.running(); ++ticks) {
        w->F_Glav.Timer1Timer();
        most = std::max(most, heater());
    }
    EXPECT_EQ(ticks, 10);
    EXPECT_EQ(most, 140);
    EXPECT_EQ(heater(), 0);
    EXPECT_FALSE(sw.running());
    EXPECT_FALSE(w->F_Glav.Timer1->isActive());
    EXPECT_FALSE(w->F_Glav.Check_shim->isChecked());

    QApplication::processEvents(); // the result opens after the last tick
    EXPECT_TRUE(w->F_Arhiv.isVisible());
    EXPECT_EQ(w->F_Arhiv.OpenedArchiveName(), archive);
    EXPECT_EQ(fs::file_size(archive), 9 * kSampleRecordSize); // the first tick records nothing
    // The switching tick (the run's fourth, position 3) to the last at 60 %,
    // with the two samples of the hold before it as the level.
    IdentifyWindow& iw = w->analysis.archiveIdentify;
    EXPECT_TRUE(iw.isVisible());
    EXPECT_EQ(iw.firstBox->value(), 3);
    EXPECT_EQ(iw.lastBox->value(), 8);
    EXPECT_EQ(iw.baselineBox->value(), 2);
    EXPECT_EQ(iw.fromEdit->text(), "20");
    EXPECT_EQ(w->F_Arhiv.StringGrid1->selectionModel()->selectedIndexes().size(), 6 * 3);
    // Identified at once: a constant reading allows no model, and the
    // window says why and offers nothing to apply.
    ASSERT_TRUE(iw.result());
    EXPECT_NE(iw.result()->fit.refusal, FitRefusal::None);
    EXPECT_EQ(iw.noteLabel->text().toStdString(),
              fitRefusalText(iw.result()->fit, decimalSeparator()));
    EXPECT_FALSE(iw.apply2->isEnabled());
}

// "стоп" keeps the heater as the last tick set it; the experiment chose that
// power, so the window says the heater is still on.
TEST_F(AnalysisTest, StepExperimentStoppedByStopSaysTheHeaterIsStillOn) {
    w->F_Glav.FormShow();
    w->F_Glav.setTimerInterval(100);
    std::this_thread::sleep_for(std::chrono::milliseconds(820)); // the first conversion
    StepWindow& sw = w->analysis.stepExperiment;
    w->analysis.mainStepAction->trigger();
    sw.fromBox->setValue(0);
    sw.toBox->setValue(60);
    sw.holdBox->setValue(3);
    sw.ticksBox->setValue(6);
    dialogs.fileAnswers.push_back(file("exp.txt"));
    sw.startButton->click();
    ASSERT_TRUE(sw.running());
    for (int i = 0; i < 5; ++i)
        w->F_Glav.Timer1Timer();
    w->F_Glav.Button11Click(); // "стоп"
    EXPECT_FALSE(sw.running());
    EXPECT_TRUE(sw.status->text().contains(QStringLiteral("нагреватель остался включённым (60 %)")))
        << sw.status->text().toStdString();
}

} // namespace

TEST_F(AnalysisTest, RunsComparedFromTheArchiveWindowAndTheirReportKeepsItsTitleBlock) {
    const std::string a = writeArchive();
    const std::string b = file("run2.txt");
    fs::copy_file(a, b);
    fs::copy_file(a + "UST", b + "UST");
    dialogs.fileAnswers.push_back(a);
    w->F_Arhiv.N2Click();
    dialogs.filesAnswers.push_back(std::vector<std::string>{a, b});
    w->analysis.archiveCompareAction->trigger();
    EXPECT_EQ(dialogs.requests.back().initialName, a) << "the open archive offered";
    CompareWindow& cw = w->analysis.compare;
    ASSERT_TRUE(cw.isVisible());
    ASSERT_EQ(cw.table->rowCount(), 2);
    EXPECT_EQ(cw.table->item(1, 0)->text().toStdString(), "run2 — fuzzy + Д");
    EXPECT_EQ(cw.chart->runCount(), 2u);

    dialogs.textAnswers.push_back(std::vector<std::string>{"ЛР 3", "Иванов И. И.", "ТС-31"});
    dialogs.fileAnswers.push_back(file("both.pdf"));
    cw.reportButton->click();
    EXPECT_EQ(thermo::testing::readFile(file("both.pdf")).substr(0, 5), "%PDF-");
    EXPECT_NE(thermo::testing::readFile(settingsPath).find("Иванов И. И."), std::string::npos)
        << "the student kept in [report]";

    // The archive window's "отчёт…" asks again, filled with what was kept.
    dialogs.textAnswers.push_back(std::vector<std::string>{"ЛР 3", "Иванов И. И.", "ТС-31"});
    dialogs.fileAnswers.push_back(file("one.pdf"));
    w->analysis.archiveReportAction->trigger();
    ASSERT_FALSE(dialogs.textRequests.empty());
    EXPECT_EQ(dialogs.textRequests.back().fields.at(1).value, "Иванов И. И.");
    EXPECT_EQ(thermo::testing::readFile(file("one.pdf")).substr(0, 5), "%PDF-");
    EXPECT_TRUE(std::none_of(dialogs.messages.begin(), dialogs.messages.end(),
                             [](const auto& m) { return m.kind == MessageKind::Error; }));
}
