#include "ui_aux/skorost.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "run/interval.h"
#include "ui_aux/program_icon.h"

namespace thermo {

TF_Skorost::TF_Skorost(QWidget* parent) : QWidget(parent, kToolWindowFlags) {
    setUpCaption(*this, QStringLiteral("F_Skorost"), QStringLiteral("скорость"));

    GroupBox1 = new QGroupBox(QStringLiteral("скорость измерения"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    UpDown1 = new QSpinBox(GroupBox1);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown1->setRange(kMinIntervalMs, kMaxIntervalMs);
    UpDown1->setSingleStep(1);
    UpDown1->setValue(kStartInterval);
    // "1 000" under a Russian locale (a no-break space), "1,000" under an
    // English one: the locale's own thousands separator.
    UpDown1->setGroupSeparatorShown(true);
    UpDown1->setAlignment(Qt::AlignRight);
    UpDown1->setMinimumWidth(90);
    if (auto* edit = UpDown1->findChild<QLineEdit*>())
        edit->setObjectName(QStringLiteral("Edit1"));
    Label1 = new QLabel(QStringLiteral("Милисек."), GroupBox1);
    Label1->setObjectName(QStringLiteral("Label1"));

    auto* valueRow = new QHBoxLayout(GroupBox1);
    valueRow->addWidget(UpDown1);
    valueRow->addWidget(Label1);
    valueRow->addStretch();

    BitBtn2 = new QPushButton(QStringLiteral("применить"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn1 = new QPushButton(QStringLiteral("закрыть"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn2);
    buttons->addWidget(BitBtn1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(BitBtn2, &QPushButton::clicked, this, &TF_Skorost::BitBtn2Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TF_Skorost::BitBtn1Click);
}

int TF_Skorost::interval() const {
    return UpDown1->value();
}

void TF_Skorost::BitBtn2Click() {
    // Text typed into the field counts only as far as the arrows accept it:
    // a valid number within their range becomes their value, anything else
    // falls back to the value they had.
    UpDown1->interpretText();
    emit intervalApplied(UpDown1->value());
}

void TF_Skorost::BitBtn1Click() {
    hide();
}

} // namespace thermo
