// The step fit on responses made from the model itself (so the true values
// are known), read as the DS18B20 reads them, in sixteenths of a degree; the
// tuning rules against hand-worked figures and against the regulators' own
// laws.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/identify.h"
#include "analysis/tuning.h"
#include "control/pid.h"

using namespace thermo;

namespace {

struct Record {
    std::vector<double> t, y;
};

// `before` ticks of the level before the step (t <= 0), then the response
// until `until` seconds, one reading per `h` seconds.
Record response(const FopdtModel& m, double deltaPct, double h, int before, double until,
                double (*extra)(double) = nullptr) {
    Record r;
    for (int i = -before; i * h <= until; ++i) {
        const double t = i * h;
        double y = fopdtResponse(m, deltaPct, t) + (extra ? extra(t) : 0.0);
        r.t.push_back(t);
        r.y.push_back(std::round(y * 16) / 16);
    }
    return r;
}

TEST(FitStep, RecoversGainTimeConstantAndADeadTimeBetweenTicks) {
    const FopdtModel truth{0.9, 35.0, 2.4, 23.0};
    const Record r = response(truth, 50, 1.0, 5, 150);
    const FopdtFit f = fitStep(r.t, r.y, 50);
    ASSERT_EQ(f.refusal, FitRefusal::None) << fitRefusalText(f, '.');
    // The quantisation of 1/16 °C on a 45 °C change is all the noise there is.
    EXPECT_NEAR(f.model.gain, 0.9, 0.002);
    EXPECT_NEAR(f.model.tau, 35.0, 0.2);
    EXPECT_NEAR(f.model.deadTime, 2.4, 0.1); // below the tick of 1 s
    EXPECT_NEAR(f.model.y0, 23.0, 0.03);
    EXPECT_LT(f.rms, 0.03);
    // The intervals are honest: they hold the truth and are not absurdly wide.
    EXPECT_LT(std::fabs(f.model.tau - truth.tau), f.tauCi);
    EXPECT_LT(std::fabs(f.model.deadTime - truth.deadTime), f.deadTimeCi);
    EXPECT_LT(f.tauCi, 1.0);
    EXPECT_GT(f.gainCi, 0.0);
}

TEST(FitStep, ACoolingStepAndADeadTimeOfManyTicks) {
    const FopdtModel truth{0.8, 60.0, 14.0, 70.0};
    const Record r = response(truth, -40, 2.0, 3, 300);
    const FopdtFit f = fitStep(r.t, r.y, -40);
    ASSERT_EQ(f.refusal, FitRefusal::None) << fitRefusalText(f, '.');
    EXPECT_NEAR(f.model.gain, 0.8, 0.01);
    EXPECT_NEAR(f.model.tau, 60.0, 1.0);
    EXPECT_NEAR(f.model.deadTime, 14.0, 0.3);
    EXPECT_LT(f.change, -30);
}

TEST(FitStep, RefusesWhatItCannotIdentifyAndSaysWhy) {
    const FopdtModel plant{0.9, 35.0, 2.0, 23.0};
    // A step of 1 % moves the plant by 0.9 °C (0.88 by the end of the record).
    Record r = response(plant, 1, 1.0, 5, 200);
    FopdtFit f = fitStep(r.t, r.y, 1);
    EXPECT_EQ(f.refusal, FitRefusal::TooFlat);
    EXPECT_NE(fitRefusalText(f, ',').find("0,88 °C"), std::string::npos) << fitRefusalText(f, ',');

    // 40 s of a 35 s time constant after a 2 s dead time.
    r = response(plant, 50, 1.0, 5, 42);
    f = fitStep(r.t, r.y, 50);
    EXPECT_EQ(f.refusal, FitRefusal::TooShort);
    EXPECT_NEAR(f.model.tau, 35.0, 3.0); // found, but not trusted
    EXPECT_NE(fitRefusalText(f, '.').find("Продлите опыт"), std::string::npos);
    r = response(plant, 50, 1.0, 5, 2);
    EXPECT_EQ(fitStep(r.t, r.y, 50).refusal, FitRefusal::TooShort);

    // A second change of power in the middle of the span: the model cannot follow.
    r = response(plant, 50, 1.0, 5, 200, [](double t) { return t > 100 ? -15.0 : 0.0; });
    f = fitStep(r.t, r.y, 50);
    EXPECT_EQ(f.refusal, FitRefusal::PoorFit) << f.rms << " " << f.change;
    EXPECT_GT(f.rms, 0.05 * std::fabs(f.change));

    // P0 and P1 swapped by the user.
    r = response(plant, 50, 1.0, 5, 200);
    EXPECT_EQ(fitStep(r.t, r.y, -50).refusal, FitRefusal::WrongDirection);
    EXPECT_EQ(fitStep(r.t, r.y, 0).refusal, FitRefusal::NoStep);
}

// The level (t <= 0) must stand before the step. A start picked after the
// heater switched gave a plant of K 0.70 a gain of 0.59 and a dead time of
// 0, later a gain of 0.43, without a word.
TEST(FitStep, RefusesAStartAfterTheResponseBeganAndALevelNotSettled) {
    const FopdtModel plant{0.7, 30.0, 0.0, 23.0};
    for (double late : {3.0, 20.0}) { // s between the switch and the start picked
        FopdtModel early = plant;
        early.deadTime = -late;
        const Record r = response(early, 40, 1.0, 10, 150);
        const FopdtFit f = fitStep(r.t, r.y, 40);
        EXPECT_EQ(f.refusal, FitRefusal::ResponseBegun) << late;
        EXPECT_GT(f.levelDrift, f.levelTolerance) << late;
        EXPECT_NE(fitRefusalText(f, '.').find("Отклик начался раньше"), std::string::npos);
    }
    // Read between two codes, 23 and 23.0625 by turns, the level stands.
    Record r = response(plant, 40, 1.0, 10, 150,
                        [](double t) { return t <= 0 && int(t) % 2 != 0 ? 0.04 : 0.0; });
    FopdtFit f = fitStep(r.t, r.y, 40);
    EXPECT_EQ(f.refusal, FitRefusal::None) << fitRefusalText(f, '.');
    EXPECT_NEAR(f.model.gain, 0.7, 0.01);
    // Still cooling by 0.5 °C over the 10 s before a heating step (the line
    // through the readings in sixteenths falls by 0.49).
    r = response(plant, 40, 1.0, 10, 150, [](double t) { return t <= 0 ? -0.05 * t : 0.0; });
    f = fitStep(r.t, r.y, 40);
    EXPECT_EQ(f.refusal, FitRefusal::NotSteady);
    EXPECT_NE(fitRefusalText(f, ',').find("изменилась на 0,49 °C против ступеньки"),
              std::string::npos)
        << fitRefusalText(f, ',');
    // One sample before the switching tick's: no level to judge.
    r = response(plant, 40, 1.0, 1, 150);
    EXPECT_EQ(fitStep(r.t, r.y, 40).refusal, FitRefusal::ShortLevel);
}

TEST(FitStep, PercentIsWhatTheHeaterByteGives) {
    EXPECT_DOUBLE_EQ(appliedPercent(50), 117 / 2.34);
    EXPECT_DOUBLE_EQ(appliedPercent(33), 77 / 2.34); // 77.22 counts
    EXPECT_DOUBLE_EQ(appliedPercent(100), 100);
    EXPECT_DOUBLE_EQ(appliedPercent(0), 0);
}

TEST(FitStep, TimesOfDayCarryOverMidnight) {
    // 23:59:58, 23:59:59, the step at 00:00:00, 00:00:01.
    const double tod[] = {1 - 2 / 86400.0, 1 - 1 / 86400.0, 0.0, 1 / 86400.0};
    const std::vector<double> t = secondsFromTimesOfDay(tod, 2);
    ASSERT_EQ(t.size(), 4u);
    EXPECT_NEAR(t[0], -2, 1e-6);
    EXPECT_NEAR(t[1], -1, 1e-6);
    EXPECT_NEAR(t[2], 0, 1e-6);
    EXPECT_NEAR(t[3], 1, 1e-6);
}

// K 0.9 °C/%, tau 175 s, theta 10 s, h 1 s; tauc = 10 s. By hand:
// SIMC-PI  Kc = 175 / (0.9 x 20) = 9.7222 %/°C, Ti = min(175, 80) = 80 s.
// SIMC-PID series Td = 10/3: Kc = 9.7222 (1 + 3.3333/80) = 10.1273,
//          Ti = 83.3333, Td = 80 x 3.3333 / 83.3333 = 3.2.
// IMC-PID  Kc = 180 / (0.9 x 15) = 13.3333, Ti = 180, Td = 1750 / 360 = 4.8611.
// Regulator 2: C0_2 = Kc x 2.34 / 0.427 = Kc x 5.480094, C1_2 = C0_2 h / Ti,
// C2_2 = C0_2 Td / h; Regulator 1: the same with 2.34.
TEST(Tuning, RulesAndTheirTranslationIntoTheProgramsUnits) {
    const TuningRequest req{{0.9, 175.0, 10.0, 23.0}, 1.0, 10.0, 0.0};
    struct Row {
        TuningRule rule;
        double kc, ti, td;
    } rows[] = {{TuningRule::SimcPi, 9.72222, 80.0, 0.0},
                {TuningRule::SimcPid, 10.12731, 83.33333, 3.2},
                {TuningRule::ImcPid, 13.33333, 180.0, 4.86111}};
    for (const Row& row : rows) {
        SCOPED_TRACE(tuningRuleName(row.rule));
        const Tuning t = tune(row.rule, req);
        EXPECT_EQ(t.tauC, 10.0);
        EXPECT_NEAR(t.textbook.Kc, row.kc, 1e-4);
        EXPECT_NEAR(t.textbook.Ti, row.ti, 1e-4);
        EXPECT_NEAR(t.textbook.Td, row.td, 1e-4);
        EXPECT_NEAR(t.regulator2.C0, row.kc * 5.480094, 1e-3);
        EXPECT_NEAR(t.regulator2.C1, row.kc * 5.480094 / row.ti, 1e-5);
        EXPECT_NEAR(t.regulator2.C2, row.kc * 5.480094 * row.td, 1e-3);
        EXPECT_NEAR(t.regulator1.C0, row.kc * 2.34, 1e-3);
        EXPECT_EQ(tuningRuleFromName(tuningRuleName(row.rule)), row.rule);
    }
    // With no dead time the loop still acts only once per interval.
    EXPECT_EQ(tune(TuningRule::SimcPi, {{0.9, 175.0, 0.0, 23.0}, 2.0}).tauC, 2.0);
}

// The translation checked against the laws as the regulators run them: for
// any error sequence, Regulator 2's output and Regulator 1's add-ons, taken
// as percent (counts / 2.34), are the textbook discrete PID.
TEST(Tuning, TheRegulatorsThenActAsTheTextbookPid) {
    const double h = 0.5;
    const Tuning t = tune(TuningRule::ImcPid, {{0.7, 90.0, 6.0, 20.0}, h, 10.0, 0.0});
    const PidGains& g = t.textbook;
    TControlParams p;
    p.prop_1 = p.integ_1 = p.diff_1 = true;
    applyTuning(p, t, 2);
    applyTuning(p, t, 1);
    TProcessState s;
    const double errors[] = {3.0, 2.5, 1.75, 0.5, -0.25, -0.5};
    double sum = 0, prev = errors[0];
    for (double e : errors) {
        const bool first = s.First_2;
        sum += e;
        const double textbook = g.Kc * (e + h / g.Ti * sum + (first ? 0 : g.Td / h * (e - prev)));
        prev = e;
        EXPECT_NEAR(Regul_Pid(p, s, e).out / 2.34, textbook, 1e-9 * std::fabs(textbook) + 1e-9)
            << "error " << e;
        EXPECT_NEAR(regul1Addons(p, s, e).Addon_1 / 2.34, textbook, 1e-9) << "error " << e;
    }
}

TEST(Tuning, WarnsWhenTheStepWouldSaturateTheHeater) {
    TuningRequest req{{0.9, 175.0, 10.0, 23.0}, 1.0, 10.0, 0.0};
    Tuning t = tune(TuningRule::SimcPid, req); // 10.13 %/°C x 10 °C x (1 + 1/83.3)
    EXPECT_NEAR(t.demandPct, 102.5, 0.1);
    EXPECT_NEAR(t.kickPct, 10.12731 * 3.2 * 10, 0.01);
    EXPECT_TRUE(t.saturates);
    EXPECT_NE(saturationWarning(t, req, ',').find("102,5 %"), std::string::npos)
        << saturationWarning(t, req, ',');
    req.stepC = 5;
    EXPECT_FALSE(tune(TuningRule::SimcPid, req).saturates);
    EXPECT_EQ(saturationWarning(tune(TuningRule::SimcPid, req), req, '.'), "");
    req.basePct = 60; // held at 60 % before the step
    EXPECT_TRUE(tune(TuningRule::SimcPid, req).saturates);
    req.stepC = -10; // a step down from 60 % asks for less than nothing
    t = tune(TuningRule::SimcPid, req);
    EXPECT_LT(t.demandPct, 0);
    EXPECT_NE(saturationWarning(t, req, '.').find("выключен"), std::string::npos);
}

} // namespace
