#pragma once
// A window with the control surface of one parameter set: the live one of
// the main window (with the current input marked every tick) or the one in
// force for an archived sample (with the run's path). It recomputes the
// surface only when the parameters it is given differ from those it shows,
// so following the live set every tick costs a comparison.

#include <optional>

#include <QWidget>

#include "analysis/surface.h"
#include "control/params.h"

class QLabel;

namespace thermo {

class SurfaceChart;

// Points per axis in the windows: fine enough that a term's kink falls
// within a cell or two of where it is.
inline constexpr std::size_t kWindowSurfaceGrid = 200;

class SurfaceWindow : public QWidget {
    Q_OBJECT
public:
    explicit SurfaceWindow(const QString& title, QWidget* parent = nullptr);

    // The surface of p, recomputed when p is not the set shown.
    void showParams(const TControlParams& p);
    // The line under the chart: what the map shows.
    void setCaption(const QString& text);

    [[nodiscard]] SurfaceChart* chart() const { return chart_; }
    [[nodiscard]] QLabel* caption() const { return caption_; }

private:
    SurfaceChart* chart_;
    QLabel* caption_;
    std::optional<TControlParams> shown_;
    ControlSurface surface_;
};

} // namespace thermo
