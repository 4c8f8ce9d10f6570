#pragma once
// The trend chart of temperature and setpoint against the tick counter, as a
// trend recorder shows it: the bottom axis is labelled with the points' times
// of day. Points are only appended; a run of 65000 points stays fast because
// QCustomPlot samples long graphs adaptively and the ranges are kept up to
// date incrementally rather than rescanned.

#include <limits>
#include <vector>

#include <qcustomplot.h>

namespace thermo {

inline const QColor kTemperatureColour(0, 255, 128);
inline const QColor kSetpointColour(255, 255, 0);

class TrendChart : public QCustomPlot {
    Q_OBJECT
public:
    explicit TrendChart(QWidget* parent = nullptr);

    // Series 0 "температура" gets (x, temper) labelled with the time of day,
    // series 1 "задание" gets (x, zadan). One queued replot.
    void addPoint(double x, double temper, double zadan, double timeOfDay);
    // Many points at once (an archive), then one replot.
    void setPoints(const std::vector<double>& x, const std::vector<double>& temper,
                   const std::vector<double>& zadan, const std::vector<double>& timeOfDay);
    void clearSeries();

    [[nodiscard]] QCPGraph* temperatureSeries() const { return graph(0); }
    [[nodiscard]] QCPGraph* setpointSeries() const { return graph(1); }
    // The column left of the plot that holds the legend; windows put their
    // own panels below it.
    [[nodiscard]] int leftColumnWidth() const { return kLeftColumn; }

    // For a chart drawn small, a picture a few hundred pixels wide: the
    // legend leaves its column for a line above the plot in a smaller font,
    // and the plot keeps the width. The windows keep the column, which holds
    // their panels.
    void setLegendAbove();
    // Narrower than this, the legend column would take over a quarter of
    // the chart.
    static constexpr int kLegendColumnMinWidth = 560;

    // The time of day labelling x, or NaN when no point sits there.
    [[nodiscard]] double timeLabelAt(double x) const;

    static constexpr int kLeftColumn = 140;

private:
    void rescale();
    void noteLabel(double x, double timeOfDay);

    std::vector<double> labels_; // time of day by integer x; NaN where none
    double minX_ = std::numeric_limits<double>::infinity();
    double maxX_ = -std::numeric_limits<double>::infinity();
    double minY_ = std::numeric_limits<double>::infinity();
    double maxY_ = -std::numeric_limits<double>::infinity();
};

} // namespace thermo
