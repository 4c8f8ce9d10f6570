// Expected values are worked by hand from the PID law: output =
// 0.427 x (C0_2 e + C1_2 S + C2_2 de), indicators the three summands in counts.
#include <gtest/gtest.h>

#include "control/pid.h"

using namespace thermo;

namespace {

TEST(Defaults, ParameterSetHasTheDocumentedValues) {
    const TControlParams p;
    EXPECT_EQ(p.C0_1, 20.0);
    EXPECT_EQ(p.C1_1, 0.2);
    EXPECT_EQ(p.C2_1, 2.0);
    EXPECT_EQ(p.C0_2, 10.0);
    EXPECT_EQ(p.C1_2, 0.12);
    EXPECT_EQ(p.C2_2, 22.0);
    EXPECT_EQ(p.otkl_left, 33.0);
    EXPECT_EQ(p.skor_right, 11.0);
    EXPECT_EQ(p.otkl_B3, 3.0);
    EXPECT_EQ(p.skor_A2, 1.0);
    EXPECT_EQ((std::array<std::uint8_t, 9>{5, 15, 50, 70, 90, 120, 155, 170, 190}), p.vih);
    EXPECT_EQ((std::array<std::uint8_t, 9>{1, 2, 4, 2, 4, 6, 4, 6, 8}), p.m);
    EXPECT_FALSE(p.prop_1);
    EXPECT_FALSE(p.integ_1);
    EXPECT_TRUE(p.diff_1);
    EXPECT_TRUE(p.prop_2 && p.integ_2 && p.diff_2);
    const TProcessState s;
    EXPECT_EQ(s.Takt, 1);
    EXPECT_TRUE(s.First_1 && s.First_2);
}

TEST(RegulPid, FirstCallSeedsSumAndWritesNoIndicator) {
    TControlParams p;
    TProcessState s;
    const PidResult r = Regul_Pid(p, s, 1.5);
    EXPECT_DOUBLE_EQ(s.Summa_2, 1.5);
    EXPECT_DOUBLE_EQ(s.Oshibka_pred_2, 1.5);
    EXPECT_FALSE(s.First_2);
    EXPECT_NEAR(r.out, 0.427 * (15 + 0.18), 1e-12); // 6.48186
    EXPECT_FALSE(r.indicators.prop || r.indicators.integ || r.indicators.diff);
}

TEST(RegulPid, ProportionalOnlyOnALaterCall) {
    TControlParams p;
    p.integ_2 = p.diff_2 = false;
    TProcessState s;
    (void)Regul_Pid(p, s, 0.0);
    const PidResult r = Regul_Pid(p, s, 2.0);
    EXPECT_NEAR(r.out, 8.54, 1e-12);
    ASSERT_TRUE(r.indicators.prop);
    EXPECT_NEAR(r.indicators.propValue, 8.54, 1e-12);
    EXPECT_FALSE(r.indicators.integ);
    EXPECT_FALSE(r.indicators.diff);
}

TEST(RegulPid, SumIsLimitedAboveOnlyAndAccumulatesWhileIntegralIsOff) {
    TControlParams p;
    TProcessState s;
    (void)Regul_Pid(p, s, 0.0);
    s.Summa_2 = 999'999.5;
    (void)Regul_Pid(p, s, 1.0);
    EXPECT_EQ(s.Summa_2, 1'000'000.0);
    (void)Regul_Pid(p, s, -3.0);
    EXPECT_EQ(s.Summa_2, 999'997.0);
    s.Summa_2 = -5e9; // no lower limit
    (void)Regul_Pid(p, s, -1.0);
    EXPECT_EQ(s.Summa_2, -5e9 - 1.0);

    s.Summa_2 = 0;
    p.integ_2 = false;
    for (int i = 0; i < 10; ++i)
        (void)Regul_Pid(p, s, 1.0);
    EXPECT_DOUBLE_EQ(s.Summa_2, 10.0);
    p.integ_2 = true;
    p.prop_2 = p.diff_2 = false;
    const PidResult r = Regul_Pid(p, s, 1.0); // the grown sum acts at once
    EXPECT_NEAR(r.out, 0.427 * 0.12 * 11.0, 1e-12);
}

TEST(RegulPid, DifferenceIsAgainstTheRegulatorsOwnLastCall) {
    TControlParams p;
    p.prop_2 = p.integ_2 = false;
    TProcessState s;
    (void)Regul_Pid(p, s, 1.0);
    // Ticks in which the regulator is not called do not move its memory.
    const PidResult r = Regul_Pid(p, s, 4.0);
    EXPECT_NEAR(r.indicators.diffValue, 0.427 * 22.0 * 3.0, 1e-12);
    EXPECT_DOUBLE_EQ(s.Oshibka_pred_2, 4.0);
}

TEST(RegulOneAddons, FirstCallAndProportional) {
    TControlParams p;
    p.prop_1 = true;
    p.diff_1 = false;
    TProcessState s;
    AddonResult a = regul1Addons(p, s, 0.7);
    EXPECT_DOUBLE_EQ(a.Addon_1, 14.0);
    EXPECT_EQ(a.Delta_1, 0.0);
    EXPECT_DOUBLE_EQ(s.Summa_1, 0.7); // seeded even with integ_1 off
    EXPECT_FALSE(a.indicators.prop);
    a = regul1Addons(p, s, 0.5);
    EXPECT_DOUBLE_EQ(a.Addon_1, 10.0);
    ASSERT_TRUE(a.indicators.prop);
    EXPECT_NEAR(a.indicators.propValue, 4.27, 1e-12);
}

TEST(RegulOneAddons, SumHeldAtZeroWhileIntegralIsOff) {
    TControlParams p; // integ_1 off by default
    TProcessState s;
    (void)regul1Addons(p, s, 1.0);
    for (int i = 0; i < 5; ++i)
        (void)regul1Addons(p, s, 1.0);
    EXPECT_EQ(s.Summa_1, 0.0);
    p.integ_1 = true;
    const AddonResult a = regul1Addons(p, s, 2.5);
    EXPECT_DOUBLE_EQ(s.Summa_1, 2.5);
    EXPECT_NEAR(a.indicators.integValue, 0.427 * 0.2 * 2.5, 1e-12);
}

TEST(RegulOneAddons, DifferentialOffGivesZeroRate) {
    TControlParams p;
    TProcessState s;
    (void)regul1Addons(p, s, 1.0);
    AddonResult a = regul1Addons(p, s, 1.6);
    EXPECT_NEAR(a.Delta_1, 0.6, 1e-12);
    EXPECT_NEAR(a.Addon_1, 1.2, 1e-12);
    p.diff_1 = false;
    a = regul1Addons(p, s, 3.0);
    EXPECT_EQ(a.Delta_1, 0.0);
    EXPECT_FALSE(a.indicators.diff);
    EXPECT_DOUBLE_EQ(s.Oshibka_pred_1, 3.0); // updated whatever the switches
}

TEST(Reset, ClearingOneSumLeavesTheRestAlone) {
    // The "сброс" buttons are plain assignments; what matters is that the
    // next call restarts from there and the first-call flags stay down.
    TControlParams p;
    TProcessState s;
    (void)Regul_Pid(p, s, 2.0);
    (void)regul1Addons(p, s, 2.0);
    s.Summa_2 = 0;
    (void)Regul_Pid(p, s, 1.0);
    EXPECT_DOUBLE_EQ(s.Summa_2, 1.0);
    EXPECT_FALSE(s.First_2);
    EXPECT_FALSE(s.First_1);
}

} // namespace
