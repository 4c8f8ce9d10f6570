// The auxiliary windows, offscreen. Set THERMO_SCREENSHOT_DIR to also get a
// picture of each window for a look by eye.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <vector>

#include "tests/captions_fit.h"
#include "ui_aux/about.h"
#include "ui_aux/procces.h"
#include "ui_aux/shema.h"
#include "ui_aux/show_window.h"
#include "ui_aux/skorost.h"

namespace {

void screenshot(QWidget& w, const char* name) {
    const QByteArray dir = qgetenv("THERMO_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        w.grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name) +
                      QStringLiteral(".png"));
}

std::vector<int> applied(QSignalSpy& spy) {
    std::vector<int> v;
    for (const auto& args : spy)
        v.push_back(args.at(0).toInt());
    return v;
}

TEST(F_Skorost, ApplyUntouchedGives1000) {
    thermo::TF_Skorost w;
    w.setLocale(QLocale(QLocale::Russian, QLocale::Russia)); // as in the lab
    QSignalSpy spy(&w, &thermo::TF_Skorost::intervalApplied);
    thermo::showOrRaise(w);
    w.BitBtn2->click();
    EXPECT_EQ(applied(spy), std::vector<int>{1000});
    EXPECT_TRUE(w.isVisible()) << "applying does not close the window";
    screenshot(w, "F_Skorost");
    thermo::testing::expectCaptionsFit(w);
}

TEST(F_Skorost, ArrowsStopAt100And5000) {
    thermo::TF_Skorost w;
    w.show();
    w.UpDown1->setValue(102);
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(w.UpDown1, Qt::Key_Down);
    EXPECT_EQ(w.interval(), 100);
    w.UpDown1->setValue(4999);
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(w.UpDown1, Qt::Key_Up);
    EXPECT_EQ(w.interval(), 5000);
    QTest::keyClick(w.UpDown1, Qt::Key_PageUp);
    EXPECT_EQ(w.interval(), 5000);
}

// Typed text counts only as far as the arrows accept it.
TEST(F_Skorost, TypedTextAppliesOnlyWithinTheArrowsRange) {
    struct Case {
        const char* typed;
        int expected;
    };
    const Case cases[] = {{"2500", 2500}, {"7000", 1000}, {"50", 1000}, {"abc", 1000}, {"", 1000}};
    for (const Case& c : cases) {
        thermo::TF_Skorost w;
        w.setLocale(QLocale::c());
        QSignalSpy spy(&w, &thermo::TF_Skorost::intervalApplied);
        auto* edit = w.findChild<QLineEdit*>(QStringLiteral("Edit1"));
        ASSERT_NE(edit, nullptr);
        edit->setText(QString::fromLatin1(c.typed));
        w.BitBtn2->click();
        EXPECT_EQ(applied(spy), std::vector<int>{c.expected}) << c.typed;
        EXPECT_GE(w.interval(), 100);
        EXPECT_LE(w.interval(), 5000);
    }
}

TEST(F_Skorost, CloseAppliesNothingAndTheArrowsKeepTheirValue) {
    thermo::TF_Skorost w;
    QSignalSpy spy(&w, &thermo::TF_Skorost::intervalApplied);
    thermo::showOrRaise(w);
    w.UpDown1->setValue(1500);
    w.BitBtn1->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(spy.count(), 0);
    thermo::showOrRaise(w);
    EXPECT_EQ(w.interval(), 1500);
    w.BitBtn2->click();
    EXPECT_EQ(applied(spy), std::vector<int>{1500});
}

TEST(F_Skorost, ShowsTheLocalesThousandsSeparator) {
    thermo::TF_Skorost w;
    auto* edit = w.findChild<QLineEdit*>(QStringLiteral("Edit1"));
    ASSERT_NE(edit, nullptr);
    w.setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    EXPECT_EQ(edit->text(), QStringLiteral("1\u00a0000"));
    w.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(edit->text(), QStringLiteral("1,000"));
    // Typed with or without the separator, the text reads back as the same
    // interval.
    QSignalSpy spy(&w, &thermo::TF_Skorost::intervalApplied);
    edit->setText(QStringLiteral("2,345"));
    w.BitBtn2->click();
    w.setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    edit->setText(QStringLiteral("3\u00a0456"));
    w.BitBtn2->click();
    edit->setText(QStringLiteral("4567"));
    w.BitBtn2->click();
    EXPECT_EQ(applied(spy), (std::vector<int>{2345, 3456, 4567}));
}

TEST(F_Shema, ShowsThe960x720PictureUnscaledInAn870x640Window) {
    thermo::TF_Shema w;
    thermo::showOrRaise(w);
    EXPECT_EQ(w.size(), QSize(870, 640));
    EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "not resizable";
    ASSERT_FALSE(w.Image1->pixmap().isNull());
    EXPECT_EQ(w.Image1->pixmap().size(), QSize(960, 720));
    EXPECT_EQ(w.Image1->pos(), QPoint(0, 0));
    // "закрыть" stands on the picture, inside the window near its lower
    // right corner.
    const QRect b = w.Button1->geometry();
    EXPECT_TRUE(w.rect().contains(b));
    EXPECT_GT(b.left(), 870 / 2);
    EXPECT_GT(b.top(), 640 * 3 / 4);
    EXPECT_EQ(w.Button1->text(), QStringLiteral("закрыть"));
    screenshot(w, "F_Shema");
    w.Button1->click();
    EXPECT_FALSE(w.isVisible());
}

TEST(F_Shema, ADamagedPictureLeavesTheReasonInTheWindow) {
    const std::vector<unsigned char> junk = {0xff, 0xd8, 0xff, 0x00, 0x12};
    thermo::TF_Shema w(junk);
    EXPECT_TRUE(w.Image1->pixmap().isNull());
    EXPECT_TRUE(w.Image1->text().startsWith(QStringLiteral("Схема не загружена: ")));
}

// The main window's and the archive window's menus show the one window: a
// second showing brings it forward, even when minimized.
TEST(ShowOrRaise, BringsBackAMinimizedWindowWithoutMakingAnother) {
    thermo::TF_Shema w;
    thermo::showOrRaise(w);
    w.showMinimized();
    const auto before = QApplication::topLevelWidgets().size();
    thermo::showOrRaise(w);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.isMinimized());
    EXPECT_EQ(QApplication::topLevelWidgets().size(), before);
}

TEST(AboutBox, FixedCentredModelessWithDefaultOk) {
    thermo::TAboutBox w;
    thermo::showOrRaise(w);
    EXPECT_FALSE(w.isModal());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("О программе"));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_FALSE(w.ProgramIcon->pixmap().isNull());
    for (QLabel* l : w.Credits)
        EXPECT_FALSE(l->text().isEmpty());
    EXPECT_EQ(w.OKButton->text(), QStringLiteral("OK"));
    EXPECT_TRUE(w.OKButton->isDefault());
    const QPoint screenCentre = w.screen()->availableGeometry().center();
    EXPECT_LE((w.frameGeometry().center() - screenCentre).manhattanLength(), 2);
    screenshot(w, "AboutBox");
    thermo::testing::expectCaptionsFit(w);
    QTest::keyClick(&w, Qt::Key_Return); // the default button
    EXPECT_FALSE(w.isVisible());
}

TEST(F_Zapis, BothIndicatorsShowTheSameClampedValue) {
    thermo::TF_Zapis w;
    struct Case {
        int set, shown;
    };
    for (const Case c : {Case{42, 42}, Case{100, 100}, Case{150, 100}, Case{-5, 0}, Case{0, 0}}) {
        w.setProgress(c.set);
        EXPECT_EQ(w.Gauge1->value(), c.shown) << c.set;
        EXPECT_EQ(w.ProgressBar1->value(), c.shown) << c.set;
    }
    EXPECT_EQ(w.Gauge1->size(), QSize(100, 100));
}

TEST(F_Zapis, BeginShowsFromZeroAndEndHides) {
    thermo::TF_Zapis w;
    thermo::ProgressDisplay& progress = w;
    progress.setProgress(80);
    progress.begin();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.ProgressBar1->value(), 0);
    progress.setProgress(63);
    screenshot(w, "F_Zapis");
    progress.end();
    EXPECT_FALSE(w.isVisible());
}

// The pie fills clockwise from twelve o'clock: at 25 % the upper right
// quarter is filled and the rest is paper.
TEST(PieGauge, FillsClockwiseFromTwelveOClock) {
    thermo::PieGauge g;
    g.setValue(25);
    const QImage img = g.grab().toImage();
    const QColor fill = g.palette().color(QPalette::Highlight);
    const QColor paper = g.palette().color(QPalette::Base);
    const auto near = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                   std::abs(a.blue() - b.blue()) <
               30;
    };
    const auto at = [&](int x, int y) {
        return img.pixelColor(x * img.width() / 100, y * img.height() / 100);
    };
    EXPECT_TRUE(near(at(75, 20), fill));  // upper right
    EXPECT_TRUE(near(at(25, 20), paper)); // upper left
    EXPECT_TRUE(near(at(75, 80), paper)); // lower right
    EXPECT_TRUE(near(at(25, 80), paper)); // lower left
    g.setValue(100);
    const QImage full = g.grab().toImage();
    EXPECT_TRUE(near(full.pixelColor(full.width() / 4, full.height() * 4 / 5), fill));
}

} // namespace
