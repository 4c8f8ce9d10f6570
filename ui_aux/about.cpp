#include "ui_aux/about.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "ui_aux/program_icon.h"

#ifndef THERMO_VERSION
#define THERMO_VERSION "0"
#endif

namespace thermo {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setUpCaption(*this, QStringLiteral("AboutBox"), QStringLiteral("О программе"));
    setModal(false);

    ProgramIcon = new QLabel(this);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setPixmap(programPixmap());
    ProgramIcon->setScaledContents(true); // stretched to its frame
    ProgramIcon->setFixedSize(72, 72);

    ProductName = new QLabel(QStringLiteral("Термостенд"), this);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    QFont big = ProductName->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    ProductName->setFont(big);
    Description = new QLabel(
        QStringLiteral("Лабораторный стенд нечёткого и ПИД-регулирования температуры"), this);
    Description->setObjectName(QStringLiteral("Description"));

    auto* head = new QHBoxLayout;
    head->addWidget(ProgramIcon, 0, Qt::AlignTop);
    auto* titles = new QVBoxLayout;
    titles->addWidget(ProductName);
    titles->addWidget(Description);
    titles->addStretch();
    head->addLayout(titles);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    auto* credits = new QVBoxLayout(panel);
    const QString texts[4] = {
        QStringLiteral("Версия ") + QStringLiteral(THERMO_VERSION),
        QStringLiteral("Датчик температуры DS18B20 на шине 1-Wire"),
        QStringLiteral("Нагреватель: ШИМ 0…234 через параллельный порт"),
        QStringLiteral("Регуляторы: нечёткий с добавками и ПИД"),
    };
    for (int i = 0; i < 4; ++i) {
        Credits[i] = new QLabel(texts[i], panel);
        Credits[i]->setObjectName(QStringLiteral("Credits%1").arg(i + 1));
        credits->addWidget(Credits[i]);
    }

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &TAboutBox::OKButtonClick);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(panel);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize); // a fixed-size box
}

void TAboutBox::OKButtonClick() {
    hide();
}

void TAboutBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

} // namespace thermo
