#pragma once
// Every caption of a window shows whole: the windows are laid out to the
// pixel, and a font wider than the layout's cuts the ends off (the dashes of
// "отр.-", "нор.-", "пол.-" first). Leading blanks count, trailing ones not.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QRegularExpression>
#include <QStyle>
#include <QWidget>

namespace thermo::testing {

inline void expectCaptionsFit(const QWidget& window) {
    for (const QLabel* l : window.findChildren<QLabel*>()) {
        if (l->text().trimmed().isEmpty() || l->wordWrap() || !l->pixmap().isNull() ||
            l->objectName().startsWith("ind", Qt::CaseInsensitive)) // numbers, not captions
            continue;
        const QString shown = QString(l->text()).remove(QRegularExpression("\\s+$"));
        EXPECT_LE(l->fontMetrics().horizontalAdvance(shown), l->width())
            << window.objectName().toStdString() << ": " << shown.toStdString();
    }
    for (const QCheckBox* c : window.findChildren<QCheckBox*>()) {
        if (c->text().isEmpty())
            continue;
        const QStyle* st = c->style();
        const int needed = st->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, c) +
                           st->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, c) +
                           c->fontMetrics().horizontalAdvance(c->text());
        EXPECT_LE(needed, c->width())
            << window.objectName().toStdString() << ": " << c->text().toStdString();
    }
}

} // namespace thermo::testing
