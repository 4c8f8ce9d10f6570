// Membership tables of (v, mu) pairs worked from the term definitions with
// the default breakpoints (deviation A1 = 3, B1 = 0, A2 = 3, C2 = 3, A3 = 0,
// B3 = 3).
#include <gtest/gtest.h>

#include <cmath>

#include "control/membership.h"

using namespace thermo;

namespace {

struct Row {
    double v, mu1, mu2, mu3;
};

void expectTable(const TermBreakpoints& b, std::initializer_list<Row> rows) {
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << "v = " << r.v);
        EXPECT_NEAR(mu(1, r.v, b), r.mu1, 1e-12);
        EXPECT_NEAR(mu(2, r.v, b), r.mu2, 1e-12);
        EXPECT_NEAR(mu(3, r.v, b), r.mu3, 1e-12);
    }
}

TEST(Membership, DefaultDeviationTerms) {
    const TermBreakpoints b = deviationTerms(TControlParams{});
    expectTable(b, {
                       {-5.0, 1, 0, 0},
                       {-3.0, 1, 0, 0}, // v = -A1 is full membership; -A2 is 0
                       {-1.5, 0.5, 0.5, 0},
                       {0.0, 0, 1, 0}, // v = -B1 by the middle case; v = 0 rising case
                       {1.5, 0, 0.5, 0.5},
                       {3.0, 0, 0, 1},
                       {4.0, 0, 0, 1},
                   });
}

TEST(Membership, OutOfOrderBreakpointsLetTheLaterCaseDecide) {
    TermBreakpoints b{};
    b.A1 = 1;
    b.B1 = 2; // -A1 = -1 lies right of -B1 = -2
    // v = -1.5: first case holds (v <= -1) and so does the last (v > -2).
    EXPECT_EQ(mu(1, -1.5, b), 0.0);
    EXPECT_EQ(mu(1, -2.5, b), 1.0);
    EXPECT_EQ(mu(4, 0.0, b), 0.0);
}

TEST(Membership, PositiveB2IsAPlateauNeverAboveOne) {
    TermBreakpoints b{};
    b.A2 = 3;
    b.B2 = 1;
    b.C2 = 3;
    const std::pair<double, double> rows[] = {{-3.0, 0}, {-2.0, 0.5},       {-1.0, 1},
                                              {0.0, 1},  {1.0, 1},          {2.0, 0.5},
                                              {3.0, 0},  {-1.0001, 0.99995}};
    for (const auto& [v, expected] : rows)
        EXPECT_NEAR(mu(2, v, b), expected, 1e-9) << v;
}

TEST(Membership, APlateauThatDoesNotFitInsideTheFeetLeavesTheTriangle) {
    // B2 = C2 would divide by zero in the literal formulas, and a B2 at or
    // beyond a foot would leave that side no edge: a jump from 0 to 1.
    TermBreakpoints tri{};
    tri.A2 = 3;
    tri.C2 = 2;
    for (double b2 : {2.0, 3.0, 4.0}) {
        TermBreakpoints b = tri;
        b.B2 = b2;
        double prev = mu(2, -5, b);
        for (double v = -5; v <= 5; v += 0.01) {
            const double m = mu(2, v, b);
            EXPECT_TRUE(std::isfinite(m) && m >= 0 && m <= 1) << b2 << " " << v << " " << m;
            EXPECT_LE(std::abs(m - prev), 0.01) << "a jump at " << v << " with B2 " << b2;
            EXPECT_EQ(m, mu(2, v, tri)) << b2 << " " << v;
            prev = m;
        }
    }
}

TEST(Membership, NegativeOrZeroB2IsTheTriangle) {
    TermBreakpoints tri{};
    tri.A2 = 3;
    tri.C2 = 3;
    TermBreakpoints neg = tri;
    neg.B2 = -1;
    for (double v = -4; v <= 4; v += 0.1)
        EXPECT_EQ(mu(2, v, neg), mu(2, v, tri)) << v;
}

TEST(MembershipCurve, GridOfTenthsWithHalfEvenEnds) {
    const TermBreakpoints b = deviationTerms(TControlParams{});
    std::vector<CurvePoint> pts;
    membershipCurve(33, 33, b, pts);
    ASSERT_EQ(pts.size(), 67u);
    EXPECT_DOUBLE_EQ(pts.front().v, -3.3);
    EXPECT_DOUBLE_EQ(pts.back().v, 3.3);
    EXPECT_EQ(pts[33].tenths, 0);
    EXPECT_EQ(pts[33].mu2, 1.0);

    membershipCurve(2.5, 33, b, pts); // -2.5 rounds to the even -2
    EXPECT_EQ(pts.front().tenths, -2);
    membershipCurve(3.5, 3.5, b, pts); // -4 .. 4
    EXPECT_EQ(pts.front().tenths, -4);
    EXPECT_EQ(pts.back().tenths, 4);

    membershipCurve(-10, -10, b, pts); // upper end below lower end
    EXPECT_TRUE(pts.empty());
    membershipCurve(NAN, 3, b, pts);
    EXPECT_TRUE(pts.empty());
}

TEST(MembershipCurve, HugeUniverseIsThinnedNotFrozen) {
    std::vector<CurvePoint> pts;
    membershipCurve(10000, 10000, TermBreakpoints{}, pts); // exactly the limit, in tenths
    EXPECT_EQ(pts.size(), static_cast<size_t>(kMaxCurvePoints)) << "thinned below the limit";
    membershipCurve(10000, 10001, TermBreakpoints{}, pts); // one point past it
    EXPECT_LE(pts.size(), static_cast<size_t>(kMaxCurvePoints) + 1);
    EXPECT_EQ(pts.back().tenths, 10001);
    membershipCurve(1e12, 1e12, TermBreakpoints{}, pts);
    ASSERT_LE(pts.size(), static_cast<size_t>(kMaxCurvePoints) + 1);
    EXPECT_EQ(pts.front().tenths, -1'000'000'000'000);
    EXPECT_EQ(pts.back().tenths, 1'000'000'000'000);
    for (size_t i = 1; i < pts.size(); ++i)
        ASSERT_GT(pts[i].tenths, pts[i - 1].tenths);
}

} // namespace
