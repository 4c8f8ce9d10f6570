#include "widgets/surface_chart.h"

#include <algorithm>
#include <cmath>

namespace thermo {

SurfaceChart::SurfaceChart(QWidget* parent) : QCustomPlot(parent) {
    setObjectName("SurfaceChart");
    xAxis->setLabel(QStringLiteral("отклонение, °C"));
    yAxis->setLabel(QStringLiteral("скорость, °C/такт"));

    map_ = new QCPColorMap(xAxis, yAxis);
    map_->setName(QStringLiteral("поверхность"));
    scale_ = new QCPColorScale(this);
    plotLayout()->addElement(0, 1, scale_);
    scale_->setType(QCPAxis::atRight);
    scale_->axis()->setLabel(QStringLiteral("выход, ед. ШИМ"));
    map_->setColorScale(scale_);
    map_->setGradient(QCPColorGradient::gpThermal);
    map_->setInterpolate(false); // every cell is a computed point, nothing between
    // The scale runs as high as the plot, not the whole widget.
    auto* margins = new QCPMarginGroup(this);
    axisRect()->setMarginGroup(QCP::msBottom | QCP::msTop, margins);
    scale_->setMarginGroup(QCP::msBottom | QCP::msTop, margins);

    path_ = new QCPCurve(xAxis, yAxis);
    path_->setName(QStringLiteral("путь"));
    path_->setPen(QPen(QColor(0, 255, 128), 1.5));
    path_->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, QColor(0, 255, 128), 3));

    addLayer("marker", layer("main"), limAbove);
    layer("marker")->setMode(QCPLayer::lmBuffered);
    marker_ = addGraph();
    marker_->setLayer("marker");
    marker_->setName(QStringLiteral("точка"));
    marker_->setLineStyle(QCPGraph::lsNone);
    marker_->setScatterStyle(
        QCPScatterStyle(QCPScatterStyle::ssCircle, QPen(Qt::white, 2), QBrush(Qt::black), 11));
}

void SurfaceChart::showSurface(const ControlSurface& s) {
    const bool finite = std::isfinite(s.otklFrom) && std::isfinite(s.otklTo) &&
                        std::isfinite(s.skorFrom) && std::isfinite(s.skorTo);
    if (s.n < 2 || !finite) {
        map_->data()->clear();
        replot(rpQueuedReplot);
        return;
    }
    const int n = static_cast<int>(s.n);
    QCPColorMapData* cells = map_->data();
    cells->setSize(n, n);
    // QCPRange puts its ends in order; a universe entered back to front
    // runs the other way, so its cells are filled from the other end.
    cells->setRange(QCPRange(s.otklFrom, s.otklTo), QCPRange(s.skorFrom, s.skorTo));
    const bool otklBack = s.otklFrom > s.otklTo;
    const bool skorBack = s.skorFrom > s.skorTo;
    double hi = 0;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const double v = s.at(static_cast<std::size_t>(i), static_cast<std::size_t>(j));
            cells->setCell(otklBack ? n - 1 - i : i, skorBack ? n - 1 - j : j, v);
            if (std::isfinite(v))
                hi = std::max(hi, v);
        }
    }
    map_->setDataRange(QCPRange(0, std::max(hi, kFullPower)));
    map_->rescaleAxes();
    // A universe of one point still gets an area to show it in.
    for (QCPAxis* a : {xAxis, yAxis}) {
        if (a->range().size() <= 0)
            a->setRange(a->range().center() - 0.05, a->range().center() + 0.05);
    }
    replot(rpQueuedReplot);
}

void SurfaceChart::setPath(const std::vector<double>& otkl, const std::vector<double>& skor) {
    path_->setData(QVector<double>(otkl.begin(), otkl.end()),
                   QVector<double>(skor.begin(), skor.end()));
    replot(rpQueuedReplot);
}

void SurfaceChart::setMarker(std::optional<QPointF> input) {
    marker_->data()->clear();
    if (input)
        marker_->addData(input->x(), input->y());
    layer("marker")->replot();
}

} // namespace thermo
