#include "widgets/cursor_chart.h"

#include <QMouseEvent>
#include <QPainter>

namespace thermo {

CursorChart::CursorChart(QWidget* parent) : TrendChart(parent) {
    // A replot paints the series afresh into the buffer, without the line.
    connect(this, &QCustomPlot::afterReplot, this, [this] { cursorX_ = -1; });
}

QRect CursorChart::plotArea() const {
    return axisRect()->rect();
}

void CursorChart::drawCursor(int x) {
    cursorX_ = x;
    update();
}

void CursorChart::eraseCursor() {
    if (cursorX_ == -1)
        return;
    cursorX_ = -1;
    update();
}

void CursorChart::paintEvent(QPaintEvent* event) {
    TrendChart::paintEvent(event);
    if (cursorX_ == -1)
        return;
    const QRect area = plotArea();
    QPainter p(this);
    // XOR keeps the line visible on the dark plot and on both traces.
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.setPen(QPen(QColor(255, 255, 0), 1, Qt::SolidLine));
    p.drawLine(cursorX_, area.top(), cursorX_, area.bottom());
}

void CursorChart::mouseReleaseEvent(QMouseEvent* event) {
    TrendChart::mouseReleaseEvent(event);
    emit released(event->position().toPoint());
}

} // namespace thermo
