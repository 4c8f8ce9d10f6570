#pragma once
// The one membership function of the three terms of either fuzzy input. The
// live controller, the main window's charts, the term window and the archive
// replay all call it, so a chart always shows what the controller computes.
//
// With breakpoints A1, B1, A2, B2, C2, A3, B3 (A1, B1, A2 entered as
// magnitudes and used negated), the cases of each term are tested in this
// order, the later case deciding where two hold (only possible with
// breakpoints out of their natural order):
//
//   term 1 "о":  v <= -A1: 1;  -A1 < v <= -B1: (-B1 - v)/(A1 - B1);  v > -B1: 0
//   term 2 "н":  v <= -A2: 0;  -A2 < v <= 0: (v + A2)/A2;  0 < v <= C2: (C2 - v)/C2;
//                v > C2: 0   (B2 <= 0: the triangle with its apex 1 at 0)
//   term 3 "п":  v <= A3: 0;  A3 < v <= B3: (v - A3)/(B3 - A3);  v > B3: 1
//
// A positive B2 smaller than both feet A2 and C2 widens the apex of term 2
// into a plateau of full membership between -B2 and +B2: 0 up to -A2, rising
// (v + A2)/(A2 - B2) up to -B2, 1 up to +B2, falling (C2 - v)/(C2 - B2) up to
// C2, 0 above. The edges meet the plateau at exactly 1, so the term never
// jumps or exceeds 1, and each division happens only inside a non-empty case,
// where its divisor is not 0. (Taking B2 literally in the triangle's formulas
// would reach 1 at -B2 on the rising edge but only at +B2 on the falling one,
// giving a jump above 1.) A plateau reaching a foot would leave that side no
// edge, a jump from 0 to 1; a B2 that does not fit inside both feet, like a
// negative one, has no such reading and leaves the triangle as it is.

#include <cstdint>
#include <vector>

#include "control/params.h"

namespace thermo {

struct TermBreakpoints {
    double A1 = 0, B1 = 0, A2 = 0, B2 = 0, C2 = 0, A3 = 0, B3 = 0;
};

[[nodiscard]] TermBreakpoints deviationTerms(const TControlParams& p);
[[nodiscard]] TermBreakpoints rateTerms(const TControlParams& p);

// Membership of v in term 1, 2 or 3 (any other term number gives 0).
[[nodiscard]] double mu(int term, double v, const TermBreakpoints& b);

// The three term curves of one input on the grid of tenths: i runs over the
// integers from the one nearest to -left to the one nearest to right (ties
// to the even integer), the point at v = i / 10. `left` and `right` are the
// universe ends in tenths. An empty range gives no point.
struct CurvePoint {
    std::int64_t tenths = 0; // i; the point is labelled formatGeneral(v)
    double v = 0;
    double mu1 = 0, mu2 = 0, mu3 = 0;
};

// A universe entered in the millions would otherwise freeze the window while
// millions of points are drawn; past this many points the grid is thinned to
// an even stride (still on whole tenths, both ends kept).
inline constexpr std::int64_t kMaxCurvePoints = 20001;

void membershipCurve(double left, double right, const TermBreakpoints& b,
                     std::vector<CurvePoint>& out);

} // namespace thermo
