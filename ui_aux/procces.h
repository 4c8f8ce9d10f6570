#pragma once
// F_Zapis, "Запись": the progress window of the spreadsheet exports. A pie
// gauge and a progress bar show the same percentage; it has no behaviour of
// its own.

#include <QWidget>

#include "ui_aux/progress_display.h"

class QProgressBar;

namespace thermo {

// The pie gauge: the filled share of a circle, with the percentage written
// across it. Range 0..100.
class PieGauge : public QWidget {
    Q_OBJECT
public:
    explicit PieGauge(QWidget* parent = nullptr);
    void setValue(int percent); // clamped to 0..100
    [[nodiscard]] int value() const { return value_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int value_ = 0;
};

class TF_Zapis : public QWidget, public ProgressDisplay {
    Q_OBJECT
public:
    explicit TF_Zapis(QWidget* parent = nullptr);

    // Both indicators at once, drawn before this returns: the export runs
    // on the GUI thread, so no event loop would draw them in between.
    void setProgress(int percent) override;
    void begin() override;
    void end() override;

    PieGauge* Gauge1;
    QProgressBar* ProgressBar1;
};

} // namespace thermo
