// The rule grid of the main window: entry through Button9 and the colours of
// fired rules.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "common/scripted_dialogs.h"
#include "widgets/rule_grid.h"

namespace thermo {
namespace {

class RuleGridTest : public ::testing::Test {
protected:
    void SetUp() override { grid.show(); }
    void apply() { QTest::mouseClick(grid.okButton(), Qt::LeftButton); }

    TControlParams params;
    ScriptedDialogs dialogs;
    RuleGridWidget grid{params, dialogs};
};

TEST_F(RuleGridTest, CellsShowTheRuleBaseRowByRow) {
    // The defaults read, rows deviation, columns rate: 1 2 4 / 2 4 6 / 4 6 8.
    const char* want[9] = {"1", "2", "4", "2", "4", "6", "4", "6", "8"};
    for (int k = 1; k <= 9; ++k) {
        ASSERT_EQ(grid.findChild<QLineEdit*>(QString("MaskEdit%1").arg(k)), grid.cell(k));
        EXPECT_EQ(grid.cell(k)->text(), want[k - 1]) << k;
    }
    EXPECT_EQ(grid.okButton()->objectName(), "Button9");
    EXPECT_EQ(grid.okButton()->text(), "ok");
    // Rule 2 (deviation "о", rate "н") stands right of rule 1, rule 4 under it.
    EXPECT_GT(grid.cell(2)->x(), grid.cell(1)->x());
    EXPECT_EQ(grid.cell(2)->y(), grid.cell(1)->y());
    EXPECT_GT(grid.cell(4)->y(), grid.cell(1)->y());
    EXPECT_EQ(grid.cell(4)->x(), grid.cell(1)->x());
    QStringList labels;
    for (auto* l : grid.findChildren<QLabel*>())
        labels << l->text();
    for (const char* c : {"откл.", "скорость", "о", "н", "п"})
        EXPECT_TRUE(labels.contains(c)) << c;
}

TEST_F(RuleGridTest, ZeroIsStoredAndAllCellsApplyInOrder) {
    QSignalSpy applied(&grid, &RuleGridWidget::ruleBaseApplied);
    grid.cell(1)->setText("0");
    grid.cell(9)->setText("3");
    apply();
    EXPECT_EQ(params.m[0], 0);
    EXPECT_EQ(params.m[8], 3);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(applied.count(), 1);
}

TEST_F(RuleGridTest, EmptyCellStopsSilently) {
    QSignalSpy applied(&grid, &RuleGridWidget::ruleBaseApplied);
    grid.cell(1)->setText("7");
    grid.cell(2)->clear();
    grid.cell(3)->setText("9");
    apply();
    EXPECT_EQ(params.m[0], 7);
    EXPECT_EQ(params.m[2], 4);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(applied.count(), 0);
}

TEST_F(RuleGridTest, CellsTakeOneDigitOnly) {
    QLineEdit* c = grid.cell(5);
    c->clear();
    QTest::keyClicks(c, "x-57");
    EXPECT_EQ(c->text(), "5");
}

// Sampled from the rendered cell, inside its frame and clear of the digit.
QColor cellBackground(QLineEdit* cell) {
    const QImage img = cell->grab().toImage();
    return img.pixelColor(4, img.height() / 2);
}

TEST_F(RuleGridTest, FiredRulesAreGreenTheRestWindowColoured) {
    const QColor green(0, 128, 0);
    const QColor idle = QApplication::palette().color(QPalette::Base);
    ASSERT_NE(idle, green);
    // e = 1.5 on the first call fires rules 5 and 8.
    grid.setFiredMask(144);
    for (int k = 1; k <= 9; ++k) {
        const QColor want = (k == 5 || k == 8) ? green : idle;
        EXPECT_EQ(grid.cell(k)->palette().color(QPalette::Base), want) << k;
        EXPECT_EQ(cellBackground(grid.cell(k)), want) << k;
    }
    // Bits above the ninth rule are not cells.
    grid.setFiredMask(0x200 | 1);
    EXPECT_EQ(grid.cell(1)->palette().color(QPalette::Base), green);
    EXPECT_EQ(grid.cell(5)->palette().color(QPalette::Base), idle);
    grid.setFiredMask(0);
    for (int k = 1; k <= 9; ++k)
        EXPECT_EQ(cellBackground(grid.cell(k)), idle) << k;
}

} // namespace
} // namespace thermo
