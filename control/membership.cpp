#include "control/membership.h"

#include <algorithm>
#include <cmath>

#include "common/numfmt.h"

namespace thermo {

TermBreakpoints deviationTerms(const TControlParams& p) {
    return {p.otkl_A1, p.otkl_B1, p.otkl_A2, p.otkl_B2, p.otkl_C2, p.otkl_A3, p.otkl_B3};
}

TermBreakpoints rateTerms(const TControlParams& p) {
    return {p.skor_A1, p.skor_B1, p.skor_A2, p.skor_B2, p.skor_C2, p.skor_A3, p.skor_B3};
}

namespace {

double term1(double v, const TermBreakpoints& b) {
    double r = 0;
    if (v <= -b.A1)
        r = 1;
    if (-b.A1 < v && v <= -b.B1)
        r = (-b.B1 - v) / (b.A1 - b.B1);
    if (v > -b.B1)
        r = 0;
    return r;
}

double term2(double v, const TermBreakpoints& b) {
    double r = 0;
    if (b.B2 > 0 && b.B2 < b.A2 && b.B2 < b.C2) {
        if (v <= -b.A2)
            r = 0;
        if (-b.A2 < v && v <= -b.B2)
            r = (v + b.A2) / (b.A2 - b.B2);
        if (-b.B2 < v && v <= b.B2)
            r = 1;
        if (b.B2 < v && v <= b.C2)
            r = (b.C2 - v) / (b.C2 - b.B2);
        if (v > b.C2)
            r = 0;
        return r;
    }
    if (v <= -b.A2)
        r = 0;
    if (-b.A2 < v && v <= 0)
        r = (v + b.A2) / b.A2;
    if (0 < v && v <= b.C2)
        r = (b.C2 - v) / b.C2;
    if (v > b.C2)
        r = 0;
    return r;
}

double term3(double v, const TermBreakpoints& b) {
    double r = 0;
    if (v <= b.A3)
        r = 0;
    if (b.A3 < v && v <= b.B3)
        r = (v - b.A3) / (b.B3 - b.A3);
    if (v > b.B3)
        r = 1;
    return r;
}

} // namespace

double mu(int term, double v, const TermBreakpoints& b) {
    switch (term) {
    case 1:
        return term1(v, b);
    case 2:
        return term2(v, b);
    case 3:
        return term3(v, b);
    default:
        return 0;
    }
}

void membershipCurve(double left, double right, const TermBreakpoints& b,
                     std::vector<CurvePoint>& out) {
    out.clear();
    const double lo = roundHalfEven(-left);
    const double hi = roundHalfEven(right);
    if (!(lo <= hi)) // also refuses NaN
        return;
    // Ends beyond +-9e15 tenths cannot be counted in whole steps anyway.
    constexpr double kLimit = 9e15;
    if (std::fabs(lo) > kLimit || std::fabs(hi) > kLimit)
        return;
    const auto first = static_cast<std::int64_t>(lo);
    const auto last = static_cast<std::int64_t>(hi);
    const std::int64_t span = last - first;
    const std::int64_t stride =
        std::max<std::int64_t>(1, (span + kMaxCurvePoints - 2) / (kMaxCurvePoints - 1));
    out.reserve(static_cast<size_t>(span / stride + 2));
    for (std::int64_t i = first;; i += stride) {
        if (i > last)
            i = last;
        const double v = static_cast<double>(i) / 10.0;
        out.push_back({i, v, term1(v, b), term2(v, b), term3(v, b)});
        if (i == last)
            break;
    }
}

} // namespace thermo
