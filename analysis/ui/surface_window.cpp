#include "analysis/ui/surface_window.h"

#include <QLabel>
#include <QVBoxLayout>

#include "widgets/surface_chart.h"

namespace thermo {

SurfaceWindow::SurfaceWindow(const QString& title, QWidget* parent)
    : QWidget(parent, Qt::Window), chart_(new SurfaceChart(this)), caption_(new QLabel(this)) {
    setWindowTitle(title);
    // The program ends with its main window, whether or not this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(chart_, 1);
    layout->addWidget(caption_);
    chart_->setMinimumSize(360, 300);
    resize(560, 480);
}

void SurfaceWindow::showParams(const TControlParams& p) {
    if (shown_ && *shown_ == p)
        return;
    shown_ = p;
    computeSurface(p, kWindowSurfaceGrid, surface_);
    chart_->showSurface(surface_);
}

void SurfaceWindow::setCaption(const QString& text) {
    caption_->setText(text);
}

} // namespace thermo
