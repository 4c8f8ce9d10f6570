#include "widgets/membership_chart.h"

#include <algorithm>
#include <string>

#include "common/numfmt.h"
#include "widgets/locale_sep.h"

namespace thermo {

namespace {

// Each point of a term curve is labelled with its input value in the
// shortest general form; the axis writes its ticks the same way, with the
// locale's decimal separator (QCustomPlot's own labels would use the C
// locale's point and its own precision).
class GeneralFormTicker : public QCPAxisTicker {
public:
    void setDecimalSeparator(char sep) { sep_ = sep; }

protected:
    QString getTickLabel(double tick, const QLocale&, QChar, int) override {
        return QString::fromStdString(formatGeneral(tick, sep_));
    }

private:
    char sep_ = '.';
};

const QColor kPaleYellow(255, 255, 128);
const QColor kLime(128, 255, 0);
const QColor kCrimson(255, 0, 128);
const QColor kLilac(255, 128, 255);

MembershipChartLook look(bool marker, std::array<QString, 4> names, std::array<QColor, 4> colours) {
    return {marker, std::move(names), colours};
}

} // namespace

MembershipChartLook mainDeviationChartLook() {
    return look(true, {"Series4", "Series5", "Series6", "Series7"},
                {kPaleYellow, kLime, kCrimson, kLilac});
}

MembershipChartLook mainRateChartLook() {
    return look(true, {"FastLineSeries1", "FastLineSeries2", "FastLineSeries3", "FastLineSeries4"},
                {kPaleYellow, kLime, kCrimson, kLilac});
}

MembershipChartLook termDeviationChartLook() {
    return look(false, {"", "FastLineSeries1", "FastLineSeries2", "FastLineSeries3"},
                {QColor(), kPaleYellow, kLime, kCrimson});
}

MembershipChartLook termRateChartLook() {
    return look(false, {"", "FastLineSeries5", "FastLineSeries6", "FastLineSeries7"},
                {QColor(), kPaleYellow, kLime, kCrimson});
}

MembershipChart::MembershipChart(const MembershipChartLook& look, QWidget* parent)
    : QCustomPlot(parent) {
    auto addSeries = [this](const QString& name, const QColor& colour) {
        QCPGraph* g = addGraph();
        g->setName(name);
        g->setObjectName(name);
        g->setPen(QPen(colour, 2));
        return g;
    };
    if (look.marker) {
        marker_ = addSeries(look.names[0], look.colours[0]);
        // The marker moves on every tick while the curves rarely change: it
        // gets a buffer of its own, between the grid and the curves (drawn
        // under them, as the first series is), so a tick repaints it alone.
        addLayer("marker", layer("grid"), limAbove);
        layer("marker")->setMode(QCPLayer::lmBuffered);
        marker_->setLayer("marker");
    }
    connect(this, &QCustomPlot::afterReplot, this, [this] { replotQueued_ = false; });
    for (size_t t = 0; t < 3; ++t)
        terms_[t] = addSeries(look.names[t + 1], look.colours[t + 1]);

    // The pale yellow of the first colour vanishes on white; a dark plot
    // area keeps all four visible.
    axisRect()->setBackground(QColor(24, 24, 24));
    for (QCPAxis* axis : {xAxis, yAxis}) {
        axis->grid()->setPen(QPen(QColor(80, 80, 80), 0, Qt::DotLine));
        axis->grid()->setZeroLinePen(Qt::NoPen);
        QFont f = axis->tickLabelFont();
        f.setPointSizeF(f.pointSizeF() * 0.85);
        axis->setTickLabelFont(f);
    }
    ticker_ = QSharedPointer<GeneralFormTicker>::create();
    xAxis->setTicker(ticker_);
    yAxis->setTicker(ticker_);
    // Membership lies in 0..1 whatever the breakpoints.
    yAxis->setRange(0, 1);
    xAxis->setRange(-1, 1);
    setDecimalSeparator(decimalSeparator());
}

QCPGraph* MembershipChart::termSeries(int term) const {
    if (term < 1 || term > 3)
        return nullptr;
    return terms_[static_cast<size_t>(term - 1)];
}

void MembershipChart::setDecimalSeparator(char sep) {
    static_cast<GeneralFormTicker*>(ticker_.data())->setDecimalSeparator(sep);
}

void MembershipChart::clear() {
    if (marker_)
        marker_->data()->clear();
    for (QCPGraph* g : terms_)
        g->data()->clear();
    shown_.clear();
    replotQueued_ = true;
    replot(rpQueuedReplot);
}

bool MembershipChart::curvesShownAre(const std::vector<CurvePoint>& curve, double lo,
                                     double hi) const {
    const auto same = [](const CurvePoint& a, const CurvePoint& b) {
        return a.tenths == b.tenths && a.v == b.v && a.mu1 == b.mu1 && a.mu2 == b.mu2 &&
               a.mu3 == b.mu3;
    };
    return !curve.empty() &&
           std::equal(curve.begin(), curve.end(), shown_.begin(), shown_.end(), same) &&
           xAxis->range().lower == lo && xAxis->range().upper == hi;
}

void MembershipChart::show(const std::vector<CurvePoint>& curve, std::optional<double> marker) {
    double lo = 0, hi = 0;
    bool any = false;
    if (!curve.empty()) {
        lo = curve.front().v;
        hi = curve.back().v;
        any = true;
    }
    if (marker_ && marker) {
        lo = any ? std::min(lo, *marker) : *marker;
        hi = any ? std::max(hi, *marker) : *marker;
        any = true;
    }
    if (any && hi <= lo) {
        lo -= 0.5;
        hi += 0.5;
    }
    if (marker_ && !replotQueued_ && curvesShownAre(curve, lo, hi)) {
        marker_->data()->clear();
        if (marker)
            marker_->data()->set({{*marker, 0.0}, {*marker, 1.0}}, true);
        layer("marker")->replot();
        return;
    }

    // A fresh vector per series handed over whole: the container adopts it
    // without copying or sorting.
    std::array<QVector<QCPGraphData>, 3> series;
    for (auto& s : series)
        s.reserve(static_cast<qsizetype>(curve.size()));
    for (const CurvePoint& p : curve) {
        series[0].append({p.v, p.mu1});
        series[1].append({p.v, p.mu2});
        series[2].append({p.v, p.mu3});
    }
    for (size_t t = 0; t < 3; ++t)
        terms_[t]->data()->set(series[t], true);
    shown_ = curve;
    if (marker_) {
        marker_->data()->clear();
        // Two points at one key: a vertical line over the full height.
        if (marker)
            marker_->data()->set({{*marker, 0.0}, {*marker, 1.0}}, true);
    }
    if (any)
        xAxis->setRange(lo, hi);
    replotQueued_ = true;
    replot(rpQueuedReplot);
}

void showDeviationTerms(MembershipChart& chart, const TControlParams& params,
                        std::optional<double> marker) {
    std::vector<CurvePoint> curve;
    membershipCurve(params.otkl_left, params.otkl_right, deviationTerms(params), curve);
    chart.show(curve, marker);
}

void showRateTerms(MembershipChart& chart, const TControlParams& params,
                   std::optional<double> marker) {
    std::vector<CurvePoint> curve;
    membershipCurve(params.skor_left, params.skor_right, rateTerms(params), curve);
    chart.show(curve, marker);
}

void MembershipChart::mouseDoubleClickEvent(QMouseEvent* event) {
    QCustomPlot::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

} // namespace thermo
