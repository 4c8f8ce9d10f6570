// The control surface is the fuzzy part of Regul_Fuzzy itself: at every grid
// point it must equal what Regul_Fuzzy computes for that error and rate, for the default terms and
// for terms that exercise the corners of the inference (a plateau, crossed shoulders, rules naming
// no term or a term above 9, and a gap where no rule fires).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "analysis/surface.h"
#include "control/fuzzy.h"

using namespace thermo;

namespace {

// A state whose next Regul_Fuzzy call has error e and a rate as close to
// `rate` as e - previous error can come: exactly `rate` where that
// difference is representable, else one rounding away.
TProcessState arrangeRate(double e, double rate) {
    TProcessState s;
    s.First_1 = false;
    s.Oshibka_pred_1 = e - rate;
    for (double prev : {std::nextafter(s.Oshibka_pred_1, -INFINITY),
                        std::nextafter(s.Oshibka_pred_1, INFINITY)}) {
        if (e - prev == rate)
            s.Oshibka_pred_1 = prev;
    }
    return s;
}

TControlParams gapped() {
    TControlParams p; // deviation terms leave (-1, -0.5] and [0.5, 1) uncovered
    p.otkl_A1 = 1.5, p.otkl_B1 = 1.0;
    p.otkl_A2 = 0.5, p.otkl_C2 = 0.5;
    p.otkl_A3 = 1.0, p.otkl_B3 = 1.5;
    return p;
}

TControlParams unusual() {
    TControlParams p;
    p.otkl_left = 25, p.otkl_right = 41; // -2.5 .. 4.1
    p.skor_left = 7, p.skor_right = 13;
    p.otkl_B2 = 0.5;                  // a plateau between -0.5 and 0.5
    p.skor_A1 = 0.2, p.skor_B1 = 0.6; // crossed shoulder
    p.skor_A3 = 0.3, p.skor_B3 = 0.1;
    p.m = {0, 2, 12, 2, 4, 6, 4, 0, 8}; // 0 and 12 weigh towards 0
    p.vih = {5, 15, 50, 70, 90, 200, 155, 170, 250};
    return p;
}

TEST(ControlSurface, EqualsRegulFuzzyAtEveryGridPoint) {
    const struct {
        const char* name;
        TControlParams p;
        std::size_t n;
    } cases[] = {{"default", TControlParams{}, kDefaultSurfaceGrid},
                 {"unusual terms", unusual(), 37},
                 {"gapped terms", gapped(), 41}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ControlSurface surface = computeSurface(c.p, c.n);
        ASSERT_EQ(surface.counts.size(), c.n * c.n);
        int mismatches = 0, zeros = 0, exact = 0;
        for (std::size_t i = 0; i < c.n; ++i) {
            const double e = surfaceGridPoint(c.p.otkl_left, c.p.otkl_right, i, c.n);
            for (std::size_t j = 0; j < c.n; ++j) {
                const double rate = surfaceGridPoint(c.p.skor_left, c.p.skor_right, j, c.n);
                TProcessState s = arrangeRate(e, rate);
                TFuzzyStep step;
                (void)Regul_Fuzzy(c.p, s, e, step);
                // Bit for bit where Regul_Fuzzy saw the grid's own rate; a
                // rate one rounding off moves no output by more than 1e-9.
                const bool same = step.Delta_1 == rate;
                exact += same;
                const double diff = std::fabs(surface.at(i, j) - step.Fuzzy_out);
                if ((same ? diff != 0 : diff > 1e-9) && ++mismatches < 5) {
                    ADD_FAILURE() << "at (" << e << ", " << rate << "): surface "
                                  << surface.at(i, j) << ", Regul_Fuzzy " << step.Fuzzy_out;
                }
                zeros += step.Rule_mask == 0;
            }
        }
        EXPECT_GT(exact, static_cast<int>(c.n * c.n / 2)) << "too few exact rates to prove much";
        EXPECT_EQ(mismatches, 0);
        if (std::string(c.name) == "gapped terms") {
            EXPECT_GT(zeros, 0) << "the gap must be on the grid";
        }
    }
}

TEST(ControlSurface, GridSpansTheUniversesAndNoRuleReadsZero) {
    const TControlParams p = gapped();
    const ControlSurface s = computeSurface(p, 5); // otkl -3.3 .. 3.3 by 1.65, skor by 0.55
    EXPECT_DOUBLE_EQ(s.otklFrom, -3.3);
    EXPECT_DOUBLE_EQ(s.otklTo, 3.3);
    EXPECT_DOUBLE_EQ(s.skorFrom, -1.1);
    EXPECT_DOUBLE_EQ(s.skorTo, 1.1);
    // -0.75 lies in the deviation gap: no rule fires.
    EXPECT_EQ(fuzzyPartCounts(p, -0.75, 0.0), 0.0);
    // e = 0, rate 0: only rule 5 (term 4, 70 %) fires: 70 x 2.34 counts.
    EXPECT_DOUBLE_EQ(s.at(2, 2), 70 * 2.34);
    // Inputs beyond the universes are clamped, as the controller clamps them.
    EXPECT_EQ(fuzzyPartCounts(p, 50.0, -9.0), s.at(4, 0));
}

} // namespace
