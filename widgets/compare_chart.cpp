#include "widgets/compare_chart.h"

#include <cmath>

namespace thermo {

namespace {

// Tell apart on white and in grey print alike.
const QColor kRunColours[] = {QColor(31, 119, 180), QColor(214, 39, 40),   QColor(44, 160, 44),
                              QColor(255, 127, 14), QColor(148, 103, 189), QColor(140, 86, 75)};

} // namespace

CompareChart::CompareChart(QWidget* parent) : QCustomPlot(parent) {
    setObjectName("CompareChart");
    setBackground(Qt::white);
    // Tick labels with the locale's decimal mark, without group separators.
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    setLocale(locale);
    yAxis->setLabel(QStringLiteral("температура, °C"));
    legend->setVisible(true);
    legend->setBrush(QColor(255, 255, 255, 220));
    axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignBottom | Qt::AlignRight);
    zero_ = new QCPItemStraightLine(this);
    zero_->point1->setCoords(0, 0);
    zero_->point2->setCoords(0, 1);
    zero_->setPen(QPen(Qt::gray, 1, Qt::DotLine));
    zero_->setVisible(false);
    // Six runs of 65000 points replot in a few milliseconds as thin aliased
    // polylines, as the trend chart draws them.
    setNotAntialiasedElements(QCP::aePlottables);
    setPlottingHint(QCP::phFastPolylines, true);
}

QColor CompareChart::runColour(std::size_t i) {
    return kRunColours[i % std::size(kRunColours)];
}

void CompareChart::showComparison(const Comparison& c, const std::vector<QString>& names) {
    clearGraphs();
    temperatures_.clear();
    setpoints_.clear();
    double lo = INFINITY, hi = -INFINITY, left = INFINITY, right = -INFINITY;
    for (std::size_t i = 0; i < c.runs.size(); ++i) {
        const ComparedRun& r = c.runs[i];
        const QColor colour = runColour(i);
        const QVector<double> keys(r.t.begin(), r.t.end());
        QCPGraph* t = addGraph();
        t->setName(i < names.size() ? names[i] : QString());
        t->setPen(QPen(colour, 1.5));
        t->setAdaptiveSampling(true);
        t->setData(keys, QVector<double>(r.temper.begin(), r.temper.end()), true);
        QCPGraph* z = addGraph();
        z->setPen(QPen(colour, 1, Qt::DashLine));
        z->setAdaptiveSampling(true);
        z->setData(keys, QVector<double>(r.zadan.begin(), r.zadan.end()), true);
        z->removeFromLegend();
        temperatures_.push_back(t);
        setpoints_.push_back(z);
        for (std::size_t k = 0; k < r.t.size(); ++k) {
            for (double v : {r.temper[k], r.zadan[k]}) {
                if (std::isfinite(v)) {
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
            }
        }
        if (!r.t.empty()) {
            left = std::min(left, r.t.front());
            right = std::max(right, r.t.back());
        }
    }
    if (left <= right)
        xAxis->setRange(left, right > left ? right : left + 1);
    if (lo <= hi) {
        const double pad = hi > lo ? (hi - lo) * 0.05 : 0.5;
        yAxis->setRange(lo - pad, hi + pad);
    }
    const bool onStep = c.align == CompareAlign::Step;
    xAxis->setLabel(onStep ? QStringLiteral("время от ступеньки задания, с")
                           : QStringLiteral("время от начала прогона, с"));
    zero_->setVisible(onStep);
    replot(rpQueuedReplot);
}

} // namespace thermo
