// The archive window offscreen under a Russian locale: archives written with
// the record encoders, opened through the scripted dialogs, then selected in
// the table and on the chart as a student would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "archive_view/archive_table.h"
#include "archive_view/archive_window.h"
#include "archive_view/sample_pick.h"
#include "common/scripted_dialogs.h"
#include "export/excel_export.h"
#include "storage/recorder.h"
#include "tests/captions_fit.h"
#include "tests/temp_dir.h"
#include "tests/workbook_reader.h"
#include "widgets/cursor_chart.h"
#include "widgets/indicators.h"
#include "widgets/locale_sep.h"
#include "widgets/rule_grid.h"
#include "widgets/sample_table.h"

using namespace thermo;
namespace fs = std::filesystem;

namespace {

// 9:00:00 plus s seconds.
double clock(int s) {
    return (9 * 3600.0 + s) / 86400.0;
}

struct Archive {
    std::vector<TArchiveRecord> samples;
    std::vector<TConfigRecord> configs;
};

// Sample p (1-based) is 20 + p / 4 degrees at 9:00:p.
Archive rising(int n, double zadan = 30) {
    Archive a;
    for (int p = 1; p <= n; ++p)
        a.samples.push_back({20 + p / 4.0, 0, 0, clock(p)});
    TConfigRecord c;
    c.Takt = 1;
    c.Zadan = zadan;
    c.Fuzzy_on = true;
    c.PID_on = true;
    c.Interval = 1000;
    a.configs.push_back(c);
    return a;
}

void write(const std::string& path, const Archive& a) {
    fs::remove(path);
    fs::remove(path + "UST");
    for (const auto& s : a.samples) {
        const SampleBytes b = encodeSample(s);
        appendRecord(path, b.data(), b.size());
    }
    for (const auto& c : a.configs) {
        const ConfigBytes b = encodeConfig(c);
        appendRecord(path + "UST", b.data(), b.size());
    }
}

std::string head(const std::string& file, std::size_t n) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes(n, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(n));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

class SilentProgress : public ProgressDisplay {
public:
    void begin() override { ++begun; }
    void setProgress(int) override {}
    void end() override { ++ended; }
    int begun = 0, ended = 0;
};

// The window shows numbers as in the lab, whatever locale the run has; set
// before the first window takes its separator.
struct RussianNumbers : ::testing::Environment {
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
};
const auto* const kRussianNumbers = ::testing::AddGlobalTestEnvironment(new RussianNumbers);

class ArchiveWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = (dir / "run.txt").string();
        w.show();
    }

    void open(const Archive& a) {
        write(path, a);
        dialogs.fileAnswers.push_back(path);
        w.N2Click();
        settle();
    }
    // The chart laid out and painted, as after the event loop's next pass.
    void settle() {
        QApplication::processEvents();
        w.Chart3->replot();
    }
    void selectRow(int gridRow, int column = 1) {
        w.StringGrid1->setCurrentIndex(w.tableModel().index(gridRow - 1, column));
    }
    int pixelOf(double x) const {
        return static_cast<int>(std::lround(w.Chart3->xAxis->coordToPixel(x)));
    }
    QPoint inPlot(double x) const { return {pixelOf(x), w.Chart3->plotArea().center().y()}; }

    thermo::testing::TempDir temp{"thermo-arhiv"};
    const fs::path dir = temp.path();
    std::string path;
    ArchiveReader archive;
    ScriptedDialogs dialogs;
    TF_Arhiv w{{archive, dialogs}};
};

TEST(ClickedSample, RoundsHalvesToEvenAndKeepsInsideTheArchive) {
    struct Case {
        double x;
        std::size_t count;
        std::size_t want;
    };
    const Case cases[] = {
        {4.5, 10, 4},   {5.5, 10, 6},  {4.49, 10, 4}, {10.0, 10, 10}, {10.5, 10, 10},
        {10.51, 10, 9}, {11.5, 10, 9}, {0.5, 10, 1},  {0.51, 10, 1},  {-3, 10, 1},
        {7, 1, 1},      {1.4, 1, 1},   {2.6, 2, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(clickedSample(c.x, c.count), c.want) << "x " << c.x << " count " << c.count;
    EXPECT_FALSE(clickedSample(3, 0));
    EXPECT_FALSE(clickedSample(std::nan(""), 10));
}

TEST_F(ArchiveWindowTest, IsCreatedHiddenWithItsCaptionAndMenus) {
    TF_Arhiv fresh{{archive, dialogs}};
    EXPECT_FALSE(fresh.isVisible());
    EXPECT_EQ(fresh.objectName(), "F_Arhiv");
    EXPECT_EQ(fresh.windowTitle(), "Архив");
    EXPECT_EQ(fresh.Chart3->cursorX(), -1);
    EXPECT_EQ(fresh.N2->text(), "открыть");
    EXPECT_EQ(fresh.WMF1->text(), "сохранить в *.WMF");
    EXPECT_EQ(fresh.mdi1->text(), "сохранить в *.mdi");
    EXPECT_EQ(fresh.Exel1->text(), "Exel");
    for (int n = 10; n <= 18; ++n)
        EXPECT_NE(fresh.findChild<QLineEdit*>(QStringLiteral("MaskEdit%1").arg(n)), nullptr) << n;
    EXPECT_EQ(fresh.Chart3->temperatureSeries()->name(), "температура");
    EXPECT_EQ(fresh.Chart3->setpointSeries()->pen().color(), QColor(Qt::yellow));
    thermo::testing::expectCaptionsFit(w);
}

// Once cut: the time column from 10:00 on ("13:30:…"), the header "шибк.",
// the rate memberships (",19").
TEST_F(ArchiveWindowTest, TimesTheErrorHeaderAndMembershipsShowWhole) {
    thermo::testing::expectIndicatorsHold(
        w, thermo::testing::standIndicatorWidest(decimalSeparator()));
    thermo::testing::expectSampleTableHolds(*w.StringGrid1, {"23:59:59", "-100,00", "-100,00"});
}

TEST_F(ArchiveWindowTest, TenSamplesGiveNinePointsAndAnEmptyFirstRow) {
    open(rising(10));
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].filter, "файлы .txt|*.txt");
    EXPECT_EQ(dialogs.requests[0].initialDir, "Data");
    EXPECT_EQ(dialogs.requests[0].initialName, "");
    EXPECT_EQ(w.OpenedArchiveName(), path);

    const auto* t = w.Chart3->temperatureSeries()->data().data();
    ASSERT_EQ(t->size(), 9);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(t->at(i)->key, i + 2);
        EXPECT_EQ(t->at(i)->value, 20 + (i + 2) / 4.0);
    }
    EXPECT_EQ(w.Chart3->setpointSeries()->data()->size(), 9);
    EXPECT_EQ(w.Chart3->timeLabelAt(3), clock(3));

    ArchiveTableModel& m = w.tableModel();
    EXPECT_EQ(m.gridRowCount(), 11);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(m.cell(1, c), "") << c;
    EXPECT_EQ(m.cell(2, 0), "9:00:02");
    EXPECT_EQ(m.cell(2, 1), "20,5");
    EXPECT_EQ(m.cell(2, 2), "9,5");
    EXPECT_EQ(m.cell(4, 1), "21");   // "0.##" drops the separator
    EXPECT_EQ(m.cell(7, 2), "8,25"); // 30 - 21.75
    EXPECT_EQ(m.cell(10, 1), "22,5");
    EXPECT_EQ(m.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "ошибка");
}

TEST_F(ArchiveWindowTest, OneSampleLeavesOnlyTheHeader) {
    open(rising(10)); // an earlier archive must not show through
    open(rising(1));
    EXPECT_EQ(w.Chart3->temperatureSeries()->dataCount(), 0);
    EXPECT_EQ(w.Chart3->setpointSeries()->dataCount(), 0);
    EXPECT_EQ(w.tableModel().rowCount(), 0);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ArchiveWindowTest, OpeningReplaysSampleTwoWithoutShowingItsConfiguration) {
    Archive a = rising(5);
    a.configs[0].params.C0_2 = 10;
    a.samples[1].Temper = 28; // e = 2 at sample 2
    w.Check_Reg2_Prop->setChecked(true);
    open(a);
    EXPECT_EQ(w.Ind_Reg2_Prop->text(), "8,54");
    EXPECT_EQ(w.Ind_OUT_Regul2->text(), "20,00");
    // ShowConfig did not run: the boxes and edits are as they were.
    EXPECT_EQ(w.Ed_Zadan->text(), "");
    EXPECT_FALSE(w.Check_Reg2_Integ->isChecked());
    EXPECT_EQ(w.Ind_Temper->text(), "00.00");
}

TEST_F(ArchiveWindowTest, CancelReadsTheLastArchiveAgainAndDoesNothingBeforeOne) {
    w.N2Click(); // cancelled, nothing chosen yet
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(archive.SampleCount, 0u);

    open(rising(4));
    write(path, rising(7)); // the run went on meanwhile
    w.N2Click();            // cancelled
    ASSERT_EQ(dialogs.requests.size(), 3u);
    EXPECT_EQ(dialogs.requests[2].initialName, path);
    EXPECT_EQ(archive.SampleCount, 7u);
    EXPECT_EQ(w.Chart3->temperatureSeries()->dataCount(), 6);
}

TEST_F(ArchiveWindowTest, AnArchiveWithoutConfigurationFileHasNoSetpointLine) {
    Archive a = rising(6);
    a.configs.clear();
    open(a);
    EXPECT_EQ(w.Chart3->temperatureSeries()->dataCount(), 5);
    EXPECT_EQ(w.Chart3->setpointSeries()->dataCount(), 0);
    EXPECT_EQ(w.tableModel().cell(3, 2), "");
    ASSERT_EQ(dialogs.messages.size(), 1u); // the reader's own message
    selectRow(4);                           // nothing to show, nothing breaks
    EXPECT_EQ(w.SelectedSample(), 4u);
    EXPECT_EQ(w.Ind_Temper->text(), "00.00");
}

TEST_F(ArchiveWindowTest, AnArchiveWhoseConfigurationFileFailsShowsNoSetpointsOfTheOneBefore) {
    Archive a = rising(6, 40);
    a.configs[0].params.C0_2 = 10;
    w.Check_Reg2_Prop->setChecked(true);
    open(a);
    ASSERT_EQ(w.Chart3->setpointSeries()->dataCount(), 5);
    Archive b = rising(8);
    b.configs.clear(); // its configuration file is missing
    w.Ind_OUT_Regul2->clear();
    open(b);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Ошибка открытия файла конфигурации.");
    EXPECT_EQ(w.Chart3->temperatureSeries()->dataCount(), 7);
    EXPECT_EQ(w.Chart3->setpointSeries()->dataCount(), 0);
    EXPECT_EQ(w.tableModel().cell(3, 2), ""); // no error against the old setpoint
    EXPECT_EQ(w.Ind_OUT_Regul2->text(), "") << "replayed with the other archive's parameters";
}

TEST_F(ArchiveWindowTest, SelectingARowShowsItsConfiguration) {
    Archive a = rising(10);
    TConfigRecord second = a.configs[0];
    second.Takt = 6;
    second.Zadan = 22.5;
    second.params.C1_2 = 0.12;
    second.params.C2_2 = 22;
    second.params.vih = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    second.params.integ_1 = true;
    second.params.prop_2 = false;
    second.Nagrev = true;
    second.Interval = 1500;
    second.PID_on = false;
    a.configs.push_back(second);
    open(a);

    selectRow(7, 2); // position 7: the second record holds
    EXPECT_EQ(w.SelectedSample(), 7u);
    EXPECT_EQ(w.Ind_Temper->text(), "21,75");
    EXPECT_EQ(w.Ind_Oshibka->text(), "0,75");
    EXPECT_EQ(w.ind_taimer->text(), "1,5");
    EXPECT_EQ(w.Ed_Zadan->text(), "22,5");
    EXPECT_EQ(w.Ed_Reg2_Integ->text(), "0,12");
    EXPECT_EQ(w.Ed_Reg2_Diff->text(), "22");
    EXPECT_EQ(w.outputTerms[8]->text(), "9");
    EXPECT_EQ(w.ruleGrid->cell(5)->text(), "4");
    EXPECT_TRUE(w.pbUfo->isRed());
    EXPECT_TRUE(w.Check_Reg1_Integ->isChecked());
    EXPECT_FALSE(w.Check_Reg2_Prop->isChecked());
    EXPECT_FALSE(w.Check_PID->isChecked());
    EXPECT_TRUE(w.P_Pid->isHidden());
    EXPECT_EQ(w.Ind_OUT_Regul2->text(), "0,00");

    selectRow(5); // position 5: still the first record
    EXPECT_EQ(w.Ed_Zadan->text(), "30");
    EXPECT_FALSE(w.pbUfo->isRed());
    EXPECT_FALSE(w.P_Pid->isHidden());
}

TEST_F(ArchiveWindowTest, RuleBaseMarksTheOutputTermsItUses) {
    Archive a = rising(4);
    a.configs[0].params.m = {1, 2, 4, 2, 4, 6, 4, 6, 8};
    open(a);
    selectRow(3);
    const QColor window = QApplication::palette().color(QPalette::Base);
    const bool marked[] = {true, true, false, true, false, true, false, true, false};
    for (int n = 0; n < 9; ++n) {
        const QColor c = w.outputTerms[static_cast<size_t>(n)]->palette().color(QPalette::Base);
        EXPECT_EQ(c, marked[n] ? QColor(0, 128, 0) : window) << "MaskEdit" << 10 + n;
    }
    // A later record with another rule base takes the old marks away.
    a.configs[0].params.m = {9, 9, 9, 9, 9, 9, 9, 9, 12}; // 12: a damaged entry
    open(a);
    selectRow(3);
    EXPECT_EQ(w.ruleGrid->cell(9)->text(), "12");
    EXPECT_EQ(w.outputTerms[0]->palette().color(QPalette::Base), window);
    EXPECT_EQ(w.outputTerms[8]->palette().color(QPalette::Base), QColor(0, 128, 0));
}

TEST_F(ArchiveWindowTest, RegulatorOneOffHidesItsPanelAndKeepsItsDisplays) {
    Archive a = rising(6);
    TConfigRecord off = a.configs[0];
    off.Takt = 5;
    off.Fuzzy_on = false;
    a.configs.push_back(off);
    open(a);
    selectRow(3);
    ASSERT_FALSE(w.P_Fuzzy->isHidden());
    const QString mu = w.ind_norm_otkl->text();
    const QString r1 = w.Ind_OUT_Regul1->text();
    ASSERT_NE(r1, "0,00");

    selectRow(6);
    EXPECT_TRUE(w.P_Fuzzy->isHidden());
    EXPECT_FALSE(w.Check_Fuzzy->isChecked());
    EXPECT_EQ(w.Ind_OUT_Regul1->text(), "0,00");
    EXPECT_EQ(w.Ind_OUT_Regul->text(), w.Ind_OUT_Regul2->text());
    EXPECT_EQ(w.ind_norm_otkl->text(), mu);
}

TEST_F(ArchiveWindowTest, ColumnZeroMovesTheCursorButShowsNothing) {
    open(rising(10));
    selectRow(5, 0);
    EXPECT_EQ(w.currentRow(), 5);
    EXPECT_EQ(w.SelectedSample(), 0u);
    EXPECT_EQ(w.Ind_Temper->text(), "00.00");
    EXPECT_EQ(w.Chart3->cursorX(), -1);
}

TEST_F(ArchiveWindowTest, TheHeaderRowSelectsNothingButItsColumnsMove) {
    open(rising(10));
    selectRow(6);
    QHeaderView* header = w.StringGrid1->horizontalHeader();
    const auto middleOf = [&](int logical) {
        return QPoint(header->sectionViewportPosition(logical) + header->sectionSize(logical) / 2,
                      header->height() / 2);
    };
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middleOf(1));
    EXPECT_EQ(w.currentRow(), 6) << "a click on \"°C\" moved the current cell";
    EXPECT_EQ(w.SelectedSample(), 6u);
    EXPECT_EQ(w.Ind_Temper->text(), "21,5");

    // Dragging "ошибка" onto "°C" swaps their places.
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, middleOf(2));
    for (int x = middleOf(2).x(); x >= middleOf(1).x() - 8; x -= 4) {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, middleOf(2).y()),
                         header->viewport()->mapToGlobal(QPointF(x, middleOf(2).y())), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(header->viewport(), &move);
    }
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {},
                        QPoint(middleOf(1).x() - 8, middleOf(2).y()));
    EXPECT_EQ(header->visualIndex(2), 1);
    EXPECT_EQ(w.SelectedSample(), 6u);
}

TEST_F(ArchiveWindowTest, AVisibleRowGetsTheLineAndAnOffScreenRowRecentres) {
    open(rising(10));
    selectRow(6);
    EXPECT_EQ(w.Chart3->cursorX(), pixelOf(6) - 1);

    w.Chart3->xAxis->setRange(2, 5);
    settle();
    EXPECT_EQ(w.Chart3->cursorX(), -1); // a redraw takes the line away
    selectRow(9);
    EXPECT_EQ(w.Chart3->cursorX(), -1);
    EXPECT_DOUBLE_EQ(w.Chart3->xAxis->range().lower, 7.5);
    EXPECT_DOUBLE_EQ(w.Chart3->xAxis->range().upper, 10.5);
    EXPECT_EQ(w.Ind_Temper->text(), "22,25"); // the sample is shown all the same

    settle();
    selectRow(3); // now left of the plot
    EXPECT_EQ(w.Chart3->cursorX(), -1);
    EXPECT_DOUBLE_EQ(w.Chart3->xAxis->range().lower, 1.5);
    EXPECT_DOUBLE_EQ(w.Chart3->xAxis->range().upper, 4.5);
}

TEST_F(ArchiveWindowTest, AChartClickSelectsTheNearestSampleWithinTheArchive) {
    open(rising(10));
    w.Chart3->xAxis->setRange(-2, 14);
    settle();

    QTest::mouseClick(w.Chart3, Qt::LeftButton, {}, inPlot(6.1));
    EXPECT_EQ(w.currentRow(), 6);
    EXPECT_EQ(w.SelectedSample(), 6u);
    EXPECT_EQ(w.Chart3->cursorX(), pixelOf(6) - 1); // at the sample, not the click

    QTest::mouseClick(w.Chart3, Qt::RightButton, {}, inPlot(12));
    EXPECT_EQ(w.currentRow(), 9); // beyond the last: the one before it
    EXPECT_EQ(w.Ind_Temper->text(), "22,25");

    QTest::mouseClick(w.Chart3, Qt::LeftButton, {}, inPlot(10.2));
    EXPECT_EQ(w.currentRow(), 10);

    QTest::mouseClick(w.Chart3, Qt::MiddleButton, {}, inPlot(-1));
    EXPECT_EQ(w.currentRow(), 1);
    EXPECT_EQ(w.Ind_Temper->text(), "20,25"); // sample 1, never charted, still shown
}

TEST_F(ArchiveWindowTest, AClickOutsideThePlotAreaOnlyTakesTheLineAway) {
    open(rising(10));
    selectRow(4);
    ASSERT_NE(w.Chart3->cursorX(), -1);
    const QRect area = w.Chart3->plotArea();
    QTest::mouseClick(w.Chart3, Qt::LeftButton, {}, QPoint(area.right() + 5, area.center().y()));
    EXPECT_EQ(w.Chart3->cursorX(), -1);
    EXPECT_EQ(w.currentRow(), 4);
}

TEST_F(ArchiveWindowTest, TheCursorLineIsDrawnOnThePicture) {
    open(rising(10));
    const QRect area = w.Chart3->plotArea();
    const QPoint probe(pixelOf(6) - 1, area.center().y() + 40);
    const QColor before = w.Chart3->grab().toImage().pixelColor(probe);
    selectRow(6);
    const QColor with = w.Chart3->grab().toImage().pixelColor(probe);
    EXPECT_NE(with, before);
    EXPECT_EQ(with.rgb() ^ before.rgb(), QColor(255, 255, 0).rgb() & 0xffffff) << "drawn in XOR";
    w.Chart3->replot();
    EXPECT_EQ(w.Chart3->grab().toImage().pixelColor(probe), before);
}

TEST_F(ArchiveWindowTest, SaveMenuWritesTheChartAsAMetafileAndTheArchiveAsAWorkbook) {
    open(rising(10));
    const std::string wmf = (dir / "chart.wmf").string();
    dialogs.fileAnswers.push_back(wmf);
    w.WMF1->trigger();
    EXPECT_EQ(head(wmf, 4), std::string("\xD7\xCD\xC6\x9A", 4)); // the placeable key

    EXPECT_FALSE(w.Exel1->isEnabled()); // nothing to export to yet
    SpreadsheetAutomation automation;
    SilentProgress progress;
    w.setSpreadsheetExport(automation.excel(), progress);
    ASSERT_TRUE(w.Exel1->isEnabled());
    dialogs.fileAnswers.push_back((dir / "run").string());
    w.Exel1->trigger();
    const std::string xlsx = (dir / "run.xlsx").string(); // the extension the content has
    EXPECT_EQ(head(xlsx, 2), "PK");
    EXPECT_EQ(progress.begun, 1);
    EXPECT_EQ(progress.ended, 1);
    // Read back by an independent reader, under any locale the run has.
    const auto cells = thermo::testing::dumpWorkbook(xlsx, {"1!B1", "1!B10"});
    ASSERT_GE(cells.size(), 2u) << "unreadable workbook";
    EXPECT_EQ(cells[cells.size() - 2], "cell 1!B1 number 20.25");
    EXPECT_EQ(cells.back(), "cell 1!B10 number 22.5");
}

TEST_F(ArchiveWindowTest, SchemeAsksForTheOneSchemeWindowAndExitOnlyHides) {
    QSignalSpy scheme(&w, &TF_Arhiv::schemeRequested);
    w.N3->trigger();
    EXPECT_EQ(scheme.count(), 1);
    open(rising(10));
    w.N4Click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.Chart3->temperatureSeries()->dataCount(), 9);
}

} // namespace
