#pragma once
// One scorecard segment marked on a trend chart: the band r +- band over the
// segment's samples, and a ring with its label at the 10 % and 90 %
// crossings, the peak and the settling point, each on the chart's own point.
// The score window draws them for the row selected, the lab report on its
// step's chart.

#include <vector>

#include "analysis/scorecard.h"

class QCPAbstractItem;
class QCPGraph;

namespace thermo {

class TrendChart;

struct ScoreMarks {
    QCPGraph* rings = nullptr;           // the marked points, a graph without a line
    std::vector<QCPAbstractItem*> items; // the band first, then the labels
};

// chartOffset: the chart draws sample position p at x = p + chartOffset. A
// crossing the chart does not draw (the first sample of an archive) gets no
// ring. Nothing is replotted.
[[nodiscard]] ScoreMarks drawScoreMarks(TrendChart& chart, const SegmentScore& s, int chartOffset);
// Takes them off the chart again; `marks` is left empty.
void removeScoreMarks(TrendChart& chart, ScoreMarks& marks);

} // namespace thermo
