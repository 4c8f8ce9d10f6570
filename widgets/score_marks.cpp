#include "widgets/score_marks.h"

#include "widgets/trend_chart.h"

namespace thermo {

namespace {

const QColor kBandColour(255, 255, 0);
const QColor kMarkColour(255, 255, 255);

} // namespace

ScoreMarks drawScoreMarks(TrendChart& chart, const SegmentScore& s, int offset) {
    ScoreMarks out;
    auto x = [offset](std::size_t position) { return static_cast<double>(position) + offset; };
    // A segment of one sample still gets a band to see.
    const double pad = s.first == s.last ? 0.5 : 0.0;

    auto* band = new QCPItemRect(&chart);
    band->topLeft->setCoords(x(s.first) - pad, s.setpoint + s.band);
    band->bottomRight->setCoords(x(s.last) + pad, s.setpoint - s.band);
    band->setPen(QPen(kBandColour, 1, Qt::DashLine));
    QColor fill = kBandColour;
    fill.setAlpha(40);
    band->setBrush(fill);
    out.items.push_back(band);

    out.rings = chart.addGraph();
    out.rings->removeFromLegend();
    out.rings->setLineStyle(QCPGraph::lsNone);
    out.rings->setScatterStyle(
        QCPScatterStyle(QCPScatterStyle::ssCircle, QPen(kMarkColour, 2), QBrush(Qt::NoBrush), 9));
    const auto temperatures = chart.temperatureSeries()->data();
    auto mark = [&](std::optional<std::size_t> position, const QString& label) {
        if (!position)
            return;
        const double key = x(*position);
        const auto it = temperatures->findBegin(key, false);
        if (it == temperatures->constEnd() || it->key != key)
            return; // the chart does not draw this sample (the first one of an archive)
        out.rings->addData(key, it->value);
        auto* text = new QCPItemText(&chart);
        text->position->setCoords(key, it->value);
        // Right of the mark and above it: the first crossing sits at the
        // plot's left edge, where a centred label would be cut.
        text->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
        text->setPadding(QMargins(6, 0, 0, 6));
        text->setColor(kMarkColour);
        text->setText(label);
        out.items.push_back(text);
    };
    mark(s.rise10, QStringLiteral("10 %"));
    mark(s.rise90, QStringLiteral("90 %"));
    mark(s.peak, QStringLiteral("пик"));
    mark(s.settled, QStringLiteral("уст."));
    return out;
}

void removeScoreMarks(TrendChart& chart, ScoreMarks& marks) {
    for (QCPAbstractItem* item : marks.items)
        chart.removeItem(item);
    marks.items.clear();
    if (marks.rings != nullptr)
        chart.removeGraph(marks.rings);
    marks.rings = nullptr;
}

} // namespace thermo
