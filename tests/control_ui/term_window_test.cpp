// The term window "Термы" driven through its fields and buttons, offscreen,
// under a Russian locale (comma as the decimal separator).
#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "common/scripted_dialogs.h"
#include "control/ui/term_window.h"
#include "tests/captions_fit.h"
#include "widgets/membership_chart.h"

namespace thermo {
namespace {

class TermWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        window.show();
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    void type(int edit, const QString& text) { window.edit(edit)->setText(text); }
    void click(const char* button) {
        auto* b = window.findChild<QPushButton*>(button);
        ASSERT_NE(b, nullptr) << button;
        QTest::mouseClick(b, Qt::LeftButton);
    }
    // The first key of the deviation chart's curve of term 1: where the
    // curves start.
    double deviationCurveStart() const {
        const auto* data = window.deviationChart()->termSeries(1)->data().data();
        return data->isEmpty() ? NAN : data->constBegin()->key;
    }

    TControlParams params;
    ScriptedDialogs dialogs;
    TFF_term window{params, dialogs};
};

TEST_F(TermWindowTest, ShowingFillsEveryFieldAndBothCharts) {
    EXPECT_EQ(window.windowTitle(), "Термы");
    const char* expected[18] = {"3,3", "3,3", "3", "0", "3", "0", "3", "0", "3",
                                "1,1", "1,1", "1", "0", "1", "0", "1", "0", "1"};
    for (int n = 1; n <= 18; ++n)
        EXPECT_EQ(window.edit(n)->text(), expected[n - 1]) << "Edit" << n;
    const char* vih[9] = {"5", "15", "50", "70", "90", "120", "155", "170", "190"};
    for (int n = 1; n <= 9; ++n)
        EXPECT_EQ(window.maskEdit(n)->text(), vih[n - 1]) << "MaskEdit" << n;
    // 67 and 23 points per curve with the default universes.
    for (int t = 1; t <= 3; ++t) {
        EXPECT_EQ(window.deviationChart()->termSeries(t)->dataCount(), 67);
        EXPECT_EQ(window.rateChart()->termSeries(t)->dataCount(), 23);
    }
    EXPECT_EQ(window.deviationChart()->objectName(), "Chart2");
    EXPECT_EQ(window.rateChart()->objectName(), "Chart1");
    EXPECT_EQ(window.deviationChart()->markerSeries(), nullptr);
}

TEST_F(TermWindowTest, CommaRangeIsStoredInTenthsAndRedrawn) {
    type(1, "3,5");
    click("Button4");
    EXPECT_EQ(params.otkl_left, 35);
    EXPECT_DOUBLE_EQ(deviationCurveStart(), -3.5);
    EXPECT_EQ(window.edit(1)->text(), "3,5");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(TermWindowTest, LettersStopTheGroupAtTheirFieldAndRedrawNothing) {
    const TControlParams before = params;
    type(1, "3,5");
    type(3, "2");
    type(4, "0,5");
    type(5, "abc");
    type(6, "1");
    click("Button4");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Ошибочная запись числа: abc");
    EXPECT_EQ(params.otkl_left, 35);
    EXPECT_EQ(params.otkl_A1, 2);
    EXPECT_EQ(params.otkl_B1, 0.5);
    EXPECT_EQ(params.otkl_A2, before.otkl_A2);
    EXPECT_EQ(params.otkl_B2, before.otkl_B2);
    EXPECT_EQ(params.otkl_B3, before.otkl_B3);
    // Not redrawn: the curves still start at the old -3.3, the texts stand.
    EXPECT_DOUBLE_EQ(deviationCurveStart(), -3.3);
    EXPECT_EQ(window.edit(5)->text(), "abc");
    EXPECT_EQ(window.edit(5)->selectedText(), "abc");
    EXPECT_EQ(window.edit(6)->text(), "1");
}

TEST_F(TermWindowTest, EmptyFieldStoresWhatCameBeforeSilently) {
    type(1, "4");
    type(2, "");
    type(3, "7");
    click("Button4");
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(params.otkl_left, 40);
    EXPECT_EQ(params.otkl_right, 33);
    EXPECT_EQ(params.otkl_A1, 3);
    EXPECT_DOUBLE_EQ(deviationCurveStart(), -3.3);
    EXPECT_EQ(window.edit(3)->text(), "7");
}

TEST_F(TermWindowTest, ApplyingOneGroupReplacesUnappliedTextOfTheOther) {
    type(10, "9,9");
    type(14, "xyz");
    type(2, "2,5");
    click("Button4");
    EXPECT_EQ(params.otkl_right, 25);
    EXPECT_EQ(params.skor_left, 11);
    EXPECT_EQ(window.edit(10)->text(), "1,1");
    EXPECT_EQ(window.edit(14)->text(), "1");
    EXPECT_EQ(window.edit(2)->text(), "2,5");
}

TEST_F(TermWindowTest, RateGroupRedrawsTheRateChart) {
    type(10, "2");
    type(11, "0,5");
    click("Button3");
    EXPECT_EQ(params.skor_left, 20);
    EXPECT_EQ(params.skor_right, 5);
    const auto* data = window.rateChart()->termSeries(2)->data().data();
    ASSERT_EQ(data->size(), 26); // -2.0 ... 0.5 in tenths
    EXPECT_DOUBLE_EQ(data->constBegin()->key, -2.0);
    EXPECT_DOUBLE_EQ((data->constEnd() - 1)->key, 0.5);
}

TEST_F(TermWindowTest, OutputTermsKeepLowEightBitsAndAcceptAbove100) {
    window.maskEdit(1)->setText("300");
    window.maskEdit(2)->setText("190");
    click("Button2");
    EXPECT_EQ(params.vih[0], 44);
    EXPECT_EQ(params.vih[1], 190);
    EXPECT_EQ(window.maskEdit(1)->text(), "44");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(TermWindowTest, OutputFieldsTakeOnlyUpToThreeDigits) {
    QLineEdit* e = window.maskEdit(3);
    e->clear();
    QTest::keyClicks(e, "a1-2x34");
    EXPECT_EQ(e->text(), "123");
}

TEST_F(TermWindowTest, CloseHidesAndShowingAgainShowsStoredValues) {
    click("Button1");
    EXPECT_FALSE(window.isVisible());
    params.otkl_A1 = 2.5; // e.g. loaded or changed meanwhile
    params.vih[8] = 99;
    type(3, "leftover");
    window.showForward();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.edit(3)->text(), "2,5");
    EXPECT_EQ(window.maskEdit(9)->text(), "99");
}

TEST_F(TermWindowTest, CaptionsAsWritten) {
    QStringList labels;
    for (auto* l : window.findChildren<QLabel*>())
        labels << l->text();
    for (const char* c : {"диапазон", "от -", "до+", "А-", "В-", "С-", "отриц.", "норма", "полож.",
                          "Выход  ШИМ", "0 - 100%", "1-", "9-"})
        EXPECT_TRUE(labels.contains(c)) << c;
    EXPECT_EQ(window.findChild<QPushButton*>("Button1")->text(), "закрыть");
    EXPECT_EQ(window.findChild<QPushButton*>("Button4")->text(), "Ok");
    window.show();
    QCoreApplication::processEvents();
    thermo::testing::expectCaptionsFit(window);
}

// A picture of the window for a person to look at.
TEST_F(TermWindowTest, Screenshot) {
    window.resize(window.sizeHint());
    QCoreApplication::processEvents();
    const QPixmap shot = window.grab();
    ASSERT_FALSE(shot.isNull());
    const QString path = QDir::temp().filePath("termui_term_window.png");
    EXPECT_TRUE(shot.save(path));
}

} // namespace
} // namespace thermo
