#include "app/main_window.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolButton>
#include <functional>
#include <tuple>

#include "common/numfmt.h"
#include "common/timefmt.h"
#include "io/lpt.h"
#include "widgets/fuzzy_panel.h"
#include "widgets/indicators.h"
#include "widgets/locale_sep.h"
#include "widgets/membership_chart.h"
#include "widgets/regulator_panels.h"
#include "widgets/rule_grid.h"
#include "widgets/sample_table.h"
#include "widgets/trend_chart.h"

namespace thermo {

namespace {

const QColor kAqua(0, 255, 255);
const QColor kRed(255, 0, 0);

QPushButton* button(QWidget* parent, const QString& name, const QString& text, const QRect& g) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setGeometry(g);
    return b;
}

void setPanelColour(QFrame* panel, const QColor& c) {
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, c);
    panel->setPalette(pal);
}

} // namespace

QString TF_Glav::programTitle() {
    return QStringLiteral("Thermostand");
}

TF_Glav::TF_Glav(MainWindowServices services, QWidget* parent)
    : QMainWindow(parent), s_(std::move(services)), sep_(decimalSeparator()),
      portSelection_(s_.devices, s_.dialogs),
      ticks_([this] { QTimer::singleShot(0, this, &TF_Glav::runWaitingTick); }) {
    setObjectName("F_Glav");
    setWindowTitle(programTitle());
    resize(1030, 764);
    useLayoutFont(this);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);
    // On time to the millisecond: a coarse timer may fire 5 % early, and a
    // tick 750 ms after the last would come before the sensor has converted.
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &TF_Glav::Timer1Timer);
    // "стоп" leaves the heater at its last command; this one keeps an eye on
    // the plant meanwhile. It runs for the window's whole life and does
    // nothing while the cycle runs or the heater is off.
    heaterWatch = new QTimer(this);
    heaterWatch->setObjectName("heaterWatch");
    heaterWatch->setInterval(Timer1->interval());
    heaterWatch->setTimerType(Qt::PreciseTimer);
    connect(heaterWatch, &QTimer::timeout, this, &TF_Glav::watchWhileStopped);
    heaterWatch->start();

    auto* central = new QWidget(this);
    setCentralWidget(central);
    upperBand = new QWidget(central);
    upperBand->setObjectName("upperBand");
    upperBand->setGeometry(0, 0, 1030, 377);
    buildMenu();
    buildRegulator1(upperBand);
    buildMeasurements(upperBand);
    buildRegulator2(upperBand);
    buildControl(upperBand);
    buildTrendArea(central);
    statusLine = new QLabel(this);
    statusLine->setObjectName("statusLine");
    statusBar()->addWidget(statusLine, 1);
    statusBar()->setSizeGripEnabled(false);
    FormCreate();
    watchGuard();
}

TF_Glav::~TF_Glav() {
    FormDestroy();
}

void TF_Glav::buildMenu() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("файл"));
    N2 = file->addAction(QStringLiteral("новый"), this, &TF_Glav::N2Click);
    N9 = file->addAction(QStringLiteral("архив"), this, &TF_Glav::archiveRequested);
    EXEL1 = file->addAction(QStringLiteral("сохранить"), this, &TF_Glav::printRequested);
    N11 = file->addAction(QStringLiteral("сохранить в *.WMF"), this, &TF_Glav::metafileRequested);
    N12 = file->addAction(QStringLiteral("в EXEL"), this, &TF_Glav::spreadsheetRequested);
    N13 = file->addAction(QStringLiteral("выход"), this, &QWidget::close);
    N2->setEnabled(false);

    QMenu* settings = menuBar()->addMenu(QStringLiteral("настройки"));
    N7 = settings->addAction(QStringLiteral("термы"), this, &TF_Glav::termsRequested);
    N8 = settings->addAction(QStringLiteral("скорость"), this, &TF_Glav::intervalRequested);

    QMenu* port = menuBar()->addMenu(QStringLiteral("порт"));
    const char* names[] = {"MCOM1", "MCOM2", "MCOM3", "COM41"};
    for (int n = 1; n <= 4; ++n) {
        QAction* a =
            port->addAction(QStringLiteral("COM&%1").arg(n), this, [this, n] { MCOM1Click(n); });
        a->setObjectName(names[n - 1]);
        a->setCheckable(true);
        a->setEnabled(false);
        portItems[static_cast<size_t>(n - 1)] = a;
    }
    port->addSeparator();
    MClosePort = port->addAction(QStringLiteral("&Close Port"), this, &TF_Glav::MClosePortClick);
    MClosePort->setEnabled(false);
    port->addSeparator();

    QMenu* help = menuBar()->addMenu(QStringLiteral("помощь"));
    N5 = help->addAction(QStringLiteral("инструкция")); // no action
    N10 = help->addAction(QStringLiteral("схема"), this, &TF_Glav::schemeRequested);
    N6 = help->addAction(QStringLiteral("о програме"), this, &TF_Glav::aboutRequested);
    for (auto [a, n] : {std::pair{N2, "N2"},
                        {N9, "N9"},
                        {EXEL1, "EXEL1"},
                        {N11, "N11"},
                        {N12, "N12"},
                        {N13, "N13"},
                        {N7, "N7"},
                        {N8, "N8"},
                        {N5, "N5"},
                        {N10, "N10"},
                        {N6, "N6"},
                        {MClosePort, "MClosePort"}})
        a->setObjectName(n);
}

void TF_Glav::buildRegulator1(QWidget* band) {
    regul1Box = buildRegulator1Box(band);
    buildFuzzy(regul1Box, QPoint(4, 14), s_.stand.params, s_.dialogs);
    fuzzyBox->setObjectName("P_Fuzzy");
    connect(Chart1, &MembershipChart::doubleClicked, this, &TF_Glav::termsRequested);
    connect(Chart2, &MembershipChart::doubleClicked, this, &TF_Glav::termsRequested);

    OkButtons ok{};
    QGroupBox* pid = buildRegulator1Terms(regul1Box, QRect(4, 212, 400, 160), PanelUse::Entry, &ok);
    std::tie(Button1, Button2, Button3) = std::tuple(ok[0], ok[1], ok[2]);
    makeLabel(pid, QStringLiteral(" сброс интегральной суммы-         "), QRect(52, 116, 186, 22));
    Button4 = button(pid, "Button4", QStringLiteral("сброс"), QRect(244, 116, 60, 24));

    buildOutputBoxes(regul1Box, QRect(408, 212, 181, 52), 54, QPoint(114, 22));
    buildTimerBox(regul1Box, QRect(408, 320, 181, 52), 20, QStringLiteral("с."), 20);
}

void TF_Glav::buildMeasurements(QWidget* band) {
    measurementsBox = makeBox(band, QStringLiteral("Текущие измерения"), QRect(593, 0, 292, 110));
    makeIndicatorRows(measurementsBox,
                      {{" температура-      ", &Ind_Temper, "Ind_Temper", "°C"},
                       {" ошибка-", &Ind_Oshibka, "Ind_Oshibka", "°C"},
                       {" выход с рег.-      ", &Ind_OUT_Regul, "Ind_OUT_Regul", "%"}},
                      QStringLiteral("00.00"));
}

void TF_Glav::buildRegulator2(QWidget* band) {
    OkButtons ok{};
    regul2Box = RegulatorPanels::buildRegulator2(band, PanelUse::Entry, &ok, &Button13).Regul_2;
    std::tie(Button5, Button12, Button6) = std::tuple(ok[0], ok[1], ok[2]);
}

void TF_Glav::buildControl(QWidget* band) {
    controlBox = makeBox(band, QStringLiteral("Управление"), QRect(885, 0, 145, 377));
    QGroupBox* heat = makeBox(controlBox, QStringLiteral("нагрев"), QRect(4, 14, 137, 50));
    SpeedButton1 = new QToolButton(heat);
    SpeedButton1->setObjectName("SpeedButton1");
    SpeedButton1->setText(QStringLiteral("вкл."));
    SpeedButton1->setGeometry(6, 18, 50, 24);
    pbUfo = new HeaterLamp(heat);
    pbUfo->setObjectName("pbUfo");
    pbUfo->setGeometry(58, 16, 17, 19);
    SpeedButton2 = new QToolButton(heat);
    SpeedButton2->setObjectName("SpeedButton2");
    SpeedButton2->setText(QStringLiteral("выкл."));
    SpeedButton2->setGeometry(80, 18, 50, 24);
    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    for (QToolButton* b : {SpeedButton1, SpeedButton2}) {
        b->setCheckable(true);
        group->addButton(b);
    }

    QGroupBox* run = makeBox(controlBox, QString(), QRect(4, 66, 137, 40));
    Bt_Start = button(run, "Bt_Start", QStringLiteral("старт"), QRect(6, 8, 60, 26));
    Button11 = button(run, "Button11", QStringLiteral("стоп"), QRect(70, 8, 60, 26));
    Bt_Start->setEnabled(false);

    QGroupBox* set = makeBox(controlBox, QStringLiteral("задание"), QRect(4, 108, 137, 48));
    Ed_Zadan = makeNumberEdit(set, "Ed_Zadan", QRect(6, 18, 58, 24));
    makeLabel(set, QStringLiteral("°C"), QRect(68, 20, 20, 20));
    Button15 = button(set, "Button15", QStringLiteral("ok"), QRect(92, 18, 38, 24));

    StringGrid1 = new SampleTable(controlBox);
    StringGrid1->setGeometry(4, 158, 137, 215);
    StringGrid1->followNewest();
}

void TF_Glav::buildTrendArea(QWidget* central) {
    Chart3 = new TrendChart(central);
    Chart3->setGeometry(0, 377, 1030, 764 - 377 - menuBar()->sizeHint().height());
    fillBelow(Chart3, 377); // the rest of the window, whatever its size

    QGroupBox* shim = makeBox(Chart3, QStringLiteral("ШИМ"), QRect(4, 70, 136, 56));
    Ind_Shim = makeIndicator(shim, "Ind_Shim", QStringLiteral("0.00"), QRect(6, 20, 40, 24));
    makeLabel(shim, QStringLiteral("%"), QRect(48, 22, 12, 20));
    UpDown2 = new QSpinBox(shim);
    UpDown2->setObjectName("UpDown2");
    UpDown2->setRange(1, 100);
    UpDown2->setValue(1);
    UpDown2->setGeometry(60, 20, 22, 24);
    UpDown2->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    UpDown2->findChild<QLineEdit*>()->hide(); // only the arrows: the value shows in Ind_Shim
    Check_shim = makeCheck(shim, "Check_shim", QStringLiteral("вкл."), QRect(84, 22, 50, 20));

    P_Alarm = new QFrame(Chart3);
    P_Alarm->setObjectName("P_Alarm");
    P_Alarm->setGeometry(4, 130, 121, 103);
    P_Alarm->setFrameStyle(QFrame::Panel | QFrame::Raised);
    P_Alarm->setAutoFillBackground(true);
    setPanelColour(P_Alarm, kAqua);
    QLabel* attention = makeLabel(P_Alarm, QStringLiteral("ВНИМАНИЕ"), QRect(4, 2, 113, 18));
    QFont bold = attention->font();
    bold.setBold(true);
    attention->setFont(bold);
    attention->setAlignment(Qt::AlignCenter);
    makeLabel(P_Alarm, QStringLiteral("температура"), QRect(4, 20, 113, 16))
        ->setAlignment(Qt::AlignCenter);
    makeLabel(P_Alarm, QStringLiteral("вышла за пред."), QRect(4, 36, 113, 16))
        ->setAlignment(Qt::AlignCenter);
    auto* limit = new QFrame(P_Alarm);
    limit->setGeometry(30, 54, 44, 22);
    limit->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    makeLabel(limit, QStringLiteral("125"), QRect(2, 2, 40, 18))->setAlignment(Qt::AlignCenter);
    makeLabel(P_Alarm, QStringLiteral("°C"), QRect(78, 56, 20, 18));
    Check_Alarm = makeCheck(P_Alarm, "Check_Alarm", QStringLiteral("вкл."), QRect(30, 80, 60, 20));
    Check_Alarm->setChecked(true);
    P_Alarm->hide();
}

void TF_Glav::FormCreate() {
    Stand& st = s_.stand;
    // 1-2: the parallel port was opened and chosen with the devices, and its
    // guard started.
    if (const std::optional<Notice> refusal = s_.session.startUpRefusal()) {
        heaterReady_ = false;
        s_.dialogs.message(refusal->icon, refusal->caption, refusal->text);
    }
    Timer1->stop();
    s_.devices.writeHeater(0);

    st.params = s_.settings.params;
    s_.session.setSafety(s_.settings.safety);
    SavedComPort_ = s_.settings.SavedComPort;
    st.state.Zadan = 33.5; // every run starts here, whatever the last one set
    st.Lamp_state = false;
    ruleGrid->fill();
    fillEditFields();

    // The add-on check boxes stay in step with the parameter set.
    struct Switch {
        QCheckBox* box;
        bool TControlParams::*field;
    };
    const Switch switches[] = {
        {Check_Reg1_Prop, &TControlParams::prop_1},   {Check_Reg1_Integ, &TControlParams::integ_1},
        {Check_Reg1_Diff, &TControlParams::diff_1},   {Check_Reg2_Prop, &TControlParams::prop_2},
        {Check_Reg2_Integ, &TControlParams::integ_2}, {Check_Reg2_Diff, &TControlParams::diff_2}};
    for (const Switch& sw : switches) {
        sw.box->setChecked(st.params.*sw.field);
        connect(sw.box, &QCheckBox::toggled, this,
                [this, f = sw.field](bool on) { s_.stand.params.*f = on; });
    }
    CycleControls& c = st.controls;
    connect(Check_Fuzzy, &QCheckBox::toggled, this, [&c](bool on) { c.Check_Fuzzy = on; });
    connect(Check_PID, &QCheckBox::toggled, this, [&c](bool on) { c.Check_PID = on; });
    connect(Check_shim, &QCheckBox::toggled, this, [&c](bool on) { c.Check_shim = on; });
    connect(Check_Alarm, &QCheckBox::toggled, this, [&c](bool on) { c.Check_Alarm = on; });
    connect(UpDown2, &QSpinBox::valueChanged, this, [&c](int v) { c.UpDown2 = v; });
    connect(SpeedButton1, &QToolButton::toggled, this, [&c](bool on) { c.SpeedButton1 = on; });
    c.Check_Alarm = Check_Alarm->isChecked();
    c.UpDown2 = UpDown2->value();
    c.intervalMs = Timer1->interval();

    connect(Bt_Start, &QPushButton::clicked, this, &TF_Glav::Bt_StartClick);
    connect(Button11, &QPushButton::clicked, this, &TF_Glav::Button11Click);
    const std::pair<QPushButton*, std::pair<QLineEdit*, double*>> numbers[] = {
        {Button15, {Ed_Zadan, &st.state.Zadan}},     {Button1, {Ed_Reg1_Prop, &st.params.C0_1}},
        {Button2, {Ed_Reg1_Integ, &st.params.C1_1}}, {Button3, {Ed_Reg1_Diff, &st.params.C2_1}},
        {Button5, {Ed_Reg2_Prop, &st.params.C0_2}},  {Button12, {Ed_Reg2_Integ, &st.params.C1_2}},
        {Button6, {Ed_Reg2_Diff, &st.params.C2_2}}};
    for (const auto& [b, target] : numbers) {
        connect(b, &QPushButton::clicked, this,
                [this, edit = target.first, value = target.second] { applyNumber(edit, *value); });
    }
    connect(Button4, &QPushButton::clicked, this, [&st] { st.state.Summa_1 = 0; });
    connect(Button13, &QPushButton::clicked, this, [&st] { st.state.Summa_2 = 0; });

    StringGrid1->table().clear(); // the header row "время", "°C", "ошибка"
    s_.session.snapshotConfig();
}

void TF_Glav::fillEditFields() {
    const TControlParams& p = s_.stand.params;
    const std::pair<QLineEdit*, double> fields[] = {{Ed_Zadan, s_.stand.state.Zadan},
                                                    {Ed_Reg2_Prop, p.C0_2},
                                                    {Ed_Reg2_Integ, p.C1_2},
                                                    {Ed_Reg2_Diff, p.C2_2},
                                                    {Ed_Reg1_Prop, p.C0_1},
                                                    {Ed_Reg1_Integ, p.C1_1},
                                                    {Ed_Reg1_Diff, p.C2_1}};
    for (const auto& [edit, value] : fields)
        edit->setText(QString::fromStdString(formatGeneral(value, sep_)));
}

void TF_Glav::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        // After the window has appeared, so a port message stands over it.
        QTimer::singleShot(0, this, &TF_Glav::FormShow);
    }
}

void TF_Glav::FormShow() {
    // A run whose byte reaches no heater looks like any other: say so before
    // anything else, once.
    if (const std::optional<Notice> absent = s_.session.heaterAbsence())
        s_.dialogs.message(absent->icon, absent->caption, absent->text);
    portSelection_.enumerate();
    portSelection_.SelectComPort(SavedComPort_);
    portChosen_ = true;
    syncMenu();
}

void TF_Glav::closeEvent(QCloseEvent* event) {
    FormDestroy();
    QMainWindow::closeEvent(event);
}

void TF_Glav::FormDestroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    Timer1->stop();
    heaterWatch->stop(); // the port closes below: no reading may follow
    // The goodbye below closes the tie this watches.
    if (guardCheck_)
        guardCheck_->stop();
    delete guardNotifier_;
    guardNotifier_ = nullptr;
    // The session switches the heater off before the save can wait for a
    // person (a failed save opens a message box, and a session ending
    // meanwhile would kill the program with the heater still on).
    s_.session.shutdown([this] {
        TSettings out = s_.settings;
        // A window that ends before it ever chose a port (the parallel port
        // failed at start) keeps the stored one for the next start.
        out.SavedComPort = portChosen_ ? portSelection_.CurrentComPort() : SavedComPort_;
        out.params = s_.stand.params;
        try {
            SaveSettings(s_.settingsPath, out, sep_);
        } catch (const std::exception& e) {
            s_.dialogs.errorReport(e.what());
        }
    });
}

void TF_Glav::showStatus() {
    // What the run records and drives, in view.
    const std::string& archive = s_.recorder.ArchiveName();
    const int com = portSelection_.CurrentComPort();
    const QString sensor = com >= 1 && com <= 4
                               ? QStringLiteral("COM%1 (%2)")
                                     .arg(com)
                                     .arg(QString::fromStdString(
                                         s_.settings.devices.com[static_cast<size_t>(com - 1)]))
                               : QStringLiteral("порт не выбран");
    const std::string heater = s_.devices.heaterPort();
    statusLine->setText(
        QStringLiteral("архив: %1    датчик: %2    нагреватель: %3")
            .arg(archive.empty() ? QStringLiteral("не выбран") : QString::fromStdString(archive))
            .arg(sensor)
            .arg(heater.empty() ? QStringLiteral("не подключён") : QString::fromStdString(heater)));
}

void TF_Glav::syncMenu() {
    showStatus();
    const PortMenuState& m = portSelection_.menu();
    for (size_t i = 0; i < 4; ++i) {
        portItems[i]->setEnabled(m.enabled[i]);
        portItems[i]->setChecked(m.checked[i]);
    }
    MClosePort->setEnabled(m.closeEnabled);
    N2->setEnabled(m.newEnabled);
}

void TF_Glav::MCOM1Click(int n) {
    stop();
    portSelection_.MCOM1Click(n);
    syncMenu();
}

void TF_Glav::MClosePortClick() {
    portSelection_.MClosePortClick();
    syncMenu();
}

void TF_Glav::start() {
    if (!s_.session.running()) {
        const bool found = portSelection_.reopenIfGone();
        syncMenu();
        if (!found)
            return;
    }
    // A running cycle keeps its rhythm: pressing "старт" again does not
    // put the next tick off.
    if (s_.session.start() && !Timer1->isActive())
        Timer1->start();
    showNotices();
}

void TF_Glav::stop() {
    s_.session.stop();
    followSession();
}

bool TF_Glav::sensorFound() const {
    return N2->isEnabled();
}

bool TF_Glav::startExperiment(const StepPlan& plan) {
    if (!s_.session.startExperiment(plan)) {
        showNotices();
        return false;
    }
    experimentShown_ = true;
    if (!Timer1->isActive())
        Timer1->start();
    return true;
}

void TF_Glav::followSession() {
    if (experimentShown_) {
        showControls(s_.stand.controls);
        experimentShown_ = s_.session.experiment() != nullptr;
    }
    if (!s_.session.running() && Timer1->isActive()) {
        Timer1->stop();
        emit runStopped();
    }
}

void TF_Glav::showControls(const CycleControls& c) {
    Check_Fuzzy->setChecked(c.Check_Fuzzy);
    Check_PID->setChecked(c.Check_PID);
    UpDown2->setValue(c.UpDown2);
    Check_shim->setChecked(c.Check_shim);
    if (c.SpeedButton1)
        SpeedButton1->setChecked(true);
    else
        SpeedButton2->setChecked(true); // the exclusive group releases "вкл."
}

void TF_Glav::setTimerInterval(int ms) {
    // QTimer counts anew from a change of a running timer's interval.
    Timer1->setInterval(ms);
    heaterWatch->setInterval(ms);
    s_.session.setIntervalMs(ms);
}

int TF_Glav::timerInterval() const {
    return Timer1->interval();
}

void TF_Glav::applyNumber(QLineEdit* edit, double& target) {
    const std::string text = edit->text().toStdString();
    if (const auto v = parseNumber(text, sep_)) {
        target = *v;
        return;
    }
    s_.dialogs.message(MessageKind::Plain, "", "Ошибочная запись числа: " + text);
    edit->selectAll();
    edit->setFocus();
}

bool TF_Glav::newArchive() {
    const bool chosen = s_.session.newArchive([this]() -> std::optional<std::string> {
        followSession(); // stopped before the dialog waits for a person
        FileDialogRequest req;
        req.title = "новый";
        req.filter = "файлы .txt|*.txt";
        req.defaultExt = "txt";
        req.initialDir = "Data";
        req.initialName = s_.recorder.ArchiveName();
        req.confirmOverwrite = false; // an existing archive is appended to
        return s_.dialogs.saveFileName(req);
    });
    if (chosen)
        Bt_Start->setEnabled(true);
    showStatus();
    Chart3->clearSeries();
    StringGrid1->table().clear();
    showNotices();
    return chosen;
}

void TF_Glav::applyCoefficients(int regulator, const QStringList& texts) {
    const bool r2 = regulator == 2;
    TControlParams& p = s_.stand.params;
    QLineEdit* const fields[3] = {r2 ? Ed_Reg2_Prop : Ed_Reg1_Prop,
                                  r2 ? Ed_Reg2_Integ : Ed_Reg1_Integ,
                                  r2 ? Ed_Reg2_Diff : Ed_Reg1_Diff};
    double* const targets[3] = {r2 ? &p.C0_2 : &p.C0_1, r2 ? &p.C1_2 : &p.C1_1,
                                r2 ? &p.C2_2 : &p.C2_1};
    for (int k = 0; k < 3 && k < texts.size(); ++k) {
        fields[k]->setText(texts[k]);
        applyNumber(fields[k], *targets[k]);
    }
}

void TF_Glav::showAlarm(const TickReport& r) {
    // The session plays or stops the sound; the panel is the window's.
    if (r.branch == OutputBranch::Alarm) {
        setPanelColour(P_Alarm, r.alarmRed ? kRed : kAqua);
        P_Alarm->show();
    } else {
        P_Alarm->hide();
    }
}

QString TF_Glav::fixed(double v, const char* pattern) const {
    return QString::fromStdString(formatFixed(v, pattern, sep_));
}

void TF_Glav::Timer1Timer() {
    // A message box of a previous tick runs its own event loop, in which the
    // timer keeps firing; one tick at a time.
    if (inTick_)
        return;
    if (!ticks_.admit())
        return; // a command is at work; this tick runs when it is done
    inTick_ = true;
    const TickReport r = s_.session.tick(localTimeOfDay());
    presentTick(r);
    followSession();
    emit tickPresented(r);
    inTick_ = false;
    showNoticesSoon();
}

void TF_Glav::watchGuard() {
    if (!s_.devices.guard())
        return;
    guardNotifier_ =
        new QSocketNotifier(s_.devices.guard()->descriptor(), QSocketNotifier::Read, this);
    connect(guardNotifier_, &QSocketNotifier::activated, this, &TF_Glav::hearGuard);
    // A guard that has stopped answering says nothing at all: look for its
    // overdue answers every second, not only at the next reading, which may
    // be 5 s away. (This is no sign of life to the guard: only a reading of
    // the plant is.)
    guardCheck_ = new QTimer(this);
    guardCheck_->setInterval(guard::kHeartbeatPeriod);
    connect(guardCheck_, &QTimer::timeout, this, &TF_Glav::hearGuard);
    guardCheck_->start();
}

void TF_Glav::hearGuard() {
    if (!guardNotifier_)
        return; // gone, and told
    switch (s_.session.hearGuard()) {
    case GuardNews::None:
        return;
    case GuardNews::SwitchedOff:
        // The next tick writes the command again.
        showNoticesSoon();
        return;
    case GuardNews::Gone:
        guardNotifier_->setEnabled(false); // the closed tie would wake it for ever
        guardNotifier_->deleteLater();
        guardNotifier_ = nullptr;
        guardCheck_->stop();
        followSession();
        showNoticesSoon();
        return;
    }
}

void TF_Glav::showNoticesSoon() {
    // A message box waits for its click in an event loop of its own, in
    // which Qt fires every timer but the one whose slot opened it. Opened
    // from a tick, it would leave the plant unread, with the heater on, for
    // as long as nobody clicks; opened from a turn of the event loop of its
    // own, the ticks go on beside it.
    if (noticesDue_)
        return;
    noticesDue_ = true;
    QTimer::singleShot(0, this, [this] {
        noticesDue_ = false;
        showNotices();
    });
}

void TF_Glav::showNotices() {
    // The cycle goes on in a box's own event loop while it waits for a
    // click; boxes for the same reason meanwhile would pile up, so one error
    // report and one guard warning at a time.
    auto once = [](bool& open, const std::function<void()>& show) {
        if (open)
            return;
        open = true;
        show();
        open = false;
    };
    for (const Notice& n : s_.session.takeNotices()) {
        switch (n.kind) {
        case Notice::Kind::Message:
            s_.dialogs.message(n.icon, n.caption, n.text);
            break;
        case Notice::Kind::ErrorReport:
            once(errorReportOpen_, [&] { s_.dialogs.errorReport(n.text); });
            break;
        case Notice::Kind::GuardOff:
            once(guardOffOpen_, [&] { s_.dialogs.message(n.icon, n.caption, n.text); });
            break;
        }
    }
}

void TF_Glav::runWaitingTick() {
    if (!ticks_.tickWaiting() || !Timer1->isActive())
        return; // the timer ticked meanwhile, or the run was stopped
    // The next tick comes a whole interval after this one, not at once
    // from the timer's own rhythm.
    Timer1->start();
    Timer1Timer();
}

void TF_Glav::watchWhileStopped() {
    // Like a tick, it keeps out of a command at work and tries again one
    // interval on.
    if (inTick_ || ticks_.held() || !s_.session.watchWhileStopped())
        return;
    inTick_ = true;
    const TickReport r = s_.session.checkWhileStopped();
    if (r.readWhileStopped)
        Ind_Temper->setText(fixed(*r.readWhileStopped, "0.00"));
    if (!r.checkByteMismatch)
        showAlarm(r);
    inTick_ = false;
    showNoticesSoon();
}

void TF_Glav::presentTick(const TickReport& r) {
    const Stand& st = s_.stand;
    if (r.stop != TickReport::Stop::None) {
        // The session has stopped the run (the alarm's sound with it) and
        // tells why; nothing is left for the panel to warn of.
        P_Alarm->hide();
        return;
    }
    if (r.nothingMeasured)
        return; // the displays keep what they show until a reading passes

    if (r.fuzzyEvaluated) {
        showTermIndicators(r.fuzzy.addonIndicators, Ind_Reg1_Prop, Ind_Reg1_Integ, Ind_Reg1_Diff,
                           sep_);
        showStep(r.fuzzy, st.params, sep_);
    }
    if (r.membershipChartsCleared) { // Regul_Clear: Regulator 1 off or manual mode
        Chart1->clear();
        Chart2->clear();
    }
    showTermIndicators(r.pidIndicators, Ind_Reg2_Prop, Ind_Reg2_Integ, Ind_Reg2_Diff, sep_);
    if (r.manual)
        Ind_Shim->setText(fixed(r.manualPercent, "0.#"));

    showAlarm(r);
    if (r.lampDrawn)
        pbUfo->draw(r.lampRed);

    ind_taimer->setText(fixed(Timer1->interval() / 1000.0, "0.00"));
    Ind_OUT_Regul1->setText(fixed(st.state.OUT_Regul1 * kCountsToPercent, "0.00"));
    Ind_OUT_Regul2->setText(fixed(st.state.OUT_Regul2 * kCountsToPercent, "0.00"));
    Ind_Temper->setText(fixed(st.state.Temper, "0.00"));
    Ind_Oshibka->setText(fixed(st.state.Oshibka, "0.00"));
    Ind_OUT_Regul->setText(fixed(st.state.OUT_Regul * kCountsToPercent, "0.00"));

    if (r.sampleAdded) {
        const int takt = st.state.Takt;
        Chart3->addPoint(takt, st.state.Temper, st.state.Zadan, r.timeOfDay);
        SampleTableModel& table = StringGrid1->table();
        table.setGridRowCount(takt);
        table.setGridRow(takt - 2, QString::fromStdString(formatTimeOfDay(r.timeOfDay)),
                         fixed(st.state.Temper, "0.##"), fixed(st.state.Oshibka, "0.##"));
    }
}

} // namespace thermo
