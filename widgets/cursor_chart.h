#pragma once
// The archive window's trend chart: the shared trend chart plus the cursor
// line that marks the selected sample. The line is drawn over the finished
// picture with XOR, as a marker on an instrument trace is, and every redraw of
// the series takes it away; cursorX() then reads -1.

#include "widgets/trend_chart.h"

namespace thermo {

class CursorChart : public TrendChart {
    Q_OBJECT
public:
    explicit CursorChart(QWidget* parent = nullptr);

    // The x pixel of the line now drawn, or -1 (CursorX).
    [[nodiscard]] int cursorX() const { return cursorX_; }
    // A vertical line from the top to the bottom of the plot area at x.
    void drawCursor(int x);
    void eraseCursor();

    // The plot area in the chart's pixels.
    [[nodiscard]] QRect plotArea() const;

signals:
    // Any mouse button released over the chart, at the chart's pixel pos.
    void released(QPoint pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int cursorX_ = -1;
};

} // namespace thermo
