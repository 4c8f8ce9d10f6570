#include "analysis/ui/step_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <filesystem>

#include "app/main_window.h"
#include "common/numfmt.h"
#include "widgets/locale_sep.h"
#include "storage/archive_record.h"

namespace thermo {

StepWindow::StepWindow(TF_Glav& main, Stand& stand, ArchiveRecorder& recorder, UserDialogs& dialogs,
                       QWidget* parent)
    : QWidget(parent, Qt::Window), main_(main), stand_(stand), recorder_(recorder),
      dialogs_(dialogs) {
    setWindowTitle(QString::fromUtf8(kStepWindowTitle));
    setAttribute(Qt::WA_QuitOnClose, false);
    auto spin = [this](const char* name, int lo, int hi, int value) {
        auto* b = new QSpinBox(this);
        b->setObjectName(name);
        b->setRange(lo, hi);
        b->setValue(value);
        connect(b, &QSpinBox::valueChanged, this, [this] { showPlanLength(); });
        return b;
    };
    const int maxTicks = static_cast<int>(kMaxStepTicks);
    fromBox = spin("fromPercent", 0, 100, 0);
    toBox = spin("toPercent", 0, 100, 50);
    holdBox = spin("holdTicks", 1, maxTicks - static_cast<int>(kMinFitSamples), 10);
    // A plant of about 3 min wants 1.5 time constants and its dead time.
    ticksBox = spin("stepTicks", static_cast<int>(kMinFitSamples), maxTicks - 1, 600);
    intervalLabel = new QLabel(this);
    status = new QLabel(this);
    status->setWordWrap(true);
    progress = new QProgressBar(this);
    progress->setRange(0, 100);
    progress->setValue(0);
    startButton = new QPushButton(QStringLiteral("пуск"), this);
    startButton->setObjectName("startStep");
    abandonButton = new QPushButton(QStringLiteral("прервать"), this);
    abandonButton->setObjectName("abandonStep");
    abandonButton->setEnabled(false);

    auto* grid = new QGridLayout;
    auto row = [&](int r, const QString& text, QSpinBox* box, const QString& unit) {
        grid->addWidget(new QLabel(text, this), r, 0);
        grid->addWidget(box, r, 1);
        grid->addWidget(new QLabel(unit, this), r, 2);
    };
    row(0, QStringLiteral("мощность до ступеньки P0"), fromBox, QStringLiteral("%"));
    row(1, QStringLiteral("мощность после ступеньки P1"), toBox, QStringLiteral("%"));
    row(2, QStringLiteral("тактов при P0 (N0)"), holdBox, QString());
    row(3, QStringLiteral("тактов при P1 (N1)"), ticksBox, QString());
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(startButton);
    buttons->addWidget(abandonButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(intervalLabel);
    layout->addWidget(progress);
    layout->addWidget(status);
    layout->addLayout(buttons);

    connect(startButton, &QPushButton::clicked, this, [this] { (void)start(); });
    connect(abandonButton, &QPushButton::clicked, this, &StepWindow::abandon);
    connect(&main_, &TF_Glav::aboutToTick, this, &StepWindow::beforeTick);
    connect(&main_, &TF_Glav::tickPresented, this, &StepWindow::afterTick);
    connect(&main_, &TF_Glav::runStopped, this, &StepWindow::runStopped);
    showIdle(QStringLiteral("ручной режим: P0 в течение N0 тактов, затем P1 в течение N1 "
                            "тактов, затем нагреватель выключается; запись — в архив, как "
                            "по команде \"новый\""));
}

void StepWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    showPlanLength(); // the interval may have changed since
}

void StepWindow::showPlanLength() {
    const double interval = main_.timerInterval() / 1000.0;
    const long ticks = holdBox->value() + ticksBox->value() + 1;
    const long seconds = std::lround(ticks * interval);
    intervalLabel->setText(
        QStringLiteral("интервал %1 с; опыт займёт %2 мин %3 с")
            .arg(QString::fromStdString(formatFixed(interval, "0.##", decimalSeparator())))
            .arg(seconds / 60)
            .arg(seconds % 60));
}

void StepWindow::showIdle(const QString& text) {
    status->setText(text);
    startButton->setEnabled(true);
    abandonButton->setEnabled(false);
    for (QSpinBox* b : {fromBox, toBox, holdBox, ticksBox})
        b->setEnabled(true);
}

bool StepWindow::start() {
    if (experiment_)
        return false;
    const StepPlan plan{fromBox->value(), toBox->value(), holdBox->value(), ticksBox->value()};
    if (!validStepPlan(plan)) {
        dialogs_.message(MessageKind::Plain, "",
                         "Мощность до и после ступеньки должна различаться, а тактов вместе "
                         "должно быть не больше " +
                             std::to_string(kMaxStepTicks) + ".");
        return false;
    }
    if (!main_.N2->isEnabled()) {
        dialogs_.message(MessageKind::Plain, "",
                         "Датчик не обнаружен: выберите порт с датчиком в меню \"порт\".");
        return false;
    }
    if (!main_.N2Click()) {
        showIdle(QStringLiteral("архив не выбран: опыт не начат"));
        return false;
    }
    // The run appends to an archive that may hold samples already.
    std::error_code ec;
    const auto size = std::filesystem::file_size(recorder_.ArchiveName(), ec);
    experiment_.emplace(plan, ec ? 0 : static_cast<std::size_t>(size / kSampleRecordSize));
    closing_ = false;
    main_.Bt_StartClick();
    if (!main_.Timer1->isActive()) { // the heater guard is gone: the main window said so
        experiment_.reset();
        showIdle(QStringLiteral("опыт не начат"));
        return false;
    }
    progress->setValue(0);
    status->setText(
        QStringLiteral("опыт идёт: архив %1").arg(QString::fromStdString(recorder_.ArchiveName())));
    startButton->setEnabled(false);
    abandonButton->setEnabled(true);
    for (QSpinBox* b : {fromBox, toBox, holdBox, ticksBox})
        b->setEnabled(false);
    return true;
}

void StepWindow::abandon() {
    if (!experiment_)
        return;
    experiment_->abandon();
    status->setText(QStringLiteral("опыт прерывается: следующий такт выключит нагреватель"));
    abandonButton->setEnabled(false);
}

void StepWindow::beforeTick() {
    if (!experiment_)
        return;
    CycleControls c = stand_.controls;
    experiment_->beforeTick(c);
    main_.showControls(c);
    stand_.controls.stepExperiment = c.stepExperiment; // no control shows it
}

void StepWindow::afterTick(const TickReport& r) {
    if (!experiment_ || r.stop != TickReport::Stop::None)
        return; // a safety stop ended the run: runStopped has told
    StepExperiment& e = *experiment_;
    e.afterTick(r, stand_.state.Temper);
    progress->setValue(static_cast<int>(100 * e.ticksRun() / e.totalTicks()));
    if (!e.finished()) {
        status->setText(QStringLiteral("такт %1 из %2, мощность %3 %")
                            .arg(e.ticksRun())
                            .arg(e.totalTicks())
                            .arg(e.percentAt(e.ticksRun())));
        return;
    }
    const StepSpan span = e.span(main_.timerInterval() / 1000.0);
    const bool abandoned = e.abandoned();
    const StepPlan plan = e.plan();
    closing_ = true;
    main_.Button11Click();
    experiment_.reset();
    stand_.controls.stepExperiment = false;
    closing_ = false;
    const QString archive = QString::fromStdString(recorder_.ArchiveName());
    if (abandoned) {
        showIdle(QStringLiteral("опыт прерван, нагреватель выключен; записанное — в архиве %1")
                     .arg(archive));
        return;
    }
    progress->setValue(100);
    showIdle(QStringLiteral("опыт закончен, нагреватель выключен: архив %1, ступенька — "
                            "отсчёты %2-%3")
                 .arg(archive)
                 .arg(span.first)
                 .arg(span.last));
    // After the tick: opening the archive may have messages to show.
    QTimer::singleShot(0, this, [this, archive, span, plan] {
        emit finished(archive, span.first, span.last, plan.fromPct, plan.toPct);
    });
}

void StepWindow::runStopped() {
    if (!experiment_ || closing_)
        return;
    // Stopped from outside: "стоп", another port, a safety stop. The heater
    // keeps the last tick's command, as after any "стоп", and the main
    // window watches the plant meanwhile; the manual mode is taken back, so
    // a new "старт" does not go on heating at P1.
    experiment_.reset();
    stand_.controls.stepExperiment = false;
    CycleControls c = stand_.controls;
    c.Check_shim = false;
    main_.showControls(c);
    const QString archive = QString::fromStdString(recorder_.ArchiveName());
    if (main_.heaterByte() != 0) {
        // "стоп" leaves the heater as the last tick set it: say so, since
        // the experiment, not the user, chose that power.
        showIdle(QStringLiteral("опыт прерван; нагреватель остался включённым (%1 %), как после "
                                "любого «стоп»; записанное — в архиве %2")
                     .arg(std::lround(main_.heaterByte() * 0.427)) // counts shown as percent
                     .arg(archive));
        return;
    }
    showIdle(QStringLiteral("опыт прерван; записанное — в архиве %1").arg(archive));
}

} // namespace thermo
