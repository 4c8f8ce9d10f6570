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

#include "common/numfmt.h"
#include "run/session.h"
#include "storage/recorder.h"
#include "widgets/locale_sep.h"

namespace thermo {

StepWindow::StepWindow(StandRunner& runner, RunSession& session, const ArchiveRecorder& recorder,
                       UserDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), runner_(runner), session_(session), recorder_(recorder),
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
    holdBox = spin("holdTicks", static_cast<int>(kMinHoldTicks),
                   maxTicks - static_cast<int>(kMinFitSamples), 10);
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
    showIdle(QStringLiteral("ручной режим: P0 в течение N0 тактов, затем P1 в течение N1 "
                            "тактов, затем нагреватель выключается; запись — в архив, как "
                            "по команде \"новый\""));
}

void StepWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    showPlanLength(); // the interval may have changed since
}

void StepWindow::showPlanLength() {
    const double interval = runner_.intervalMs() / 1000.0;
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

bool StepWindow::running() const {
    return session_.experiment() != nullptr;
}

bool StepWindow::start() {
    if (running())
        return false;
    const StepPlan plan{fromBox->value(), toBox->value(), holdBox->value(), ticksBox->value()};
    if (!validStepPlan(plan)) {
        dialogs_.message(MessageKind::Plain, "",
                         "Мощность до и после ступеньки должна различаться, а тактов вместе "
                         "должно быть не больше " +
                             std::to_string(kMaxStepTicks) + ".");
        return false;
    }
    if (!runner_.sensorFound()) {
        dialogs_.message(MessageKind::Plain, "",
                         "Датчик не обнаружен: выберите порт с датчиком в меню \"порт\".");
        return false;
    }
    if (!runner_.newArchive()) {
        showIdle(QStringLiteral("архив не выбран: опыт не начат"));
        return false;
    }
    if (!runner_.startExperiment(plan)) { // the heater guard is gone: the main window said so
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
    if (!running())
        return;
    session_.abandonExperiment();
    status->setText(QStringLiteral("опыт прерывается: следующий такт выключит нагреватель"));
    abandonButton->setEnabled(false);
}

void StepWindow::followRun() {
    if (std::optional<ExperimentEnd> end = session_.takeExperimentEnd()) {
        showEnd(*end);
        return;
    }
    const StepExperiment* e = session_.experiment();
    if (!e)
        return;
    progress->setValue(static_cast<int>(100 * e->ticksRun() / e->totalTicks()));
    status->setText(QStringLiteral("такт %1 из %2, мощность %3 %")
                        .arg(e->ticksRun())
                        .arg(e->totalTicks())
                        .arg(e->percentAt(e->ticksRun())));
}

void StepWindow::showEnd(const ExperimentEnd& end) {
    const QString archive = QString::fromStdString(recorder_.ArchiveName());
    switch (end.how) {
    case ExperimentEnd::How::Stopped:
        // Stopped from outside: "стоп", another port, a safety stop. The
        // heater keeps the last tick's command, as after any "стоп", and the
        // main window watches the plant meanwhile.
        if (end.heaterByte != 0) {
            // Say so, since the experiment, not the user, chose that power.
            showIdle(QStringLiteral("опыт прерван; нагреватель остался включённым (%1 %), как "
                                    "после любого «стоп»; записанное — в архиве %2")
                         .arg(std::lround(end.heaterByte * kCountsToPercent))
                         .arg(archive));
        } else {
            showIdle(QStringLiteral("опыт прерван; записанное — в архиве %1").arg(archive));
        }
        return;
    case ExperimentEnd::How::Abandoned:
        showIdle(QStringLiteral("опыт прерван, нагреватель выключен; записанное — в архиве %1")
                     .arg(archive));
        return;
    case ExperimentEnd::How::Completed:
        break;
    }
    progress->setValue(100);
    const StepSpan& span = end.span;
    showIdle(QStringLiteral("опыт закончен, нагреватель выключен: архив %1, ступенька — "
                            "отсчёты %2-%3")
                 .arg(archive)
                 .arg(span.first)
                 .arg(span.last));
    // After the tick: opening the archive may have messages to show.
    QTimer::singleShot(0, this,
                       [this, archive, first = span.first, last = span.last,
                        baseline = span.baseline, plan = end.plan] {
                           emit finished(archive, first, last, baseline, plan.fromPct, plan.toPct);
                       });
}

} // namespace thermo
