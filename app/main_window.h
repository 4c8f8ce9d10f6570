#pragma once
// The main window F_Glav: the stand's instrument panel. It reads its
// controls, runs the control cycle's tick on its timer and shows the tick's
// report; the cycle, the port selection, the recorder and the devices live in
// their own classes. Secondary windows are reached through signals that the
// program entry connects.

#include <QMainWindow>
#include <QTimer>
#include <array>
#include <memory>
#include <string>

#include "run/cycle.h"
#include "run/devices.h"
#include "run/port_selection.h"
#include "run/stand.h"
#include "run/tick_gate.h"
#include "widgets/regulator_panels.h"
#include "common/dialogs.h"
#include "storage/recorder.h"
#include "storage/settings.h"

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSocketNotifier;
class QSpinBox;
class QToolButton;

namespace thermo {

class AlarmSound;
class HeaterLamp;
class SampleTable;
class TrendChart;

struct MainWindowServices {
    Stand& stand;
    UserDialogs& dialogs;
    StandDevices& devices;
    ArchiveRecorder& recorder;
    TSettings settings;          // as loaded at start-up
    std::string settingsPath;    // where they are saved at the end
    AlarmSound* sound = nullptr; // none: silent
};

class TF_Glav : public QMainWindow, public RegulatorPanels {
    Q_OBJECT
public:
    explicit TF_Glav(MainWindowServices services, QWidget* parent = nullptr);
    ~TF_Glav() override;

    // The program's title, the window's caption.
    static QString programTitle();

    // Ports enumerated and the stored port opened; run once when first shown.
    void FormShow();
    // Port stored, settings saved, heater 0, port purged and closed. Runs
    // once, from the close event or the destructor.
    void FormDestroy();

    // False when the parallel-port connection could not be made; the entry
    // then ends the program after the message.
    [[nodiscard]] bool lptReady() const { return lptReady_; }

    void Timer1Timer();
    // heaterWatch's slot: while the cycle is stopped with the heater left on
    // (or the alarm showing), one reading of the plant, nothing else.
    void watchWhileStopped();
    // Shows one tick's report on the displays (what Timer1Timer does after
    // the tick itself).
    void presentTick(const TickReport& r);
    void reportTickError(const std::string& text);
    // What the heater guard says: it took the heater off while the program
    // did not answer (told after the next tick, or at once while stopped),
    // or it is gone (heater 0, the run stopped, no start until a restart).
    void hearGuard();
    void setTimerInterval(int ms); // the interval window's "применить"
    [[nodiscard]] int timerInterval() const;
    // The byte the control cycle last wrote, which "стоп" leaves on.
    [[nodiscard]] std::uint8_t heaterByte() const { return cycle_.lastHeaterByte(); }
    // What a command holds while no tick may run inside it.
    [[nodiscard]] TickGate& ticks() { return ticks_; }

    // Commands.
    void Bt_StartClick();
    void Button11Click(); // стоп
    // новый: true when an archive was chosen and its first configuration
    // record written, so "старт" may follow.
    bool N2Click();
    void MCOM1Click(int n);
    void MClosePortClick();

    // Controls, by their names, for the windows and tests that drive them.
    // (The regulators' own, shared with the archive window: RegulatorPanels.)
    QLineEdit* Ed_Zadan;
    QPushButton *Button15, *Button1, *Button2, *Button3, *Button5, *Button12, *Button6;
    QPushButton *Button4, *Button13, *Bt_Start, *Button11;
    QCheckBox *Check_shim, *Check_Alarm;
    QSpinBox* UpDown2;
    QToolButton *SpeedButton1, *SpeedButton2;
    HeaterLamp* pbUfo;
    QLabel *Ind_Temper, *Ind_Oshibka, *Ind_OUT_Regul, *Ind_Shim;
    TrendChart* Chart3;
    SampleTable* StringGrid1;
    QFrame* P_Alarm;
    QTimer* Timer1;
    QTimer* heaterWatch; // at the measurement interval, idle while Timer1 runs
    QGroupBox *regul1Box, *measurementsBox, *regul2Box, *controlBox;
    QWidget* upperBand;
    QAction *N2, *N9, *EXEL1, *N11, *N12, *N13, *N7, *N8, *N6, *N10, *N5;
    std::array<QAction*, 4> portItems{}; // MCOM1, MCOM2, MCOM3, COM41
    QAction* MClosePort;

    [[nodiscard]] const PortSelection& ports() const { return portSelection_; }

    // The window's controls set as a person would set them: the regulators'
    // switches, manual mode and its value, forced heat.
    void showControls(const CycleControls& c);

signals:
    void termsRequested(); // "настройки" -> "термы", double click on a membership chart
    void archiveRequested();     // "файл" -> "архив"
    void intervalRequested();    // "настройки" -> "скорость"
    void schemeRequested();      // "помощь" -> "схема"
    void aboutRequested();       // "помощь" -> "о програме"
    void printRequested();       // "файл" -> "сохранить"
    void metafileRequested();    // "файл" -> "сохранить в *.WMF"
    void spreadsheetRequested(); // "файл" -> "в EXEL"
    // Just before a tick runs, when its controls may still be set.
    void aboutToTick();
    // After each tick's displays, with its report.
    void tickPresented(const thermo::TickReport& r);
    // Timer1 was stopped while it ran: "стоп", "новый", a port chosen, a
    // tick's safety stop, the heater guard gone.
    void runStopped();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void buildMenu();
    void buildRegulator1(QWidget* band);
    void buildMeasurements(QWidget* band);
    void buildRegulator2(QWidget* band);
    void buildControl(QWidget* band);
    void buildTrendArea(QWidget* central);
    void fillEditFields();
    void syncMenu();
    void applyNumber(QLineEdit* edit, double& target);
    void runWaitingTick();
    void stopRun();
    void showAlarm(const TickReport& r);
    void watchGuard();
    void reportGuardOff();
    QString fixed(double v, const char* pattern) const;

    MainWindowServices s_;
    char sep_;
    RecorderAdapter recorderAdapter_;
    ControlCycle cycle_;
    PortSelection portSelection_;
    int SavedComPort_ = 1;
    bool lptReady_ = true;
    bool shown_ = false;
    bool portChosen_ = false;
    bool destroyed_ = false;
    bool inTick_ = false;
    bool errorReportOpen_ = false;
    TickGate ticks_;
    QTimer* guardBeat_ = nullptr;
    QSocketNotifier* guardNotifier_ = nullptr;
    bool guardOffPending_ = false;
    bool guardOffOpen_ = false;
};

} // namespace thermo
