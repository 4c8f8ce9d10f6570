#include "widgets/trend_chart.h"

#include <cmath>

#include "common/timefmt.h"

namespace thermo {
namespace {

// The smallest of 1, 2, 5 times a power of ten that is at least v (>= 1).
double roundUp(double v) {
    double p = 1;
    while (p * 10 < v)
        p *= 10;
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * p >= v)
            return m * p;
    return 10 * p;
}

// Ticks on whole points, labelled with the time of day recorded there.
class TimeOfDayTicker : public QCPAxisTicker {
public:
    explicit TimeOfDayTicker(const TrendChart& chart) : chart_(chart) { setTickCount(6); }

protected:
    double getTickStep(const QCPRange& range) override {
        const double step = std::max(1.0, std::ceil(QCPAxisTicker::getTickStep(range)));
        // Neighbouring labels must not run into each other: on a narrow chart
        // fewer of them, a round number of points apart.
        const double pixels = chart_.axisRect()->width();
        if (pixels <= 0 || !(range.size() > 0))
            return step;
        const QFontMetricsF fm(chart_.xAxis->tickLabelFont());
        const double room = fm.horizontalAdvance(QStringLiteral("00:00:00")) + fm.height();
        return std::max(step, roundUp(room * range.size() / pixels));
    }
    QString getTickLabel(double tick, const QLocale&, QChar, int) override {
        const double t = chart_.timeLabelAt(tick);
        return std::isnan(t) ? QString() : QString::fromStdString(formatTimeOfDay(t));
    }

private:
    const TrendChart& chart_;
};

} // namespace

TrendChart::TrendChart(QWidget* parent) : QCustomPlot(parent) {
    setObjectName("Chart3");
    setBackground(QColor(255, 255, 255));
    QCPGraph* t = addGraph();
    t->setName(QStringLiteral("температура"));
    t->setPen(QPen(kTemperatureColour, 1));
    t->setAdaptiveSampling(true);
    QCPGraph* z = addGraph();
    z->setName(QStringLiteral("задание"));
    z->setPen(QPen(kSetpointColour, 1));
    z->setAdaptiveSampling(true);
    axisRect()->setBackground(QColor(64, 64, 64));

    xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new TimeOfDayTicker(*this)));
    xAxis->setRange(0, 10);
    yAxis->setRange(0, 40);

    // Legend on the left, in a column of its own beside the plot.
    legend->setVisible(true);
    plotLayout()->insertColumn(0);
    auto* column = new QCPLayoutGrid;
    plotLayout()->addElement(0, 0, column);
    column->addElement(0, 0, legend);
    column->addElement(1, 0, new QCPLayoutElement(this)); // room for the window's panels
    column->setRowStretchFactor(0, 0.001);
    column->setMinimumSize(kLeftColumn, 0);
    column->setMaximumSize(kLeftColumn, QWIDGETSIZE_MAX);
    plotLayout()->setColumnStretchFactor(0, 0.001);
    legend->setMargins(QMargins(4, 4, 4, 4));
    // A trend of 65000 points replots every tick: thin, aliased polylines
    // keep that to about a millisecond, where wide antialiased ones cost tens.
    setNotAntialiasedElements(QCP::aePlottables);
    setPlottingHint(QCP::phFastPolylines, true);
}

void TrendChart::setLegendAbove() {
    auto* column = qobject_cast<QCPLayoutGrid*>(plotLayout()->element(0, 0));
    if (column == nullptr || !column->take(legend))
        return; // already above
    plotLayout()->remove(column);
    plotLayout()->simplify();
    plotLayout()->insertRow(0);
    plotLayout()->addElement(0, 0, legend);
    plotLayout()->setRowStretchFactor(0, 0.001);
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    legend->setWrap(0);
    legend->setBorderPen(Qt::NoPen);
    legend->setBrush(Qt::NoBrush);
    legend->setIconSize(20, 8);
    legend->setMargins(QMargins(2, 2, 2, 0));
    QFont small = legend->font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    legend->setFont(small);
}

void TrendChart::noteLabel(double x, double timeOfDay) {
    if (!(x >= 0) || x > 1e7)
        return;
    const auto i = static_cast<size_t>(std::llround(x));
    if (labels_.size() <= i)
        labels_.resize(i + 1, std::numeric_limits<double>::quiet_NaN());
    labels_[i] = timeOfDay;
}

double TrendChart::timeLabelAt(double x) const {
    if (!(x >= 0) || std::fabs(x - std::round(x)) > 1e-9)
        return std::numeric_limits<double>::quiet_NaN();
    const auto i = static_cast<size_t>(std::llround(x));
    return i < labels_.size() ? labels_[i] : std::numeric_limits<double>::quiet_NaN();
}

void TrendChart::addPoint(double x, double temper, double zadan, double timeOfDay) {
    graph(0)->addData(x, temper);
    graph(1)->addData(x, zadan);
    noteLabel(x, timeOfDay);
    minX_ = std::min(minX_, x);
    maxX_ = std::max(maxX_, x);
    minY_ = std::min({minY_, temper, zadan});
    maxY_ = std::max({maxY_, temper, zadan});
    rescale();
    replot(rpQueuedReplot);
}

void TrendChart::setPoints(const std::vector<double>& x, const std::vector<double>& temper,
                           const std::vector<double>& zadan, const std::vector<double>& timeOfDay) {
    clearSeries();
    const QVector<double> keys(x.begin(), x.end());
    graph(0)->setData(keys, QVector<double>(temper.begin(), temper.end()), true);
    graph(1)->setData(keys, QVector<double>(zadan.begin(), zadan.end()), true);
    for (size_t i = 0; i < x.size(); ++i) {
        noteLabel(x[i], timeOfDay[i]);
        minX_ = std::min(minX_, x[i]);
        maxX_ = std::max(maxX_, x[i]);
        minY_ = std::min({minY_, temper[i], zadan[i]});
        maxY_ = std::max({maxY_, temper[i], zadan[i]});
    }
    rescale();
    replot(rpQueuedReplot);
}

void TrendChart::clearSeries() {
    graph(0)->data()->clear();
    graph(1)->data()->clear();
    labels_.clear();
    minX_ = minY_ = std::numeric_limits<double>::infinity();
    maxX_ = maxY_ = -std::numeric_limits<double>::infinity();
    replot(rpQueuedReplot);
}

void TrendChart::rescale() {
    if (!(minX_ <= maxX_))
        return;
    const double xPad = minX_ == maxX_ ? 1.0 : 0.0;
    xAxis->setRange(minX_ - xPad, maxX_ + xPad);
    if (std::isfinite(minY_) && std::isfinite(maxY_)) {
        const double span = maxY_ - minY_;
        const double pad = span > 0 ? span * 0.05 : 0.5;
        yAxis->setRange(minY_ - pad, maxY_ + pad);
    }
}

} // namespace thermo
