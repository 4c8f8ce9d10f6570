#pragma once
// Every caption of a window shows whole, and every indicator and table cell
// holds the widest value it can be given: the windows are laid out to the
// pixel, and a face wider than the layout's cuts the ends off (the dashes of
// "отр.-", "нор.-", "пол.-", the hour of "13:30:…", the "0" of "0,19").
// Leading blanks count, trailing ones not.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QTableView>
#include <QWidget>
#include <map>

namespace thermo::testing {

// The width a label gives its text, as QLabel lays it out: a framed label
// without an indent of its own keeps half an "x" clear on its aligned side.
inline int textRoom(const QLabel& l) {
    int room = l.contentsRect().width() - 2 * l.margin();
    int indent = l.indent();
    if (indent < 0 && l.frameWidth() > 0)
        indent = l.fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 - l.margin();
    if (indent > 0 && (l.alignment() & (Qt::AlignLeft | Qt::AlignRight)))
        room -= indent;
    return room;
}

inline bool isIndicator(const QLabel& l) {
    return l.objectName().startsWith("ind", Qt::CaseInsensitive);
}

inline void expectCaptionsFit(const QWidget& window) {
    for (const QLabel* l : window.findChildren<QLabel*>()) {
        if (l->text().trimmed().isEmpty() || l->wordWrap() || !l->pixmap().isNull() ||
            isIndicator(*l)) // numbers, not captions: expectIndicatorsHold
            continue;
        const QString shown = QString(l->text()).remove(QRegularExpression("\\s+$"));
        EXPECT_LE(l->fontMetrics().horizontalAdvance(shown), textRoom(*l))
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

// Each indicator (a label named "ind…"/"Ind…") of `window` holds every value
// listed for it in `widest`, by object name. An indicator missing from the
// map fails, so a new one cannot escape the check.
inline void expectIndicatorsHold(const QWidget& window,
                                 const std::map<QString, QStringList>& widest) {
    for (const QLabel* l : window.findChildren<QLabel*>()) {
        if (!isIndicator(*l))
            continue;
        const auto w = widest.find(l->objectName());
        if (w == widest.end()) {
            ADD_FAILURE() << window.objectName().toStdString() << ": no widest value for "
                          << l->objectName().toStdString();
            continue;
        }
        for (const QString& value : w->second)
            EXPECT_LE(l->fontMetrics().horizontalAdvance(value), textRoom(*l))
                << window.objectName().toStdString() << ": " << l->objectName().toStdString()
                << " holding " << value.toStdString();
    }
}

// The widest values of the indicators of the main and the archive window,
// written with the decimal separator `sep`. Digits are all as wide, so a
// shape stands for every value of it.
// - Percentages of heater power and the error: "-100,00"; a temperature
//   ("127,94", the sensor register's ceiling) and the interval ("5,00") are
//   narrower. Both windows show their design text "0.00"/"00.00" first.
// - The PID terms' outputs have no lower limit (an integral sum in the ten
//   thousands): "-51240,00".
// - Memberships: 0 … 1, "1,00".
// - The manual pulse width, 1 … 100 % in "0.#": "100".
inline std::map<QString, QStringList> standIndicatorWidest(char sep) {
    const auto n = [sep](QString v) { return v.replace(',', QLatin1Char(sep)); };
    std::map<QString, QStringList> w;
    for (const char* name : {"Ind_Temper", "Ind_Oshibka", "Ind_OUT_Regul", "Ind_OUT_Regul1",
                             "Ind_OUT_Regul2", "ind_taimer"})
        w[name] = {n("-100,00"), "00.00"};
    for (const char* name : {"Ind_Reg1_Prop", "Ind_Reg1_Integ", "Ind_Reg1_Diff", "Ind_Reg2_Prop",
                             "Ind_Reg2_Integ", "Ind_Reg2_Diff"})
        w[name] = {n("-51240,00"), "0.00"};
    for (const char* name : {"ind_mal_otkl", "ind_norm_otkl", "ind_bol_otkl", "ind_mal_skor",
                             "ind_norm_skor", "ind_bol_skor"})
        w[name] = {n("1,00"), "0.00"};
    w["Ind_Shim"] = {"100", "0.00"};
    return w;
}

// A sample table's header texts and its widest cell texts, column by column.
// The fixed first column is drawn by the style, inside its text margins; the
// others write their text at the cell's corner without margin. A grid line
// takes the last pixel of every column.
inline void expectSampleTableHolds(const QTableView& table, const QStringList& widest) {
    const QHeaderView* header = table.horizontalHeader();
    const QStyle* st = table.style();
    const int grid = table.showGrid() ? 1 : 0;
    const int styleMargins =
        2 * (st->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &table) + 1);
    for (int c = 0; c < widest.size(); ++c) {
        const QString title = table.model()->headerData(c, Qt::Horizontal).toString();
        QStyleOptionHeader o;
        o.initFrom(header);
        o.rect = QRect(0, 0, table.columnWidth(c), header->height());
        o.text = title;
        const QRect label = header->style()->subElementRect(QStyle::SE_HeaderLabel, &o, header);
        EXPECT_LE(header->fontMetrics().horizontalAdvance(title), label.width())
            << "header " << title.toStdString();

        const int room = table.columnWidth(c) - grid - (c == 0 ? styleMargins : 0);
        EXPECT_LE(table.fontMetrics().horizontalAdvance(widest[c]), room)
            << "column " << title.toStdString() << " holding " << widest[c].toStdString();
    }
}

} // namespace thermo::testing
