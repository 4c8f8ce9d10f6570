#pragma once
// The control surface as a colour map with its colour scale: deviation
// across, rate up, the fuzzy part's output in PWM counts as colour. Over it
// a path (a run's inputs, sample by sample) and one marked point (the live
// input, or the selected sample). The marked point lives on a layer of its
// own, so moving it redraws that layer only and not the map.

#include <optional>
#include <vector>

#include <qcustomplot.h>

#include "analysis/surface.h"

namespace thermo {

class SurfaceChart : public QCustomPlot {
    Q_OBJECT
public:
    explicit SurfaceChart(QWidget* parent = nullptr);

    // Fills the map and fits the axes to the universes. The colours span
    // 0 .. 234 counts (heater off .. full power), widened when output terms
    // above 100 % reach further, so two surfaces compare by colour.
    void showSurface(const ControlSurface& s);
    // The inputs a run went through, in order; empty removes the path.
    void setPath(const std::vector<double>& otkl, const std::vector<double>& skor);
    // The marked input, or none. Redraws the marker's layer only.
    void setMarker(std::optional<QPointF> input);

    [[nodiscard]] QCPColorMap* colorMap() const { return map_; }
    [[nodiscard]] QCPColorScale* colorScale() const { return scale_; }
    [[nodiscard]] QCPCurve* path() const { return path_; }
    [[nodiscard]] QCPGraph* marker() const { return marker_; }

private:
    QCPColorMap* map_;
    QCPColorScale* scale_;
    QCPCurve* path_;
    QCPGraph* marker_;
};

} // namespace thermo
