#pragma once
// The main window F_Glav: the stand's instrument panel. It reads its
// controls, drives the run session (run/session.h) with its timer and shows
// what each tick reports; the session, the port selection, the recorder and
// the devices live in their own classes. Secondary windows are reached
// through signals that the program's wiring connects, and reach this window
// through its plain methods (newArchive, start, applyCoefficients...).

#include <QMainWindow>
#include <QTimer>
#include <array>
#include <memory>
#include <string>

#include <QStringList>

#include "analysis/ui/step_window.h"
#include "common/dialogs.h"
#include "run/devices.h"
#include "run/port_selection.h"
#include "run/session.h"
#include "run/stand.h"
#include "run/tick_gate.h"
#include "storage/recorder.h"
#include "storage/settings.h"
#include "widgets/regulator_panels.h"

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

class HeaterLamp;
class SampleTable;
class TrendChart;

struct MainWindowServices {
    Stand& stand;
    UserDialogs& dialogs;
    StandDevices& devices; // the serial ports the port menu opens
    ArchiveRecorder& recorder;
    RunSession& session;      // over the same stand, devices and recorder
    TSettings settings;       // as loaded at start-up
    std::string settingsPath; // where they are saved at the end
};

class TF_Glav : public QMainWindow, public RegulatorPanels, public StandRunner {
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

    // False when the program may not drive the heater at all (the parallel
    // port or its guard could not be set up); the entry then ends the
    // program after the message.
    [[nodiscard]] bool heaterReady() const { return heaterReady_; }

    void Timer1Timer();
    // heaterWatch's slot: while the cycle is stopped with the heater left on
    // (or the alarm showing), one reading of the plant, nothing else.
    void watchWhileStopped();
    // Shows one tick's report on the displays (what Timer1Timer does after
    // the tick itself).
    void presentTick(const TickReport& r);
    // What the heater guard says: it took the heater off while the program
    // did not answer (told after the next tick, or at once while stopped),
    // or it is gone (heater 0, the run stopped, no start until a restart).
    void hearGuard();
    void setTimerInterval(int ms); // the interval window's "применить"
    [[nodiscard]] int timerInterval() const;
    // The byte the control cycle last wrote, which "стоп" leaves on.
    [[nodiscard]] std::uint8_t heaterByte() const { return s_.session.heaterByte(); }
    // What a command holds while no tick may run inside it.
    [[nodiscard]] TickGate& ticks() { return ticks_; }

    // What other windows and the program's wiring ask of this one.
    // "новый": true when an archive was chosen and its first configuration
    // record written, so "старт" may follow.
    bool newArchive() override;
    // "старт" and "стоп".
    void start();
    void stop();
    // The three coefficient texts typed into Regulator 1's or 2's fields and
    // taken with their "ok", checked and stored as a person's entry is.
    void applyCoefficients(int regulator, const QStringList& texts);
    // StandRunner: the step experiment in this window's run.
    [[nodiscard]] bool sensorFound() const override;
    bool startExperiment(const StepPlan& plan) override;
    [[nodiscard]] int intervalMs() const override { return timerInterval(); }

    // Commands, by the names of their controls.
    void Bt_StartClick() { start(); }
    void Button11Click() { stop(); } // стоп
    void N2Click() { (void)newArchive(); }
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
    // Under the chart: the archive being recorded, the sensor's port and the
    // heater's.
    QLabel* statusLine;

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
    void showStatus();
    void applyNumber(QLineEdit* edit, double& target);
    void runWaitingTick();
    // Timer1 follows the session: stopped (and runStopped told) once the
    // session no longer runs; the controls shown follow a step experiment's.
    void followSession();
    void showAlarm(const TickReport& r);
    void watchGuard();
    // What the session has to tell, in message boxes: at once after a
    // person's command, from the event loop after a tick or a reading.
    void showNotices();
    void showNoticesSoon();
    QString fixed(double v, const char* pattern) const;

    MainWindowServices s_;
    char sep_;
    PortSelection portSelection_;
    int SavedComPort_ = 1;
    bool heaterReady_ = true;
    bool shown_ = false;
    bool portChosen_ = false;
    bool destroyed_ = false;
    bool inTick_ = false;
    bool errorReportOpen_ = false;
    bool guardOffOpen_ = false;
    bool experimentShown_ = false; // the controls show a step experiment's
    bool noticesDue_ = false;
    TickGate ticks_;
    QSocketNotifier* guardNotifier_ = nullptr;
    QTimer* guardCheck_ = nullptr;
};

} // namespace thermo
