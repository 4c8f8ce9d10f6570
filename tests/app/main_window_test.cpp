// The main window offscreen against the emulated sensor on a real
// pseudo-terminal and the simulated register device: start-up, a whole run
// from "новый" through ticks, the output decisions as the heater register sees
// them, the archive files, shutdown, and the look an operator relies on.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/main_window.h"
#include "common/scripted_dialogs.h"
#include "storage/settings.h"
#include "tests/app/window_stand.h"
#include "tests/captions_fit.h"
#include "widgets/indicators.h"
#include "widgets/locale_sep.h"
#include "widgets/membership_chart.h"
#include "widgets/qt_dialogs.h"
#include "widgets/rule_grid.h"
#include "widgets/sample_table.h"
#include "widgets/trend_chart.h"

using namespace thermo;
namespace fs = std::filesystem;

namespace {

// The windows show numbers as in the lab, whatever locale the run has.
QApplication& app() {
    static const bool russian = [] {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        return true;
    }();
    (void)russian;
    return *qApp;
}

void waitConversion() {
    std::this_thread::sleep_for(std::chrono::milliseconds(820));
}

struct MainWindowTest : ::testing::Test, thermo::testing::WindowStand {
    std::unique_ptr<TF_Glav> w;

    void SetUp() override {
        app();
        makeWindow();
    }

    void makeWindow() {
        w.reset();
        w = std::make_unique<TF_Glav>(services());
    }

    // FormShow, "новый" into dir/run.txt, and one conversion's wait.
    void startRun() {
        w->FormShow();
        ASSERT_TRUE(w->N2->isEnabled());
        dialogs.fileAnswers.push_back((dir / "run.txt").string());
        w->N2Click();
        ASSERT_TRUE(w->Bt_Start->isEnabled());
        waitConversion();
    }
};

TEST_F(MainWindowTest, StartUpShowsTheSetpointAndCoefficientsInTheLocalesForm) {
    stand.state.Zadan = 50; // whatever the last run set
    makeWindow();
    EXPECT_EQ(stand.state.Zadan, 33.5);
    EXPECT_EQ(w->Ed_Zadan->text(), "33,5");
    EXPECT_EQ(w->Ed_Reg2_Integ->text(), "0,12");
    EXPECT_EQ(w->Ed_Reg1_Integ->text(), "0,2");
    EXPECT_EQ(heater(), 0);
    EXPECT_FALSE(w->Timer1->isActive());
    EXPECT_EQ(w->Ind_Temper->text(), "00.00");
    EXPECT_EQ(w->ind_norm_otkl->text(), "0.00");
    EXPECT_FALSE(w->P_Alarm->isVisible());
    EXPECT_TRUE(w->Check_Alarm->isChecked());
    EXPECT_FALSE(w->N2->isEnabled());
    EXPECT_FALSE(w->Bt_Start->isEnabled());
}

TEST_F(MainWindowTest, PortMessagesForAMissingPortAndAPortWithoutSensor) {
    w->FormShow();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(w->portItems[0]->isChecked());
    EXPECT_FALSE(w->portItems[2]->isEnabled()); // no such device
    w->MCOM1Click(3);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages.back().text, "Port COM3 is not available.");
    EXPECT_FALSE(w->N2->isEnabled());

    sensor->withEmulator([](sim::Ds18b20Emulator& e) {
        sim::EmulatorFaults f;
        f.noSensor = true;
        e.setFaults(f);
        return 0;
    });
    w->MCOM1Click(1);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages.back().text, "Датчик на COM1 порту не обнаружен.");
    EXPECT_TRUE(w->portItems[0]->isChecked());
    EXPECT_FALSE(w->N2->isEnabled());
}

TEST_F(MainWindowTest, TenTicksRecordNineSamplesAndOneConfiguration) {
    startRun();
    w->Timer1Timer();
    EXPECT_EQ(w->Chart3->temperatureSeries()->dataCount(), 0);
    EXPECT_EQ(w->StringGrid1->table().rowCount(), 0);
    w->Timer1Timer();
    ASSERT_EQ(w->Chart3->temperatureSeries()->dataCount(), 1);
    EXPECT_EQ(w->Chart3->temperatureSeries()->data()->begin()->key, 3.0);
    EXPECT_EQ(w->StringGrid1->table().cell(1, 1), "25");
    EXPECT_EQ(w->StringGrid1->table().cell(1, 2), "8,5");
    EXPECT_EQ(w->StringGrid1->table().rowCount(), 2); // one empty row after the newest
    for (int i = 0; i < 8; ++i)
        w->Timer1Timer();
    EXPECT_EQ(fs::file_size(dir / "run.txt"), 288u);
    EXPECT_EQ(fs::file_size(dir / "run.txtUST"), 248u);
    EXPECT_EQ(w->Ind_Temper->text(), "25,00");
    EXPECT_EQ(w->Ind_Oshibka->text(), "8,50");
    EXPECT_EQ(w->ind_taimer->text(), "1,00");
    EXPECT_TRUE(dialogs.messages.empty());

    // "новый" cancelled: counter back to 1, chart and table emptied, same archive.
    w->N2Click();
    EXPECT_EQ(stand.state.Takt, 1);
    EXPECT_EQ(w->Chart3->temperatureSeries()->dataCount(), 0);
    EXPECT_EQ(fs::file_size(dir / "run.txtUST"), 248u);
}

TEST_F(MainWindowTest, ManualModeAtFiftyWritesOneHundredSeventeen) {
    startRun();
    w->Check_shim->setChecked(true);
    w->UpDown2->setValue(50);
    w->Timer1Timer();
    EXPECT_EQ(heater(), 117);
    EXPECT_EQ(w->Ind_Shim->text(), "50");
    EXPECT_EQ(w->Ind_OUT_Regul->text(), "49,96");
}

TEST_F(MainWindowTest, AlarmAboveOneHundredTwentyFiveOverridesForcedHeat) {
    // A tick reads the last conversion finished and starts the next, which
    // takes the plant's temperature of that moment; ticks closer together
    // than the 750 ms of a conversion read the same one.
    plant = 125.0;
    startRun();
    w->SpeedButton1->setChecked(true);
    plant = 125.0625;
    w->Timer1Timer(); // 125.0 is no alarm: forced heat, lamp white
    EXPECT_EQ(heater(), 234);
    EXPECT_FALSE(w->P_Alarm->isVisibleTo(w.get()));
    EXPECT_TRUE(w->pbUfo->isDrawn());
    EXPECT_FALSE(w->pbUfo->isRed());
    w->Timer1Timer(); // lamp red
    EXPECT_TRUE(w->pbUfo->isRed());
    waitConversion();
    plant = 30.0;
    w->Timer1Timer(); // 125.0625: alarm
    EXPECT_EQ(heater(), 0);
    EXPECT_TRUE(w->P_Alarm->isVisibleTo(w.get()));
    EXPECT_EQ(w->P_Alarm->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_TRUE(w->pbUfo->isRed()); // alarm ticks leave the lamp alone
    w->Timer1Timer();               // still the alarm: the panel blinks back to aqua
    EXPECT_EQ(heater(), 0);
    EXPECT_EQ(w->P_Alarm->palette().color(QPalette::Window), QColor(0, 255, 255));
    waitConversion();
    w->Timer1Timer();
    EXPECT_EQ(heater(), 234);
    EXPECT_FALSE(w->P_Alarm->isVisibleTo(w.get()));
    EXPECT_FALSE(w->pbUfo->isRed());
}

TEST_F(MainWindowTest, EachChangeGivesExactlyOneConfigurationRecord) {
    startRun();
    w->Timer1Timer();
    w->Timer1Timer();
    EXPECT_EQ(fs::file_size(dir / "run.txtUST"), 248u);
    w->setTimerInterval(500);
    w->Timer1Timer();
    w->Timer1Timer();
    EXPECT_EQ(fs::file_size(dir / "run.txtUST"), 2 * 248u);
    w->Check_Reg1_Prop->setChecked(true);
    w->Timer1Timer();
    w->Timer1Timer();
    EXPECT_EQ(fs::file_size(dir / "run.txtUST"), 3 * 248u);
    w->Ed_Zadan->setText("40");
    w->Button15->click();
    w->Timer1Timer();
    EXPECT_EQ(fs::file_size(dir / "run.txtUST"), 4 * 248u);
    w->Ed_Zadan->setText("41"); // changed and set back before the next tick
    w->Button15->click();
    w->Ed_Zadan->setText("40");
    w->Button15->click();
    w->Timer1Timer();
    EXPECT_EQ(fs::file_size(dir / "run.txtUST"), 4 * 248u);
    w->SpeedButton1->setChecked(true); // full heat on, then off
    w->Timer1Timer();
    w->Timer1Timer();
    EXPECT_EQ(fs::file_size(dir / "run.txtUST"), 5 * 248u);
    w->SpeedButton2->click(); // "выкл."
    w->Timer1Timer();
    w->Timer1Timer();
    EXPECT_EQ(fs::file_size(dir / "run.txtUST"), 6 * 248u);
}

TEST_F(MainWindowTest, EachResetClearsItsOwnSumOnly) {
    stand.state.Summa_1 = 5;
    stand.state.Summa_2 = 7;
    w->Button13->click(); // Regulator 2's "сброс"
    EXPECT_EQ(stand.state.Summa_1, 5);
    EXPECT_EQ(stand.state.Summa_2, 0);
    stand.state.Summa_2 = 7;
    w->Button4->click(); // Regulator 1's
    EXPECT_EQ(stand.state.Summa_1, 0);
    EXPECT_EQ(stand.state.Summa_2, 7);
}

TEST_F(MainWindowTest, MalformedNumberIsReportedAndTheValueKept) {
    w->Ed_Reg1_Prop->setText("abc");
    w->Button1->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Ошибочная запись числа: abc");
    EXPECT_EQ(stand.params.C0_1, 20.0);
    EXPECT_EQ(w->Ed_Reg1_Prop->selectedText(), "abc");
    w->Ed_Reg1_Prop->setText("  12,5 ");
    w->Button1->click();
    EXPECT_EQ(stand.params.C0_1, 12.5);
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(MainWindowTest, TypedCoefficientsSurviveARestartInTheLocalesForm) {
    w->Ed_Reg1_Prop->setText("12,5");
    w->Button1->click();
    ASSERT_TRUE(dialogs.messages.empty());
    w->close();
    std::ifstream ini(dir / "thermostand.INI");
    const std::string text((std::istreambuf_iterator<char>(ini)), {});
    EXPECT_NE(text.find("C0_1=12,5"), std::string::npos) << text;
    // Read back as the program reads it at start.
    EXPECT_EQ(LoadSettings((dir / "thermostand.INI").string(), decimalSeparator()).params.C0_1,
              12.5);
}

TEST_F(MainWindowTest, ClosingWhileRunningSwitchesOffAndStoresThePort) {
    startRun();
    w->SpeedButton1->setChecked(true);
    w->Bt_StartClick();
    w->Timer1Timer();
    EXPECT_EQ(heater(), 234);
    w->close();
    EXPECT_EQ(heater(), 0);
    std::ifstream ini(dir / "thermostand.INI");
    const std::string text((std::istreambuf_iterator<char>(ini)), {});
    EXPECT_NE(text.find("COM port=1"), std::string::npos) << text;
}

TEST_F(MainWindowTest, TheHeaterIsOffBeforeAFailedSaveWaitsForAClick) {
    startRun();
    w->SpeedButton1->setChecked(true);
    w->Timer1Timer();
    ASSERT_EQ(heater(), 234);
    fs::create_directory(dir / "thermostand.INI"); // the settings cannot be saved
    int heaterWhileShown = -1;
    dialogs.whileShown = [&](const ScriptedDialogs::Shown&) { heaterWhileShown = heater(); };
    w->close();
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.messages.back().kind, MessageKind::Error);
    EXPECT_EQ(heaterWhileShown, 0);
}

TEST_F(MainWindowTest, ATickWithNothingMeasuredShowsNothing) {
    w->Ind_Temper->setText("12,34");
    w->Ind_Oshibka->setText("1,00");
    TickReport r;
    r.checkByteMismatch = true;
    r.nothingMeasured = true;
    w->presentTick(r);
    EXPECT_EQ(w->Ind_Temper->text(), "12,34") << "0 °C was never measured";
    EXPECT_EQ(w->Ind_Oshibka->text(), "1,00");
    EXPECT_FALSE(w->pbUfo->isDrawn());
}

TEST_F(MainWindowTest, EndingBeforeAPortWasChosenKeepsTheStoredPort) {
    // As when the parallel port fails at start: the window ends unshown.
    w->FormDestroy();
    std::ifstream ini(dir / "thermostand.INI");
    const std::string text((std::istreambuf_iterator<char>(ini)), {});
    EXPECT_NE(text.find("COM port=1"), std::string::npos) << text;
}

TEST_F(MainWindowTest, StartPressedAgainDoesNotPutTheNextTickOff) {
    startRun();
    w->Bt_StartClick();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    w->Bt_StartClick();
    EXPECT_TRUE(w->Timer1->isActive());
    EXPECT_LT(w->Timer1->remainingTime(), 800) << "the timer started anew";
}

TEST_F(MainWindowTest, ARecorderErrorReportDoesNotHoldTheCycle) {
    startRun();
    w->SpeedButton1->setChecked(true);
    w->Bt_StartClick();
    w->Timer1Timer();
    const auto breakArchive = [&] { // the archive can no longer be written
        fs::remove(dir / "run.txt");
        fs::create_directory(dir / "run.txt");
    };
    breakArchive();
    int inBox = 0;
    dialogs.whileShown = [&](const ScriptedDialogs::Shown& m) {
        if (m.kind != MessageKind::Error || inBox++ > 0)
            return;
        w->Timer1Timer(); // the timer fires while the box waits for a click,
        QApplication::processEvents(); // in the box's own event loop
        fs::remove(dir / "run.txt");   // and the archive can be written again
        w->Timer1Timer();
    };
    const int takt = stand.state.Takt;
    w->Timer1Timer();
    EXPECT_TRUE(dialogs.messages.empty()) << "a box inside the tick holds the next one";
    QApplication::processEvents();
    EXPECT_EQ(stand.state.Takt, takt + 3) << "the cycle waited for the box";
    const auto errors = [&] {
        return std::count_if(dialogs.messages.begin(), dialogs.messages.end(),
                             [](const auto& m) { return m.kind == MessageKind::Error; });
    };
    EXPECT_EQ(errors(), 1) << "one box, not one per failing tick";
    breakArchive();
    w->Timer1Timer(); // the box was closed: a new failure is reported again
    QApplication::processEvents();
    EXPECT_EQ(errors(), 2);
    EXPECT_EQ(heater(), 234);
}

// Every safety stop reaches the window this way (their cases are the
// session's and the cycle's): the timer stops, the heater on the port is
// off, and the session's message stands in a box.
TEST_F(MainWindowTest, SensorLostStopsTheRunWithTheHeaterOff) {
    startRun();
    w->SpeedButton1->setChecked(true);
    w->Bt_StartClick();
    w->Timer1Timer();
    ASSERT_EQ(heater(), 234);
    w->MClosePortClick(); // the next tick finds no sensor
    w->Timer1Timer();
    EXPECT_FALSE(w->Timer1->isActive());
    EXPECT_EQ(heater(), 0);
    QApplication::processEvents(); // the box comes from the event loop, after the tick
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Датчик  не обнаружен.");
}

TEST_F(MainWindowTest, StoppedUnderForcedHeatAnOverTemperatureSwitchesTheHeaterOff) {
    startRun();
    w->SpeedButton1->setChecked(true);
    w->Bt_StartClick();
    w->Timer1Timer();
    waitConversion();
    plant = 130.0; // taken by the conversion the second tick starts
    w->Timer1Timer();
    ASSERT_EQ(heater(), 234);
    ASSERT_EQ(fs::file_size(dir / "run.txt"), 32u);
    w->Button11Click(); // "стоп": the heater stays on
    waitConversion();
    const auto reads = [&] {
        return sensor->withEmulator([](sim::Ds18b20Emulator& e) { return e.scratchpadReads(); });
    };
    const int takt = stand.state.Takt;
    plant = 25.0;           // for the conversion the first reading starts
    w->watchWhileStopped(); // reads the conversion started at 130 °C
    EXPECT_EQ(heater(), 0);
    EXPECT_TRUE(w->P_Alarm->isVisibleTo(w.get()));
    EXPECT_EQ(w->P_Alarm->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_FALSE(w->Timer1->isActive());
    EXPECT_TRUE(w->heaterWatch->isActive());
    EXPECT_EQ(stand.state.Takt, takt) << "no tick";
    EXPECT_EQ(w->Chart3->temperatureSeries()->dataCount(), 1);
    EXPECT_EQ(fs::file_size(dir / "run.txt"), 32u) << "nothing recorded";
    w->watchWhileStopped(); // the next conversion is not done: still 130 °C, the panel blinks
    EXPECT_EQ(w->P_Alarm->palette().color(QPalette::Window), QColor(0, 255, 255));
    waitConversion();
    w->watchWhileStopped(); // cool again: the alarm goes
    EXPECT_FALSE(w->P_Alarm->isVisibleTo(w.get()));
    const auto quiet = reads();
    w->watchWhileStopped(); // heater off, no alarm: nothing is read
    EXPECT_EQ(reads(), quiet);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST(MainWindowStart, ParallelPortThatCannotBeOpenedIsReportedAsTheDriverError) {
    app();
    thermo::testing::WindowStand stand(
        {.lpt = "/nonexistent/parport7", .settingsFile = "/nonexistent/dir/thermostand.INI"});
    const std::vector<ScriptedDialogs::Shown>& messages = stand.dialogs.messages;
    TF_Glav w(stand.services());
    EXPECT_FALSE(w.heaterReady());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "ERROR");
    EXPECT_EQ(messages[0].text.rfind("Ошибка при создании объекта Lpt,  драйвер ERROR,  код = ", 0),
              0u);
    // The settings cannot be saved into a missing folder: reported, not lost silently.
    w.FormDestroy();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].kind, MessageKind::Error);
}

// The look an operator relies on.
TEST_F(MainWindowTest, LayoutCaptionsAndIndicatorLook) {
    EXPECT_EQ(w->size(), QSize(1030, 764));
    EXPECT_EQ(w->upperBand->height(), 377);
    EXPECT_EQ(w->regul1Box->width(), 593);
    EXPECT_EQ(w->regul1Box->title(), "Регулятор №1");
    EXPECT_EQ(w->controlBox->width(), 145);
    EXPECT_EQ(w->controlBox->title(), "Управление");
    EXPECT_EQ(w->measurementsBox->title(), "Текущие измерения");
    EXPECT_EQ(w->regul2Box->title(), "Регулятор №2");
    EXPECT_EQ(w->P_Alarm->size(), QSize(121, 103));
    EXPECT_EQ(w->P_Alarm->palette().color(QPalette::Window), QColor(0, 255, 255));
    const QPalette ind = w->Ind_Temper->palette();
    EXPECT_EQ(ind.color(QPalette::Window), QColor(128, 0, 0));
    EXPECT_EQ(ind.color(QPalette::WindowText), QColor(0, 255, 0));
    EXPECT_TRUE(w->Ind_Temper->font().bold());
    EXPECT_EQ(w->Ed_Zadan->palette().color(QPalette::Base), QColor(192, 192, 192));
    EXPECT_EQ(w->StringGrid1->columnWidth(0), 46);
    EXPECT_EQ(w->StringGrid1->columnWidth(1), 32);
    EXPECT_EQ(w->StringGrid1->columnWidth(2), 31);
    EXPECT_EQ(w->Chart3->temperatureSeries()->name(), "температура");
    EXPECT_EQ(w->Chart3->temperatureSeries()->pen().color(), QColor(0, 255, 128));
    EXPECT_EQ(w->Chart3->setpointSeries()->name(), "задание");
    EXPECT_EQ(w->Chart3->setpointSeries()->pen().color(), QColor(255, 255, 0));
    const auto* box = w->findChild<QGroupBox*>("P_Fuzzy");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->title(), "Fuzzy- регулятор");
    thermo::testing::expectCaptionsFit(*w);
    EXPECT_FALSE(w->StringGrid1->horizontalHeader()->isFirstSectionMovable())
        << "the time column is fixed";
}

// Once cut: the time column from 10:00 on ("13:30:…"), the header "шибк.",
// the rate memberships (",19").
TEST_F(MainWindowTest, TimesTheErrorHeaderAndMembershipsShowWhole) {
    thermo::testing::expectIndicatorsHold(
        *w, thermo::testing::standIndicatorWidest(decimalSeparator()));
    thermo::testing::expectSampleTableHolds(*w->StringGrid1, {"23:59:59", "-100,00", "-100,00"});
}

TEST_F(MainWindowTest, TheHeaterLampIsATwelvePixelCircle) {
    w->pbUfo->draw(true);
    const QImage img = w->pbUfo->grab().toImage();
    int left = img.width(), right = -1, top = img.height(), bottom = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (QColor(img.pixel(x, y)) == QColor(255, 0, 0) ||
                QColor(img.pixel(x, y)) == QColor(0, 0, 0)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    EXPECT_EQ(left, 5);
    EXPECT_EQ(top, 5);
    EXPECT_EQ(right - left + 1, 12) << "from (5, 5) up to, not including, (17, 17)";
    EXPECT_EQ(bottom - top + 1, 12);
}

TEST_F(MainWindowTest, TheTrendChartFillsTheRestOfAResizedWindow) {
    w->show();
    w->resize(1400, 1000);
    QApplication::processEvents();
    const QWidget* central = w->centralWidget();
    EXPECT_EQ(w->Chart3->geometry(), QRect(0, 377, central->width(), central->height() - 377));
    EXPECT_GT(w->Chart3->width(), 1030);
}

TEST_F(MainWindowTest, TableColoursAndFiredRuleCells) {
    plant = 32.0; // e = 1.5 on the first call: rules 5 and 8 fire
    startRun();
    w->Check_Fuzzy->setChecked(true);
    w->Timer1Timer();
    for (int k = 1; k <= 9; ++k) {
        const QColor c = w->ruleGrid->cell(k)->palette().color(QPalette::Base);
        EXPECT_EQ(c == QColor(0, 128, 0), k == 5 || k == 8) << "cell " << k;
    }
    EXPECT_EQ(w->ind_norm_otkl->text(), "0,50");
    EXPECT_GT(w->Chart1->termSeries(1)->dataCount(), 60);
    w->Timer1Timer();
    w->Timer1Timer();
    w->StringGrid1->clearFocus();
    const QImage img = w->StringGrid1->grab().toImage();
    const int y = 16 + 7; // header, then the middle of row 1
    const int x1 = 46 + 20, x2 = 46 + 32 + 25;
    EXPECT_EQ(QColor(img.pixel(x1, y)), kTemperatureCell);
    EXPECT_EQ(QColor(img.pixel(x2, y)), kErrorCell);

    // Colours stay with the drawn position when the user swaps the columns.
    w->StringGrid1->horizontalHeader()->moveSection(2, 1);
    QImage moved = w->StringGrid1->grab().toImage();
    EXPECT_EQ(QColor(moved.pixel(46 + 15, y)), kTemperatureCell);
    EXPECT_EQ(QColor(moved.pixel(46 + 31 + 25, y)), kErrorCell);
    w->StringGrid1->horizontalHeader()->moveSection(1, 2);

    // The focused cell is black with white text.
    QImage cell(40, 14, QImage::Format_RGB32);
    cell.fill(Qt::gray);
    {
        QPainter painter(&cell);
        QStyleOptionViewItem option;
        option.rect = cell.rect();
        option.state = QStyle::State_HasFocus | QStyle::State_Enabled;
        option.widget = w->StringGrid1;
        option.font = w->StringGrid1->font();
        w->StringGrid1->itemDelegate()->paint(&painter, option,
                                              w->StringGrid1->model()->index(0, 1));
    }
    int white = 0; // text pixels, antialiased towards white
    for (int py = 0; py < cell.height(); ++py)
        for (int px = 0; px < cell.width(); ++px)
            white += qGray(cell.pixel(px, py)) > 160;
    EXPECT_EQ(QColor(cell.pixel(cell.width() - 1, cell.height() - 1)), QColor(Qt::black));
    EXPECT_GT(white, 0) << "the text is white";
}

TEST(QtOwnTexts, TheFileDialogSpeaksRussianWhateverTheLocale) {
    app();
    QtDialogs dialogs("thermostand");
    QStringList shown;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (d == nullptr)
            return;
        for (const QLabel* l : d->findChildren<QLabel*>())
            shown << l->text().remove('&');
        for (const QAbstractButton* b : d->findChildren<QAbstractButton*>())
            shown << b->text().remove('&');
        d->reject();
    });
    EXPECT_FALSE(dialogs.saveFileName({"Сохранить", "файлы .txt|*.txt", "", "", "", true}));
    for (const char* english : {"Look in:", "File name:", "Files of type:", "Save", "Cancel"})
        EXPECT_FALSE(shown.contains(QString::fromLatin1(english))) << english;
    EXPECT_TRUE(shown.contains(QStringLiteral("Отмена"))) << shown.join('|').toStdString();
}

} // namespace
