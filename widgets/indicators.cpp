#include "widgets/indicators.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>

#include "common/numfmt.h"
#include "widgets/layout_font.h"

namespace thermo {

QLabel* makeIndicator(QWidget* parent, const QString& objectName, const QString& designText,
                      const QRect& geometry) {
    auto* l = new QLabel(designText, parent);
    l->setObjectName(objectName);
    l->setGeometry(geometry);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    l->setAutoFillBackground(true);
    QPalette pal = l->palette();
    pal.setColor(QPalette::Window, kIndicatorBackground);
    pal.setColor(QPalette::WindowText, kIndicatorText);
    l->setPalette(pal);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

QLineEdit* makeNumberEdit(QWidget* parent, const QString& objectName, const QRect& geometry) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(objectName);
    e->setGeometry(geometry);
    QPalette pal = e->palette();
    pal.setColor(QPalette::Base, kEditBackground);
    e->setPalette(pal);
    return e;
}

void showTermIndicators(const TermIndicators& t, QLabel* prop, QLabel* integ, QLabel* diff,
                        char sep) {
    const std::tuple<bool, double, QLabel*> terms[] = {
        {t.prop, t.propValue, prop}, {t.integ, t.integValue, integ}, {t.diff, t.diffValue, diff}};
    for (const auto& [written, value, label] : terms) {
        if (written)
            label->setText(QString::fromStdString(formatFixed(value, "0.00", sep)));
    }
}

QGroupBox* makeBox(QWidget* parent, const QString& title, const QRect& geometry) {
    auto* b = new QGroupBox(title, parent);
    b->setGeometry(geometry);
    return b;
}

QCheckBox* makeCheck(QWidget* parent, const QString& objectName, const QString& text,
                     const QRect& geometry) {
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(objectName);
    c->setGeometry(geometry);
    return c;
}

void makeIndicatorRows(QWidget* parent, std::initializer_list<IndicatorRow> rows,
                       const QString& designText) {
    int y = 18;
    for (const IndicatorRow& r : rows) {
        makeLabel(parent, QString::fromUtf8(r.caption), QRect(8, y, 122, 24));
        *r.indicator = makeIndicator(parent, r.objectName, designText, QRect(132, y, 110, 26));
        makeLabel(parent, QString::fromUtf8(r.unit), QRect(248, y, 30, 24));
        y += 30;
    }
}

QLabel* makeLabel(QWidget* parent, const QString& text, const QRect& geometry) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(geometry);
    return l;
}

HeaterLamp::HeaterLamp(QWidget* parent, QRect circle) : QWidget(parent), circle_(circle) {}

namespace {

class FillBelow : public QObject {
public:
    FillBelow(QWidget* widget, int top) : QObject(widget), widget_(widget), top_(top) {
        // Until the parent is first laid out its size means nothing: the
        // widget keeps the geometry it was given.
        widget->parentWidget()->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize)
            fit();
        return false;
    }

private:
    void fit() {
        const QWidget* parent = widget_->parentWidget();
        widget_->setGeometry(0, top_, parent->width(), std::max(0, parent->height() - top_));
    }
    QWidget* widget_;
    int top_;
};

} // namespace

void useLayoutFont(QWidget* window) {
    window->setFont(layoutFont());
}

void fillBelow(QWidget* widget, int top) {
    new FillBelow(widget, top);
}

void HeaterLamp::draw(bool red) {
    if (drawn_ && red_ == red)
        return; // drawn every tick, mostly the same
    drawn_ = true;
    red_ = red;
    update();
}

void HeaterLamp::paintEvent(QPaintEvent*) {
    if (!drawn_)
        return;
    QPainter p(this);
    p.setPen(Qt::black);
    p.setBrush(red_ ? QColor(255, 0, 0) : QColor(255, 255, 255));
    // The circle's box excludes its right and bottom edges, as the lamp's
    // coordinates are meant: (5, 5) to (17, 17) is 12 pixels with the outline.
    // Qt strokes a rectangle's far edges too, so draw one pixel smaller.
    p.drawEllipse(circle_.adjusted(0, 0, -1, -1));
}

} // namespace thermo
