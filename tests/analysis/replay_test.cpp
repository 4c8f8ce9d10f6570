// The replay's known cases, worked by hand from the default parameter set:
// each expected display text is the value through the "0.00" pattern under a
// comma locale, as the archive window shows it.
#include <gtest/gtest.h>

#include "analysis/replay.h"
#include "common/numfmt.h"
#include "control/fuzzy.h"

using namespace thermo;

namespace {

std::string shown(double v) {
    return formatFixed(v, "0.00", ',');
}

TConfigRecord record(double zadan) {
    TConfigRecord r;
    r.Takt = 1;
    r.Zadan = zadan;
    r.Fuzzy_on = true;
    r.PID_on = true;
    return r;
}

constexpr ReplaySwitches kAllOff{false, false, false, false, false};

TEST(Replay, FirstSampleHasZeroBeforeIt) {
    const TConfigRecord rec = record(33.5);
    const TArchiveRecord s1{20.0, 0, 0, 0}, zeros{};
    const ReplayInputs in = replayInputs(rec, s1, zeros);
    EXPECT_EQ(in.e_prev, 33.5);
    EXPECT_EQ(in.d, -20.0);
    const FuzzyReplay f = Arhiv_Fuzzy(rec, s1, zeros, switchesOf(rec));
    EXPECT_DOUBLE_EQ(f.step.skor, -1.1); // clamped to -skor_left / 10
    EXPECT_DOUBLE_EQ(f.step.otkl, 3.3);  // e = 13.5 clamped to otkl_right / 10
    EXPECT_EQ(shown(f.step.addonIndicators.diffValue), "-17,08"); // 2 x 0.427 x -20
    const PidReplay p = Arhiv_Pid(rec, s1, zeros, switchesOf(rec));
    EXPECT_EQ(shown(p.indicators.diffValue), "-187,88"); // 22 x 0.427 x -20
}

TEST(Replay, RecordedSumsAreLimitedToOneMillion) {
    TConfigRecord rec = record(30);
    const TArchiveRecord s{30, 3'000'000, 2'500'000, 0}, before{30, 0, 0, 0};
    ReplaySwitches onlyInteg = kAllOff;
    onlyInteg.integ_2 = true;
    const PidReplay p = Arhiv_Pid(rec, s, before, onlyInteg);
    EXPECT_EQ(shown(p.indicators.integValue), "51240,00");
    EXPECT_EQ(shown(p.out), "120000,00");
    EXPECT_FALSE(p.indicators.prop);
    EXPECT_FALSE(p.indicators.diff);
    onlyInteg.integ_1 = true;
    const FuzzyReplay f = Arhiv_Fuzzy(rec, s, before, onlyInteg);
    EXPECT_EQ(f.step.Addon_1, 0.2 * 1'000'000);
    // A negative sum has no lower limit.
    EXPECT_EQ(replayInputs(rec, {30, -5e6, -5e6, 0}, before).S2, -5e6);
}

TEST(Replay, ProportionalOnlyRegulator2IsNotScaled) {
    const TConfigRecord rec = record(22);
    const TArchiveRecord s{20, 0, 0, 0}, before{20, 0, 0, 0}; // e = 2
    ReplaySwitches onlyProp = kAllOff;
    onlyProp.prop_2 = true;
    const ReplayView v = ShowReplay(rec, s, before, onlyProp);
    ASSERT_TRUE(v.pid);
    EXPECT_EQ(shown(v.pid->indicators.propValue), "8,54");
    EXPECT_EQ(shown(v.R2), "20,00");
}

TEST(Replay, OneRuleOfTermFiftyGives21_35) {
    TConfigRecord rec = record(25);
    rec.params.m[4] = 3; // rule 5 names output term 3, vih_3 = 50
    rec.PID_on = false;
    const TArchiveRecord s{25, 0, 0, 0}, before{25, 0, 0, 0};
    const ReplayView v = ShowReplay(rec, s, before, kAllOff);
    ASSERT_TRUE(v.fuzzy);
    EXPECT_EQ(v.fuzzy->step.Rule_mask, 1u << 4);
    EXPECT_EQ(v.fuzzy->step.alfa[4], 1.0);
    EXPECT_EQ(v.fuzzy->step.Fuzzy_out, 50.0);
    EXPECT_EQ(shown(v.R1), "21,35");
    EXPECT_EQ(shown(v.total), "21,35");
}

TEST(Replay, SetpointEqualToBothTemperaturesGives29_89) {
    const TConfigRecord rec = record(33.5); // default parameters
    const TArchiveRecord s{33.5, 0, 0, 0}, before{33.5, 0, 0, 0};
    const FuzzyReplay f = Arhiv_Fuzzy(rec, s, before, switchesOf(rec));
    EXPECT_EQ(f.step.otkl, 0.0);
    EXPECT_EQ(f.step.skor, 0.0);
    EXPECT_EQ(f.step.Rule_mask, 1u << 4);
    EXPECT_TRUE(f.step.addonIndicators.diff); // diff_1 on, adds 0
    EXPECT_EQ(f.step.Addon_1, 0.0);
    EXPECT_EQ(shown(f.out), "29,89");
    EXPECT_EQ(Arhiv_Baza(f.step.Rule_mask),
              (std::array<bool, 9>{false, false, false, false, true, false, false, false, false}));
}

TEST(Replay, Regulator1OffHidesItsPanelAndShowsZero) {
    TConfigRecord rec = record(30);
    rec.Fuzzy_on = false;
    const TArchiveRecord s{28, 0, 100, 0}, before{29, 0, 0, 0};
    const ReplayView v = ShowReplay(rec, s, before, switchesOf(rec));
    EXPECT_FALSE(v.fuzzyShown);
    EXPECT_FALSE(v.fuzzy); // nothing of Regulator 1 is redrawn
    EXPECT_EQ(shown(v.R1), "0,00");
    EXPECT_TRUE(v.pidShown);
    EXPECT_EQ(v.total, v.R2);
    // 10 x 2 + 0.12 x 100 + 22 x (29 - 28)
    EXPECT_DOUBLE_EQ(v.R2, 20 + 12 + 22);

    rec.PID_on = false;
    const ReplayView none = ShowReplay(rec, s, before, switchesOf(rec));
    EXPECT_FALSE(none.pidShown);
    EXPECT_EQ(none.total, 0.0);
}

TEST(Replay, RateInputFollowsTheTemperatureWithDiffOff) {
    TConfigRecord rec = record(30);
    rec.params.diff_1 = false;
    // The plant cooled by 0.5: the error grew, d = T(i - 1) - T(i) = 0.5.
    const TArchiveRecord s{29.5, 0, 0, 0}, before{30, 0, 0, 0};
    const FuzzyReplay f = Arhiv_Fuzzy(rec, s, before, switchesOf(rec));
    EXPECT_EQ(f.step.skor, 0.5);
    EXPECT_DOUBLE_EQ(f.step.mu_norm_skor, 0.5);
    EXPECT_DOUBLE_EQ(f.step.mu_bol_skor, 0.5);
    EXPECT_FALSE(f.step.addonIndicators.diff); // Ind_Reg1_Diff keeps its text
    EXPECT_EQ(f.step.Addon_1, 0.0);
    // e = 0.5: deviation terms 2 and 3; rate terms 2 and 3 -> rules 5, 6, 8, 9.
    EXPECT_EQ(f.step.Rule_mask, (1u << 4) | (1u << 5) | (1u << 7) | (1u << 8));
}

TEST(Replay, Prop1ComesFromTheRecordNotTheBoxes) {
    TConfigRecord rec = record(31);
    rec.params.prop_1 = true;
    const TArchiveRecord s{30, 0, 0, 0}, before{30, 0, 0, 0}; // e = 1
    const FuzzyReplay f = Arhiv_Fuzzy(rec, s, before, kAllOff);
    EXPECT_TRUE(f.step.addonIndicators.prop);
    EXPECT_EQ(shown(f.step.addonIndicators.propValue), "8,54"); // 20 x 0.427 x 1
    EXPECT_EQ(f.step.Addon_1, 20.0);
}

TEST(Replay, SharesTheLiveInferenceWithoutTheFactor2_34) {
    // For the same clamped inputs the live controller's fuzzy part is the
    // replay's F times 2.34.
    const TConfigRecord rec = record(30);
    for (double t : {29.0, 29.7, 30.4, 31.9}) {
        const TArchiveRecord s{t, 0, 0, 0}, before{30.2, 0, 0, 0};
        const FuzzyReplay f = Arhiv_Fuzzy(rec, s, before, kAllOff);
        TFuzzyStep live;
        inferRules(rec.params, f.step.otkl, f.step.skor, kPercentToCounts, live);
        EXPECT_NEAR(live.Fuzzy_out, f.step.Fuzzy_out * 2.34, 1e-9) << t;
        EXPECT_EQ(live.Rule_mask, f.step.Rule_mask) << t;
    }
}

TEST(Replay, NoRuleFiringLeavesTheAddOnsAlone) {
    TConfigRecord rec = record(30);
    rec.params.otkl_C2 = 0.5; // term 2 ends at 0.5; terms 1 and 3 start beyond 3
    rec.params.otkl_B3 = 3.1;
    rec.params.otkl_A3 = 3.0;
    const TArchiveRecord s{29, 0, 0, 0}, before{29, 0, 0, 0}; // e = 1, d = 0
    ReplaySwitches boxes = kAllOff;
    rec.params.prop_1 = true;
    const FuzzyReplay f = Arhiv_Fuzzy(rec, s, before, boxes);
    EXPECT_EQ(f.step.Rule_mask, 0u);
    EXPECT_EQ(f.step.Fuzzy_out, 0.0);
    EXPECT_DOUBLE_EQ(f.out, 20.0 * 0.427);
}

TEST(Replay, ArchivePositionsAreChecked) {
    ArchiveReader a;
    a.SampleCount = 2;
    a.ConfigCount = 1;
    a.Configs[1] = record(30);
    a.Samples[1] = {20, 0, 0, 0};
    a.Samples[2] = {21, 0, 0, 0};
    const ReplayView v = ShowReplay(a, 1, 2, switchesOf(a.Configs[1]));
    ASSERT_TRUE(v.pid);
    EXPECT_DOUBLE_EQ(v.pid->indicators.diffValue, 22 * 0.427 * -1.0);
    EXPECT_THROW((void)ShowReplay(a, 2, 1, ReplaySwitches{}), std::out_of_range);
    EXPECT_THROW((void)ShowReplay(a, 1, 3, ReplaySwitches{}), std::out_of_range);
    EXPECT_THROW((void)ShowReplay(a, 0, 1, ReplaySwitches{}), std::out_of_range);
    EXPECT_THROW((void)ShowReplay(a, 1, 0, ReplaySwitches{}), std::out_of_range);
}

} // namespace
