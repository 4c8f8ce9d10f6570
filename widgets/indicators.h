#pragma once
// The look of the instrument: numeric indicators are sunken panels with a
// maroon background and bold lime text; number entry fields are silver.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QWidget>
#include <initializer_list>

#include "control/params.h"

namespace thermo {

inline const QColor kIndicatorBackground(128, 0, 0);
inline const QColor kIndicatorText(0, 255, 0);
inline const QColor kEditBackground(192, 192, 192);

// A sunken indicator showing its design text ("0.00" or "00.00") until the
// first value arrives.
QLabel* makeIndicator(QWidget* parent, const QString& objectName, const QString& designText,
                      const QRect& geometry);

// A silver number entry field.
QLineEdit* makeNumberEdit(QWidget* parent, const QString& objectName, const QRect& geometry);

// The three indicators of a PID law's terms: each written ("0.00") only when
// the law wrote it on this call, otherwise keeping its text.
void showTermIndicators(const TermIndicators& t, QLabel* prop, QLabel* integ, QLabel* diff,
                        char decimalSep);

// A titled box, a named check box.
QGroupBox* makeBox(QWidget* parent, const QString& title, const QRect& geometry);
QCheckBox* makeCheck(QWidget* parent, const QString& objectName, const QString& text,
                     const QRect& geometry);

// Rows of caption, indicator and unit, 30 pixels apart, as the boxes
// "Текущие измерения" of both windows hold them.
struct IndicatorRow {
    const char* caption;
    QLabel** indicator;
    const char* objectName;
    const char* unit;
};
void makeIndicatorRows(QWidget* parent, std::initializer_list<IndicatorRow> rows,
                       const QString& designText);

// A plain caption label.
QLabel* makeLabel(QWidget* parent, const QString& text, const QRect& geometry);

// The windows of the stand are laid out to the pixel for an 8-point face of
// Arial's widths (layout_font.h); the desktop's usual face and size would cut
// their captions. Call before the window's widgets are made, so they all
// inherit it, whatever the application's font.
void useLayoutFont(QWidget* window);

// Keeps `widget` filling its parent from `top` down, the whole width, as the
// parent is resized (the trend charts below the fixed upper band).
void fillBelow(QWidget* widget, int top);

// The heater lamp pbUfo: a circle from (5, 5) to (17, 17) drawn in the
// colour the control cycle last chose; blank until the first tick.
class HeaterLamp : public QWidget {
public:
    explicit HeaterLamp(QWidget* parent = nullptr, QRect circle = QRect(5, 5, 12, 12));
    void draw(bool red);
    [[nodiscard]] bool isDrawn() const { return drawn_; }
    [[nodiscard]] bool isRed() const { return red_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QRect circle_;
    bool drawn_ = false;
    bool red_ = false;
};

} // namespace thermo
