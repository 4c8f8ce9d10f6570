#pragma once
// A chart of the three terms of one fuzzy input: optionally a vertical
// marker at the current input (graph 0), then the curves of terms 1, 2 and 3
// on the grid of tenths that thermo::membershipCurve computes. The main
// window redraws two of these on every tick; the term window shows two
// without a marker.

#include <array>
#include <optional>
#include <vector>

#include <QColor>
#include <QString>
#include <qcustomplot.h>

#include "control/membership.h"

namespace thermo {

struct MembershipChartLook {
    bool marker = true;
    // Object and series names: [0] the marker (unused without one), [1..3]
    // terms 1..3. Tests and the export find the series by these names.
    std::array<QString, 4> names;
    std::array<QColor, 4> colours;
};

// The main window's charts: Chart1 "отклонение" with Series4 ... Series7 and
// Chart2 "скорость" with FastLineSeries1 ... FastLineSeries4.
[[nodiscard]] MembershipChartLook mainDeviationChartLook();
[[nodiscard]] MembershipChartLook mainRateChartLook();
// The term window's charts (no marker): FastLineSeries1 ... 3 on the
// deviation chart, FastLineSeries5 ... 7 on the rate chart.
[[nodiscard]] MembershipChartLook termDeviationChartLook();
[[nodiscard]] MembershipChartLook termRateChartLook();

class MembershipChart : public QCustomPlot {
    Q_OBJECT
public:
    explicit MembershipChart(const MembershipChartLook& look, QWidget* parent = nullptr);

    // Regul_Clear: every series emptied.
    void clear();

    // The curves and, on a chart with a marker, the vertical line at `marker`
    // (already clamped to the universe by the controller); no marker value
    // draws none. Schedules one replot for the next pass of the event loop,
    // so a tick that redraws both charts paints once.
    using QCustomPlot::show;
    void show(const std::vector<CurvePoint>& curve, std::optional<double> marker = std::nullopt);

    // The graph of the marker (nullptr without one) and of term 1, 2 or 3.
    [[nodiscard]] QCPGraph* markerSeries() const { return marker_; }
    [[nodiscard]] QCPGraph* termSeries(int term) const;

    // Tick labels are written with this separator: the locale's at
    // construction; the owner passes a new one when the locale changes.
    void setDecimalSeparator(char sep);

signals:
    // Both main-window charts open the term window on a double click.
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // Whether the curves and the range on screen are these; the marker alone
    // is then redrawn on its own layer.
    [[nodiscard]] bool curvesShownAre(const std::vector<CurvePoint>& curve, double lo,
                                      double hi) const;

    QCPGraph* marker_ = nullptr;
    std::array<QCPGraph*, 3> terms_{};
    // The curves on screen, as show() last drew them; empty after clear().
    std::vector<CurvePoint> shown_;
    // A whole replot is queued: a layer's own replot would be drawn over.
    bool replotQueued_ = false;
    QSharedPointer<QCPAxisTicker> ticker_;
};

// The deviation or rate terms of `params` over their universe, with the
// marker at the clamped input where the chart has one.
void showDeviationTerms(MembershipChart& chart, const TControlParams& params,
                        std::optional<double> marker = std::nullopt);
void showRateTerms(MembershipChart& chart, const TControlParams& params,
                   std::optional<double> marker = std::nullopt);

} // namespace thermo
