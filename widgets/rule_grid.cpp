#include "widgets/rule_grid.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "control/term_entry.h"
#include "widgets/field_group.h"

namespace thermo {

namespace {
const QColor kFiredRule(0, 128, 0);
constexpr int kCellWidth = 22;
} // namespace

RuleGridWidget::RuleGridWidget(TControlParams& params, UserDialogs& dialogs, QWidget* parent)
    : QWidget(parent), params_(params), dialogs_(dialogs) {
    setObjectName("RuleGrid");
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(2, 2, 2, 2);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(3);

    // Row 0: the rate heading over the columns; row 1: the column labels;
    // column 0: the deviation heading, column 1: the row labels.
    grid->addWidget(new QLabel("скорость", this), 0, 2, 1, 3, Qt::AlignCenter);
    grid->addWidget(new QLabel("откл.", this), 2, 0, 3, 1, Qt::AlignVCenter);
    const char* termNames[3] = {"о", "н", "п"};
    auto* digit = new QRegularExpressionValidator(QRegularExpression("[0-9]?"), this);
    for (int i = 0; i < 3; ++i) {
        grid->addWidget(new QLabel(termNames[i], this), 1, 2 + i, Qt::AlignCenter);
        grid->addWidget(new QLabel(termNames[i], this), 2 + i, 1, Qt::AlignCenter);
        for (int j = 0; j < 3; ++j) {
            const int k = 3 * i + j + 1; // rule k: deviation term i+1, rate term j+1
            auto* e = new QLineEdit(this);
            e->setObjectName(QString("MaskEdit%1").arg(k));
            e->setMaxLength(1);
            e->setValidator(digit);
            e->setAlignment(Qt::AlignCenter);
            e->setFixedWidth(kCellWidth);
            cells_[static_cast<size_t>(k - 1)] = e;
            grid->addWidget(e, 2 + i, 2 + j);
        }
    }
    ok_ = new QPushButton("ok", this);
    ok_->setObjectName("Button9");
    grid->addWidget(ok_, 5, 2, 1, 3);
    connect(ok_, &QPushButton::clicked, this, &RuleGridWidget::applyCells);

    fill();
    paintCells();
}

QLineEdit* RuleGridWidget::cell(int k) const {
    if (k < 1 || k > 9)
        return nullptr;
    return cells_[static_cast<size_t>(k - 1)];
}

void RuleGridWidget::fill() {
    showTexts(cells_, ruleBaseTexts(params_));
}

void RuleGridWidget::applyCells() {
    const ApplyOutcome r = applyFields(cells_, [this](const FieldTexts& texts) {
        return applyRuleBase(texts, params_, dialogs_);
    });
    if (r.complete())
        emit ruleBaseApplied();
}

void RuleGridWidget::setFiredMask(std::uint32_t mask) {
    mask &= 0x1FF;
    // Called on every tick; repainting nine unchanged cells is wasted work.
    if (mask == mask_)
        return;
    mask_ = mask;
    paintCells();
}

void RuleGridWidget::paintCells() {
    // "The system window colour": the background an edit field has by default.
    const QPalette app = QApplication::palette();
    for (size_t k = 0; k < 9; ++k) {
        const bool fired = (mask_ >> k) & 1u;
        QPalette pal = cells_[k]->palette();
        pal.setColor(QPalette::Base, fired ? kFiredRule : app.color(QPalette::Base));
        // A dark digit is hard to read on the dark green.
        pal.setColor(QPalette::Text, fired ? QColor(Qt::white) : app.color(QPalette::Text));
        cells_[k]->setPalette(pal);
    }
}

void RuleGridWidget::changeEvent(QEvent* event) {
    // The window colour may change with the desktop theme.
    if (event->type() == QEvent::ApplicationPaletteChange)
        paintCells();
    QWidget::changeEvent(event);
}

} // namespace thermo
