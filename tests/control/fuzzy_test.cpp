// Cases worked by hand from the rule base and the default terms: e.g. e = 1.5
// on a first call gives deviation memberships 0, 0.5, 0.5 and rate 0, 1, 0,
// so rules 5 and 8 fire, (70 x 2.34 x 0.5 + 120 x 2.34 x 0.5) / 1 = 222.3.
#include <gtest/gtest.h>

#include <cmath>

#include "control/fuzzy.h"

using namespace thermo;

namespace {

TEST(RegulFuzzy, ZeroErrorFiresRuleFiveOnly) {
    TControlParams p;
    TProcessState s;
    TFuzzyStep st;
    const double out = Regul_Fuzzy(p, s, 0.0, st);
    EXPECT_EQ(st.Rule_mask, 16u);
    EXPECT_EQ(st.alfa[4], 1.0);
    EXPECT_EQ(st.mu_norm_otkl, 1.0);
    EXPECT_EQ(st.mu_norm_skor, 1.0);
    EXPECT_NEAR(st.Fuzzy_out, 163.8, 1e-9);
    EXPECT_NEAR(out, 163.8, 1e-9); // add-ons: prop and integ off, Delta_1 = 0
}

TEST(RegulFuzzy, FirstCallWithOneAndAHalf) {
    TControlParams p;
    TProcessState s;
    TFuzzyStep st;
    (void)Regul_Fuzzy(p, s, 1.5, st);
    EXPECT_EQ(st.Delta_1, 0.0);
    EXPECT_DOUBLE_EQ(st.mu_norm_otkl, 0.5);
    EXPECT_DOUBLE_EQ(st.mu_bol_otkl, 0.5);
    EXPECT_EQ(st.mu_mal_otkl, 0.0);
    EXPECT_EQ(st.Rule_mask, 144u); // rules 5 and 8
    EXPECT_NEAR(st.Fuzzy_out, 222.3, 1e-9);
}

TEST(RegulFuzzy, InputsAreClampedToTheUniverses) {
    TControlParams p;
    TProcessState s;
    TFuzzyStep st;
    (void)Regul_Fuzzy(p, s, 5.0, st);
    EXPECT_DOUBLE_EQ(st.otkl, 3.3);
    (void)Regul_Fuzzy(p, s, -5.0, st); // Delta_1 = -10 -> rate -1.1
    EXPECT_DOUBLE_EQ(st.otkl, -3.3);
    EXPECT_DOUBLE_EQ(st.skor, -1.1);
    (void)Regul_Fuzzy(p, s, -3.0, st); // Delta_1 = 2 -> 1.1
    EXPECT_DOUBLE_EQ(st.skor, 1.1);
}

TEST(RegulFuzzy, DifferentialOffKeepsRateAtZero) {
    TControlParams p;
    p.diff_1 = false;
    TProcessState s;
    TFuzzyStep st;
    for (double e : {0.3, -2.0, 2.2, -0.4}) {
        (void)Regul_Fuzzy(p, s, e, st);
        EXPECT_EQ(st.skor, 0.0);
        EXPECT_EQ(st.Rule_mask & ~((1u << 1) | (1u << 4) | (1u << 7)), 0u) << e;
    }
}

TEST(InferRules, EqualTermNumbersMergeIntoOneSlot) {
    TControlParams p;
    p.m[0] = p.m[1] = p.m[3] = p.m[4] = 3;
    TFuzzyStep st;
    inferRules(p, -1.5, -0.5, kPercentToCounts, st);
    EXPECT_EQ(st.Rule_mask, 0b11011u); // rules 1, 2, 4, 5
    for (int k : {0, 1, 3, 4})
        EXPECT_DOUBLE_EQ(st.alfa[k], 0.5);
    EXPECT_NEAR(st.Fuzzy_out, 117.0, 1e-9); // one slot (3, 0.5)
}

// Wide terms that overlap everywhere, so every rule can fire.
TControlParams overlapping() {
    TControlParams p;
    p.otkl_A1 = p.otkl_A2 = p.otkl_C2 = p.otkl_B3 = 3;
    p.otkl_B1 = -2; // term 1 reaches 0 only at +2
    p.otkl_A3 = -2; // term 3 starts at -2
    p.skor_B1 = -1;
    p.skor_A3 = -1;
    p.skor_A1 = p.skor_A2 = p.skor_C2 = p.skor_B3 = 1;
    return p;
}

TEST(InferRules, OnlyTheFirstFourFiredRulesCount) {
    TControlParams p = overlapping();
    TFuzzyStep st;
    inferRules(p, 0.0, 0.0, kPercentToCounts, st);
    ASSERT_EQ(st.Rule_mask, 0x1FFu); // all nine fire
    // The first four fired are rules 1 to 4, naming terms 1, 2, 4, 2: the
    // two term-2 entries merge with the larger strength; rules 5 to 9 add
    // nothing.
    const double a1 = st.alfa[0], a2 = st.alfa[1], a3 = st.alfa[2], a4 = st.alfa[3];
    const double nExpected = (p.vih[0] * a1 + p.vih[1] * std::max(a2, a4) + p.vih[3] * a3) * 2.34;
    const double dExpected = a1 + std::max(a2, a4) + a3;
    EXPECT_NEAR(st.Fuzzy_out, nExpected / dExpected, 1e-9);
}

TEST(InferRules, SlotsKeepTheLargerStrengthOfEqualTerms) {
    TControlParams p = overlapping();
    p.m = {3, 5, 3, 6, 9, 9, 9, 9, 9}; // rules 1 to 4 name 3, 5, 3, 6
    p.vih = {0, 0, 40, 0, 80, 100, 0, 0, 0};
    TFuzzyStep st;
    inferRules(p, -0.5, -0.6, kPercentToCounts, st);
    ASSERT_NE(st.alfa[0], st.alfa[3]); // 0.5 and 0.8
    ASSERT_EQ(st.Rule_mask & 0b11011u, 0b11011u);
    const double s3 = std::max(st.alfa[0], st.alfa[2]);
    const double n = 2.34 * (40 * s3 + 80 * st.alfa[1] + 100 * st.alfa[3]);
    const double d = s3 + st.alfa[1] + st.alfa[3];
    EXPECT_NEAR(st.Fuzzy_out, n / d, 1e-9);
}

TEST(InferRules, TermNumberZeroAddsToTheDenominatorOnly) {
    TControlParams p;
    p.m[4] = 0; // rule 5
    TFuzzyStep st;
    inferRules(p, 1.5, 0.0, kPercentToCounts, st); // rules 5 and 8, 0.5 each
    EXPECT_NEAR(st.Fuzzy_out, 120 * 2.34 * 0.5 / 1.0, 1e-9);
    p.m[4] = 12; // beyond nine acts the same
    inferRules(p, 1.5, 0.0, kPercentToCounts, st);
    EXPECT_NEAR(st.Fuzzy_out, 140.4, 1e-9);
}

TEST(InferRules, NoFiredRuleGivesZeroNotNaN) {
    TControlParams p;
    // A gap between the deviation terms: nothing covers 1.5.
    p.otkl_C2 = 1.0;
    p.otkl_A3 = 2.0;
    TProcessState s;
    p.prop_1 = true;
    TFuzzyStep st;
    (void)Regul_Fuzzy(p, s, 0.0, st);
    const double out = Regul_Fuzzy(p, s, 1.5, st);
    EXPECT_EQ(st.Rule_mask, 0u);
    EXPECT_EQ(st.Fuzzy_out, 0.0);
    EXPECT_DOUBLE_EQ(out, st.Addon_1); // add-ons alone
    EXPECT_FALSE(std::isnan(out));
}

TEST(InferRules, OutputTermAboveHundredIsKept) {
    TControlParams p;
    p.m[4] = 9; // vih_9 = 190 %
    TFuzzyStep st;
    inferRules(p, 0.0, 0.0, kPercentToCounts, st);
    EXPECT_NEAR(st.Fuzzy_out, 444.6, 1e-9);
}

} // namespace
