#include "analysis/ui/identify_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

#include "analysis/step_span.h"
#include "common/numfmt.h"
#include "widgets/locale_sep.h"

namespace thermo {

namespace {

const char* const kHeadings[] = {"Kc, %/°C", "Ti, с", "Td, с", "C0_2", "C1_2",
                                 "C2_2",     "C0_1",  "C1_1",  "C2_1"};
const QColor kSampleColour(0, 160, 80);
const QColor kModelColour(200, 0, 0);

constexpr int kSimcPidRow = 1; // the rule the exercise recommends first

} // namespace

QString coefficientText(double v, char sep) {
    if (!std::isfinite(v))
        return QStringLiteral("—");
    // "0.##" keeps a coefficient of 48.3 readable; a small one such as an
    // integral gain of 0.0123 per tick keeps three significant digits
    // instead of turning into 0.01.
    const int magnitude = v == 0 ? 0 : static_cast<int>(std::floor(std::log10(std::fabs(v))));
    const int decimals = std::clamp(2 - magnitude, 2, 8);
    return QString::fromStdString(formatFixed(v, "0." + std::string(decimals, '#'), sep));
}

QString tuningHeading(std::size_t column) {
    return column < std::size(kHeadings) ? QString::fromUtf8(kHeadings[column]) : QString();
}

QString modelText(const StepIdentification& id, double intervalS, char sep) {
    const FopdtFit& fit = id.fit;
    const FopdtModel& m = fit.model;
    auto shown = [sep](double v) { return coefficientText(v, sep); };
    return QStringLiteral("модель: K = %1 ± %2 °C/%,  τ = %3 ± %4 с,  θ = %5 ± %6 с,  "
                          "y0 = %7 ± %8 °C,  СКО = %9 °C;  интервал %10 с")
        .arg(shown(m.gain), shown(fit.gainCi), shown(m.tau), shown(fit.tauCi), shown(m.deadTime),
             shown(fit.deadTimeCi), shown(m.y0), shown(fit.y0Ci), shown(fit.rms))
        .arg(shown(intervalS));
}

void setUpStepFitChart(QCustomPlot& chart) {
    chart.xAxis->setLabel(QStringLiteral("время от ступеньки, с"));
    chart.yAxis->setLabel(QStringLiteral("°C"));
    QCPGraph* samples = chart.addGraph();
    samples->setName(QStringLiteral("отсчёты"));
    samples->setLineStyle(QCPGraph::lsNone);
    samples->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, kSampleColour, 5));
    QCPGraph* model = chart.addGraph();
    model->setName(QStringLiteral("модель"));
    model->setPen(QPen(kModelColour, 1.5));
    chart.legend->setVisible(true);
    chart.axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignRight | Qt::AlignBottom);
}

void drawStepFit(QCustomPlot& chart, const StepSpan& span, const StepIdentification& id) {
    const FopdtModel& m = id.fit.model;
    QCPGraph* samples = chart.graph(0);
    QCPGraph* model = chart.graph(1);
    samples->setData(QVector<double>(span.t.begin(), span.t.end()),
                     QVector<double>(span.y.begin(), span.y.end()), true);
    model->data()->clear();
    // A refused fit that found a model (too short, poor fit) is drawn too:
    // it shows what went wrong.
    if (std::isfinite(m.tau) && m.tau > 0 && !span.t.empty()) {
        constexpr int kPoints = 400; // smooth, and the dead time's corner kept
        const double t0 = span.t.front(), t1 = span.t.back();
        QVector<double> x, y;
        for (int i = 0; i <= kPoints; ++i) {
            const double t = t0 + (t1 - t0) * i / kPoints;
            x.push_back(t);
            y.push_back(fopdtResponse(m, id.deltaPct, t));
        }
        model->setData(x, y, true);
    }
    chart.rescaleAxes();
    // Rescaled to the data, the response's top (and its start) lay on the
    // plot's edge, cut: a twentieth of the span above and below keeps every
    // sample's circle whole.
    const QCPRange y = chart.yAxis->range();
    const double pad = std::max(y.size() / 20, 0.1);
    chart.yAxis->setRange(y.lower - pad, y.upper + pad);
}

IdentifyWindow::IdentifyWindow(const ArchiveReader& archive, UserDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), archive_(archive), dialogs_(dialogs), sep_(decimalSeparator()) {
    setWindowTitle(QString::fromUtf8(kIdentifyWindowTitle));
    setAttribute(Qt::WA_QuitOnClose, false);

    auto spin = [this](const char* name) {
        auto* b = new QSpinBox(this);
        b->setObjectName(name);
        b->setRange(1, kMaxSamplePosition);
        return b;
    };
    auto edit = [this](const char* name, const QString& text) {
        auto* e = new QLineEdit(text, this);
        e->setObjectName(name);
        e->setMaximumWidth(60);
        return e;
    };
    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        return b;
    };
    firstBox = spin("firstSample");
    lastBox = spin("lastSample");
    baselineBox = spin("baselineSamples");
    baselineBox->setRange(static_cast<int>(kMinLevelSamples) - 1, kMaxSamplePosition);
    baselineBox->setValue(static_cast<int>(kDefaultBaseline));
    takeFirst = button("takeFirst", QStringLiteral("начало — выбранный отсчёт"));
    takeLast = button("takeLast", QStringLiteral("конец — выбранный отсчёт"));
    fromEdit = edit("fromPercent", QStringLiteral("0"));
    toEdit = edit("toPercent", QStringLiteral("50"));
    stepEdit = edit("stepSize", QStringLiteral("10"));
    identifyButton = button("identify", QStringLiteral("рассчитать"));
    apply2 = button("apply2", QStringLiteral("применить к регулятору 2"));
    apply1 = button("apply1", QStringLiteral("применить к регулятору 1"));
    modelLabel = new QLabel(this);
    noteLabel = new QLabel(this);
    noteLabel->setWordWrap(true);
    appliedLabel = new QLabel(this);
    appliedLabel->setWordWrap(true);

    auto* grid = new QGridLayout;
    auto label = [this](const QString& text) { return new QLabel(text, this); };
    grid->addWidget(label(QStringLiteral("участок: с отсчёта")), 0, 0);
    grid->addWidget(firstBox, 0, 1);
    grid->addWidget(label(QStringLiteral("по отсчёт")), 0, 2);
    grid->addWidget(lastBox, 0, 3);
    grid->addWidget(takeFirst, 0, 4);
    grid->addWidget(takeLast, 0, 5);
    grid->addWidget(label(QStringLiteral("мощность до ступеньки, %")), 1, 0);
    grid->addWidget(fromEdit, 1, 1);
    grid->addWidget(label(QStringLiteral("после, %")), 1, 2);
    grid->addWidget(toEdit, 1, 3);
    grid->addWidget(label(QStringLiteral("скачок задания для проверки, °C")), 1, 4);
    grid->addWidget(stepEdit, 1, 5);
    grid->addWidget(identifyButton, 1, 6);
    grid->addWidget(label(QStringLiteral("отсчётов до начала")), 2, 0);
    grid->addWidget(baselineBox, 2, 1);
    grid->setColumnStretch(7, 1);
    auto* hint = label(QStringLiteral(
        "начало — отсчёт такта, на котором переключена мощность, конец — последний отсчёт "
        "отклика; можно выделить строки в таблице архива. Отсчёты до начала — уровень до "
        "ступеньки: температура на них должна стоять"));
    hint->setWordWrap(true);

    chart = new QCustomPlot(this);
    chart->setObjectName("identifyChart");
    chart->setMinimumHeight(220);
    setUpStepFitChart(*chart);

    table = new QTableWidget(static_cast<int>(kTuningRules.size()), std::size(kHeadings), this);
    table->setObjectName("tuningTable");
    for (int c = 0; c < table->columnCount(); ++c)
        table->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromUtf8(kHeadings[c])));
    for (std::size_t r = 0; r < kTuningRules.size(); ++r)
        table->setVerticalHeaderItem(static_cast<int>(r), new QTableWidgetItem(QString::fromUtf8(
                                                              tuningRuleName(kTuningRules[r]))));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->selectRow(kSimcPidRow);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(appliedLabel, 1);
    bottom->addWidget(apply2);
    bottom->addWidget(apply1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(hint);
    layout->addWidget(chart, 1);
    layout->addWidget(modelLabel);
    layout->addWidget(table);
    layout->addWidget(noteLabel);
    layout->addLayout(bottom);
    resize(900, 640);

    connect(takeFirst, &QPushButton::clicked, this, [this] {
        if (selected_ > 0)
            firstBox->setValue(static_cast<int>(selected_));
    });
    connect(takeLast, &QPushButton::clicked, this, [this] {
        if (selected_ > 0)
            lastBox->setValue(static_cast<int>(selected_));
    });
    connect(identifyButton, &QPushButton::clicked, this, [this] { (void)identify(); });
    connect(apply2, &QPushButton::clicked, this, [this] { apply(2); });
    connect(apply1, &QPushButton::clicked, this, [this] { apply(1); });
    clearResult();
}

void IdentifyWindow::setSpan(std::size_t first, std::size_t last) {
    firstBox->setValue(static_cast<int>(first));
    lastBox->setValue(static_cast<int>(last));
}

void IdentifyWindow::setBaseline(std::size_t samples) {
    baselineBox->setValue(static_cast<int>(samples));
}

void IdentifyWindow::setStep(double fromPct, double toPct) {
    fromEdit->setText(QString::fromStdString(formatGeneral(fromPct, sep_)));
    toEdit->setText(QString::fromStdString(formatGeneral(toPct, sep_)));
}

void IdentifyWindow::setSelectedSample(std::size_t s) {
    selected_ = s;
}

QString IdentifyWindow::shown(double v) const {
    return coefficientText(v, sep_);
}

std::optional<double> IdentifyWindow::number(QLineEdit* edit) {
    const std::string text = edit->text().toStdString();
    if (auto v = parseNumber(text, sep_))
        return v;
    dialogs_.message(MessageKind::Plain, "", "Ошибочная запись числа: " + text);
    edit->selectAll();
    edit->setFocus();
    return std::nullopt;
}

TuningRule IdentifyWindow::selectedRule() const {
    const int row = table->currentRow();
    return row >= 0 && row < static_cast<int>(kTuningRules.size())
               ? kTuningRules[static_cast<std::size_t>(row)]
               : TuningRule::SimcPid;
}

void IdentifyWindow::clearResult() {
    result_.reset();
    for (int g = 0; g < chart->graphCount(); ++g)
        chart->graph(g)->data()->clear();
    chart->replot(QCustomPlot::rpQueuedReplot);
    modelLabel->setText(QStringLiteral("модель: —"));
    for (int r = 0; r < table->rowCount(); ++r)
        for (int c = 0; c < table->columnCount(); ++c)
            table->setItem(r, c, new QTableWidgetItem(QStringLiteral("—")));
    apply1->setEnabled(false);
    apply2->setEnabled(false);
    appliedLabel->clear();
    fitTable();
}

void IdentifyWindow::fitTable() {
    // All three rules in view, without a scroll bar, whatever the style's
    // row height.
    table->ensurePolished();
    table->resizeRowsToContents();
    table->setFixedHeight(table->horizontalHeader()->sizeHint().height() +
                          table->verticalHeader()->length() + 2 * table->frameWidth());
}

bool IdentifyWindow::identify() {
    const auto from = number(fromEdit);
    if (!from)
        return false;
    const auto to = number(toEdit);
    if (!to)
        return false;
    const auto step = number(stepEdit);
    if (!step)
        return false;
    clearResult();
    noteLabel->setStyleSheet(QStringLiteral("color: #b00000"));
    if (*from < 0 || *from > 100 || *to < 0 || *to > 100 || *from == *to) {
        noteLabel->setText(
            QStringLiteral("Мощность до и после ступеньки — два разных числа от 0 до 100 %."));
        return false;
    }
    if (*step == 0) {
        noteLabel->setText(QStringLiteral("Скачок задания для проверки не может быть нулевым."));
        return false;
    }
    const auto first = static_cast<std::size_t>(firstBox->value());
    const auto last = static_cast<std::size_t>(lastBox->value());
    // An archive that starts sooner gives what it has; a level too short to
    // judge is the fit's to refuse.
    const std::size_t baseline =
        std::min(static_cast<std::size_t>(baselineBox->value()), first - 1);
    const auto span = archiveStepSpan(archive_, first, last, baseline);
    if (!span) {
        noteLabel->setText(
            QStringLiteral("Участок не лежит в архиве: нужны отсчёты от начала до конца, "
                           "конец позже начала, в архиве их %1.")
                .arg(archive_.SampleCount));
        return false;
    }
    result_ = identifyStep(*span, *from, *to, *step);
    showResult(*span);
    return result_->fit.refusal == FitRefusal::None;
}

void IdentifyWindow::showResult(const StepSpan& span) {
    const StepIdentification& id = *result_;
    const FopdtFit& fit = id.fit;

    drawStepFit(*chart, span, id);
    chart->replot(QCustomPlot::rpQueuedReplot);

    if (fit.refusal != FitRefusal::None) {
        noteLabel->setText(QString::fromStdString(fitRefusalText(fit, sep_)));
        return;
    }
    modelLabel->setText(modelText(id, span.intervalS, sep_));
    for (std::size_t r = 0; r < id.tunings.size(); ++r) {
        const Tuning& t = id.tunings[r];
        const double cells[] = {t.textbook.Kc,   t.textbook.Ti,   t.textbook.Td,
                                t.regulator2.C0, t.regulator2.C1, t.regulator2.C2,
                                t.regulator1.C0, t.regulator1.C1, t.regulator1.C2};
        for (int c = 0; c < table->columnCount(); ++c) {
            auto* item = new QTableWidgetItem(shown(cells[c]));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(static_cast<int>(r), c, item);
        }
    }
    fitTable();
    QStringList warnings;
    for (const Tuning& t : id.tunings)
        if (t.saturates)
            warnings << QString::fromStdString(saturationWarning(t, id.request, sep_));
    if (warnings.isEmpty()) {
        noteLabel->setStyleSheet(QString());
        noteLabel->setText(QStringLiteral(
            "SIMC (Skogestad, 2003), τc = max(θ, интервал); IMC-PID (Rivera, Morari, Skogestad, "
            "1986). Выберите строку и примените её к регулятору."));
    } else {
        noteLabel->setText(warnings.join('\n'));
    }
    apply1->setEnabled(true);
    apply2->setEnabled(true);
}

void IdentifyWindow::apply(int regulator) {
    if (!result_ || result_->tunings.empty())
        return;
    const int row = std::max(0, table->currentRow());
    const int column = regulator == 2 ? 3 : 6;
    QStringList texts;
    for (int k = 0; k < 3; ++k)
        texts << table->item(row, column + k)->text();
    appliedLabel->setText(QStringLiteral("%1 записан в регулятор %2: %3")
                              .arg(QString::fromUtf8(tuningRuleName(selectedRule())))
                              .arg(regulator)
                              .arg(texts.join(QStringLiteral("; "))));
    emit applyRequested(regulator, texts);
}

void IdentifyWindow::noteSwitchedOff(const QStringList& terms) {
    if (terms.isEmpty())
        return;
    appliedLabel->setText(
        appliedLabel->text() +
        QStringLiteral(". В главном окне не включены: %1, а правило рассчитано и на них")
            .arg(terms.join(QStringLiteral(", "))));
}

} // namespace thermo
