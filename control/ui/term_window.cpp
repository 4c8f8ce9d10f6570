#include "control/ui/term_window.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QVBoxLayout>

#include "analysis/ui/surface_window.h"
#include "ui_aux/show_window.h"
#include "widgets/locale_sep.h"
#include "widgets/membership_chart.h"
#include "widgets/surface_chart.h"

namespace thermo {

namespace {

constexpr int kEditWidth = 52;
constexpr int kOutputEditWidth = 40;
constexpr int kChartWidth = 300;
constexpr int kChartHeight = 150;

QLabel* label(const char* text, QWidget* parent) {
    return new QLabel(QString::fromUtf8(text), parent);
}

} // namespace

TFF_term::TFF_term(TControlParams& params, UserDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Tool), params_(params), dialogs_(dialogs) {
    setObjectName("FF_term");
    setWindowTitle("Термы");

    auto* terms = new QVBoxLayout;
    terms->addWidget(makeTermGroup(TermGroup::Deviation));
    terms->addWidget(makeTermGroup(TermGroup::Rate));

    auto* right = new QVBoxLayout;
    right->addWidget(makeOutputGroup());
    right->addStretch(1);
    auto* close = new QPushButton("закрыть", this);
    close->setObjectName("Button1");
    connect(close, &QPushButton::clicked, this, &TFF_term::Button1Click);
    right->addWidget(close);

    // What the terms, the rules and the output terms make of the whole
    // input plane, beside the terms themselves.
    auto* surfaceBox = new QGroupBox("поверхность управления", this);
    surface_ = new SurfaceChart(surfaceBox);
    surface_->setMinimumSize(340, 300);
    auto* surfaceLayout = new QVBoxLayout(surfaceBox);
    surfaceLayout->addWidget(surface_);

    auto* top = new QHBoxLayout(this);
    top->addLayout(terms, 1);
    top->addLayout(right);
    top->addWidget(surfaceBox, 1);
}

QWidget* TFF_term::makeTermGroup(TermGroup group) {
    const bool deviation = group == TermGroup::Deviation;
    auto* box = new QGroupBox(deviation ? "отклонение" : "скорость", this);
    const int first = deviation ? 0 : 9; // index of "от -" in edits_
    for (int k = 0; k < 9; ++k) {
        auto* e = new QLineEdit(box);
        e->setObjectName(QString("Edit%1").arg(first + k + 1));
        e->setFixedWidth(kEditWidth);
        edits_[static_cast<size_t>(first + k)] = e;
    }
    auto field = [&](int k) { return edits_[static_cast<size_t>(first + k)]; };

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(4);
    // The range "диапазон": from -X to +Y.
    fields->addWidget(label("диапазон", box), 0, 0);
    auto* range = new QHBoxLayout;
    range->addWidget(label("от -", box));
    range->addWidget(field(0));
    range->addSpacing(8);
    range->addWidget(label("до+", box));
    range->addWidget(field(1));
    range->addStretch(1);
    fields->addLayout(range, 0, 1, 1, 3);
    // Rows terms 1..3, columns breakpoints A, B, C; terms 1 and 3 have no C.
    fields->addWidget(label("А-", box), 1, 1, Qt::AlignCenter);
    fields->addWidget(label("В-", box), 1, 2, Qt::AlignCenter);
    fields->addWidget(label("С-", box), 1, 3, Qt::AlignCenter);
    fields->addWidget(label("отриц.", box), 2, 0);
    fields->addWidget(label("норма", box), 3, 0);
    fields->addWidget(label("полож.", box), 4, 0);
    fields->addWidget(field(2), 2, 1);
    fields->addWidget(field(3), 2, 2);
    fields->addWidget(field(4), 3, 1);
    fields->addWidget(field(5), 3, 2);
    fields->addWidget(field(6), 3, 3);
    fields->addWidget(field(7), 4, 1);
    fields->addWidget(field(8), 4, 2);

    auto* ok = new QPushButton("Ok", box);
    ok->setObjectName(deviation ? "Button4" : "Button3");
    connect(ok, &QPushButton::clicked, this,
            deviation ? &TFF_term::Button4Click : &TFF_term::Button3Click);
    fields->addWidget(ok, 5, 1, 1, 3);
    fields->setRowStretch(6, 1);

    auto* chart =
        new MembershipChart(deviation ? termDeviationChartLook() : termRateChartLook(), box);
    chart->setObjectName(deviation ? "Chart2" : "Chart1");
    chart->setMinimumSize(kChartWidth, kChartHeight);
    (deviation ? chart2_ : chart1_) = chart;

    auto* row = new QHBoxLayout(box);
    row->addLayout(fields);
    row->addWidget(chart, 1);
    return box;
}

QWidget* TFF_term::makeOutputGroup() {
    auto* box = new QGroupBox("выход", this);
    auto* col = new QGridLayout(box);
    col->addWidget(label("Выход  ШИМ", box), 0, 0, 1, 2);
    col->addWidget(label("0 - 100%", box), 1, 0, 1, 2);
    // Up to three digits: the terms are bytes, shown as whole percent.
    auto* digits = new QRegularExpressionValidator(QRegularExpression("[0-9]{0,3}"), box);
    for (int n = 1; n <= 9; ++n) {
        auto* e = new QLineEdit(box);
        e->setObjectName(QString("MaskEdit%1").arg(n));
        e->setMaxLength(3);
        e->setValidator(digits);
        e->setFixedWidth(kOutputEditWidth);
        maskEdits_[static_cast<size_t>(n - 1)] = e;
        col->addWidget(new QLabel(QString("%1-").arg(n), box), n + 1, 0, Qt::AlignRight);
        col->addWidget(e, n + 1, 1);
    }
    auto* ok = new QPushButton("Ok", box);
    ok->setObjectName("Button2");
    connect(ok, &QPushButton::clicked, this, &TFF_term::Button2Click);
    col->addWidget(ok, 11, 0, 1, 2);
    return box;
}

QLineEdit* TFF_term::edit(int n) const {
    if (n < 1 || n > 18)
        return nullptr;
    return edits_[static_cast<size_t>(n - 1)];
}

QLineEdit* TFF_term::maskEdit(int n) const {
    if (n < 1 || n > 9)
        return nullptr;
    return maskEdits_[static_cast<size_t>(n - 1)];
}

void TFF_term::showForward() {
    showOrRaise(*this); // a minimized window comes back too
}

void TFF_term::showEvent(QShowEvent* event) {
    // A window restored by the window manager shows nothing new; only the
    // program's own showing refreshes it.
    if (!event->spontaneous()) {
        Term_Refresh();
        Vih_Refresh();
        refreshSurface();
    }
    QWidget::showEvent(event);
}

void TFF_term::Term_Refresh() {
    const char sep = decimalSeparator();
    chart2_->setDecimalSeparator(sep);
    showDeviationTerms(*chart2_, params_);
    chart1_->setDecimalSeparator(sep);
    showRateTerms(*chart1_, params_);

    for (TermGroup group : {TermGroup::Deviation, TermGroup::Rate})
        showTexts(groupFields(group), termFieldTexts(group, params_, sep));
}

void TFF_term::Vih_Refresh() {
    showTexts(maskEdits_, outputTermTexts(params_));
}

NineFields TFF_term::groupFields(TermGroup group) const {
    return NineFields(edits_.data() + (group == TermGroup::Deviation ? 0 : 9), 9);
}

void TFF_term::applyTermGroup(TermGroup group) {
    const ApplyOutcome r = applyFields(groupFields(group), [&](const FieldTexts& texts) {
        return applyTermFields(group, texts, params_, dialogs_, decimalSeparator());
    });
    // Both groups are rewritten, so unapplied text in the other group is
    // replaced by what is stored: the window always shows what the
    // controller uses.
    if (r.complete())
        Term_Refresh();
    // Values stored before a field that failed act on the next tick too.
    refreshSurface();
}

void TFF_term::Button4Click() {
    applyTermGroup(TermGroup::Deviation);
}

void TFF_term::Button3Click() {
    applyTermGroup(TermGroup::Rate);
}

void TFF_term::Button2Click() {
    const ApplyOutcome r = applyFields(maskEdits_, [this](const FieldTexts& texts) {
        return applyOutputTerms(texts, params_, dialogs_);
    });
    if (r.complete())
        Vih_Refresh();
    refreshSurface();
}

void TFF_term::refreshSurface() {
    if (!isVisible())
        return; // showing the window draws it
    surface_->showSurface(computeSurface(params_, kWindowSurfaceGrid));
}

void TFF_term::Button1Click() {
    hide();
}

} // namespace thermo
