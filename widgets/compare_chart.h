#pragma once
// The comparison's overlay chart: every run's temperature (solid) and its
// setpoint (dashed, the same colour) over seconds from the run's time 0, a
// legend of the runs' names, and for an alignment on the step a line at 0.
// White under the curves, so it prints as it shows.

#include <cstddef>
#include <vector>

#include <QString>
#include <qcustomplot.h>

#include "analysis/compare.h"

namespace thermo {

class CompareChart : public QCustomPlot {
    Q_OBJECT
public:
    explicit CompareChart(QWidget* parent = nullptr);

    // names[i] names run i in the legend. One queued replot.
    void showComparison(const Comparison& c, const std::vector<QString>& names);

    // Run i's colour (six, then again).
    [[nodiscard]] static QColor runColour(std::size_t i);
    [[nodiscard]] std::size_t runCount() const { return temperatures_.size(); }
    [[nodiscard]] QCPGraph* temperatureOf(std::size_t i) const { return temperatures_.at(i); }
    [[nodiscard]] QCPGraph* setpointOf(std::size_t i) const { return setpoints_.at(i); }

private:
    std::vector<QCPGraph*> temperatures_, setpoints_;
    QCPItemStraightLine* zero_;
};

} // namespace thermo
