#include "ui_aux/procces.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

#include "ui_aux/program_icon.h"
#include "ui_aux/show_window.h"

namespace thermo {

PieGauge::PieGauge(QWidget* parent) : QWidget(parent) {
    setFixedSize(100, 100);
}

void PieGauge::setValue(int percent) {
    const int v = std::clamp(percent, 0, 100);
    if (v == value_)
        return;
    value_ = v;
    if (isVisible())
        repaint();
}

void PieGauge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF circle = QRectF(rect()).adjusted(2, 2, -2, -2);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1.5));
    p.setBrush(palette().color(QPalette::Base));
    p.drawEllipse(circle);
    if (value_ > 0) {
        p.setPen(Qt::NoPen);
        p.setBrush(palette().color(QPalette::Highlight));
        // Qt counts angles in 1/16 degree, counter-clockwise from 3 o'clock:
        // start at 12 o'clock and fill clockwise.
        const int span = -value_ * 360 * 16 / 100;
        if (value_ >= 100)
            p.drawEllipse(circle);
        else
            p.drawPie(circle, 90 * 16, span);
    }
    QFont f = font();
    f.setBold(true);
    f.setPixelSize(18);
    p.setFont(f);
    const QString text = QString::number(value_) + QLatin1Char('%');
    // A halo keeps the figure readable over both the fill and the paper.
    QPainterPath path;
    const QFontMetricsF fm(f);
    const QPointF at(rect().center().x() - fm.horizontalAdvance(text) / 2,
                     rect().center().y() + (fm.ascent() - fm.descent()) / 2);
    path.addText(at, f, text);
    p.setPen(QPen(palette().color(QPalette::Base), 3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(palette().color(QPalette::WindowText));
    p.drawPath(path);
}

TF_Zapis::TF_Zapis(QWidget* parent) : QWidget(parent, kToolWindowFlags) {
    setUpCaption(*this, QStringLiteral("F_Zapis"), QStringLiteral("Запись"));

    Gauge1 = new PieGauge(this);
    Gauge1->setObjectName(QStringLiteral("Gauge1"));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setMinimumWidth(220);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Gauge1, 0, Qt::AlignHCenter);
    layout->addWidget(ProgressBar1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TF_Zapis::setProgress(int percent) {
    const int v = std::clamp(percent, 0, 100);
    Gauge1->setValue(v);
    ProgressBar1->setValue(v);
    if (isVisible())
        ProgressBar1->repaint();
}

void TF_Zapis::begin() {
    setProgress(0);
    showOrRaise(*this);
    // The export that follows holds the event loop until it ends: let the
    // window system map and paint the window now (half a second at most), or
    // it would appear only after end() had hidden it again. User input waits
    // for the export.
    QElapsedTimer waited;
    waited.start();
    do
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    while (!(windowHandle() && windowHandle()->isExposed()) && waited.elapsed() < 500);
}

void TF_Zapis::end() {
    hide();
}

} // namespace thermo
