// Runs compared: the naming rule, the labels, the step chosen and aligned,
// the best-of marks, and the machine-readable table. Archives are built in
// memory, samples a second apart from 10:00:00; the figures of each run are
// worked out by hand beside it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/compare.h"
#include "storage/recorder.h"

using namespace thermo;

namespace {

struct Record {
    std::uint16_t Takt;
    double Zadan;
};

// temper[p - 1] at position p; a record per entry of `records`, each a copy
// of `base` with its Takt and setpoint.
void fill(ArchiveReader& a, const std::vector<double>& temper, const std::vector<Record>& records,
          TConfigRecord base = {}) {
    a.SampleCount = temper.size();
    for (std::size_t p = 1; p <= temper.size(); ++p)
        a.Samples[p] = {temper[p - 1], 0, 0, Vremya(10, 0, 0, 0) + (p - 1) / 86400.0};
    a.ConfigCount = records.size();
    for (std::size_t k = 1; k <= records.size(); ++k) {
        a.Configs[k] = base;
        a.Configs[k].Takt = records[k - 1].Takt;
        a.Configs[k].Zadan = records[k - 1].Zadan;
    }
}

TConfigRecord regulators(bool fuzzy, bool pid) {
    TConfigRecord r;
    r.Fuzzy_on = fuzzy;
    r.PID_on = pid;
    return r;
}

TEST(CompareNames, RegulatorsInForceNameTheRun) {
    // Defaults: C0_2 10, C1_2 0.12, C2_2 22; Regulator 1's add-ons: only D on.
    TConfigRecord pd = regulators(false, true);
    pd.params.integ_2 = false;
    TConfigRecord allAddOns = regulators(true, false);
    allAddOns.params.prop_1 = allAddOns.params.integ_1 = true;
    TConfigRecord bare = regulators(true, false);
    bare.params.diff_1 = false;
    TConfigRecord noTerms = regulators(false, true);
    noTerms.params.prop_2 = noTerms.params.integ_2 = noTerms.params.diff_2 = false;
    TConfigRecord heat = regulators(false, false);
    heat.Nagrev = true;
    const struct {
        std::optional<TConfigRecord> record;
        char sep;
        const char* name;
    } cases[] = {
        {regulators(false, true), ',', "ПИД 10 / 0,12 / 22"},
        {regulators(false, true), '.', "ПИД 10 / 0.12 / 22"},
        {pd, ',', "ПД 10 / 22"},
        {regulators(true, false), ',', "fuzzy + Д"},
        {allAddOns, ',', "fuzzy + П + И + Д"},
        {bare, ',', "fuzzy"},
        {regulators(true, true), ',', "fuzzy + Д и ПИД 10 / 0,12 / 22"},
        {noTerms, ',', "ПИД без звеньев"},
        {heat, ',', "нагрев"},
        {regulators(false, false), ',', "ручной"},
        {std::nullopt, ',', "нет конфигурации"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(regulatorsName(c.record, c.sep), c.name);
}

// A regulator switched on after "новый" and before "старт" (recorded by the
// first recording tick, Takt 3) ran the whole run: a run without a step is
// named after it, not after the record "новый" wrote.
TEST(CompareNames, ARunWithoutAStepIsNamedAfterWhatRanFromItsFirstSample) {
    ArchiveReader a;
    fill(a, {25, 25, 25}, {{1, 25}, {3, 25}}, regulators(false, true));
    a.Configs[1].PID_on = false;
    const Comparison c = compareRuns({{"pid.txt", &a}, {"pid2.txt", &a}}, CompareAlign::Start);
    ASSERT_FALSE(c.runs[0].step);
    EXPECT_EQ(runName(c.runs[0], ','), "pid — ПИД 10 / 0,12 / 22");
}

TEST(CompareNames, LabelsAreFileNamesWithTheirFolderWhereTwoWouldBeAlike) {
    ArchiveReader a;
    const Comparison c = compareRuns({{"/lab/mon/run1.txt", &a},
                                      {"/lab/tue/run1.txt", &a},
                                      {"/lab/mon/run2.txt", &a},
                                      {"/x/tue/run1.txt", &a}},
                                     CompareAlign::Start);
    // Even with the folder the second and the fourth clash: their paths.
    ASSERT_EQ(c.runs.size(), 4u);
    EXPECT_EQ(c.runs[0].label, "mon/run1");
    EXPECT_EQ(c.runs[1].label, "/lab/tue/run1.txt");
    EXPECT_EQ(c.runs[2].label, "run2");
    EXPECT_EQ(c.runs[3].label, "/x/tue/run1.txt");
}

// Held at 25 (positions 1-10, a hold: a step under 0.5), then 35 from the
// record of Takt 13 with Regulator 2 on and C0_2 12. The record acted from
// position 11, two before its Takt, as the scorecard takes it: the first step
// is the segment 11-20, ten seconds after the start.
TEST(Compare, TheStepIsTheScorecardsSegmentItsRecordNamesTheRunAndTimeStartsThere) {
    ArchiveReader a;
    std::vector<double> temper(20, 25.0);
    for (std::size_t i = 10; i < 20; ++i)
        temper[i] = 26 + static_cast<double>(i - 10);
    fill(a, temper, {{1, 25}, {13, 35}});
    a.Configs[2].PID_on = true;
    a.Configs[2].params.C0_2 = 12;

    Comparison c = compareRuns({{"/d/run.txt", &a}}, CompareAlign::Step);
    const ComparedRun& r = c.runs[0];
    ASSERT_TRUE(r.step);
    EXPECT_EQ(r.step->first, 11u);
    EXPECT_EQ(r.step->last, 20u);
    EXPECT_EQ(runName(r, ','), "run — ПИД 12 / 0,12 / 22");
    EXPECT_DOUBLE_EQ(r.t0, 10);
    ASSERT_EQ(r.t.size(), 20u);
    EXPECT_NEAR(r.t[10], 0, 1e-6);
    EXPECT_NEAR(r.t[0], -10, 1e-6);
    EXPECT_EQ(r.zadan[9], 25);
    EXPECT_EQ(r.zadan[10], 35);

    c = compareRuns({{"/d/run.txt", &a}}, CompareAlign::Start);
    EXPECT_DOUBLE_EQ(c.runs[0].t0, 0);
    EXPECT_NEAR(c.runs[0].t[10], 10, 1e-6);

    // No second step: no figures, named by the record at the start (both
    // regulators off there), time from the start.
    c = compareRuns({{"/d/run.txt", &a}}, CompareAlign::Step, 2);
    EXPECT_FALSE(c.runs[0].step);
    EXPECT_EQ(runName(c.runs[0], ','), "run — ручной");
    EXPECT_DOUBLE_EQ(c.runs[0].t0, 0);
}

// 20 -> 30. fast: 20 25 31 30 30 30: rise 10 % at t 1, 90 % at t 2 (1 s),
// overshoot 10 %, in the band from t 3, iae 5+1 = 6, ise 26, itae 5+2 = 7.
// slow: 20 22 26 29 29.8 30: rise t 1 .. t 3 (2 s), overshoot 0, settled at
// t 4, iae 13.2, ise 81.04, itae 19.8. "same" is fast again: ties share.
// The fourth has no configuration record and so no step.
TEST(Compare, TheBestOfEachFigureIsMarkedTiesShareItARunWithoutAStepHasNone) {
    ArchiveReader fast, slow, same, none;
    fill(fast, {20, 25, 31, 30, 30, 30}, {{1, 30}});
    fill(slow, {20, 22, 26, 29, 29.8, 30}, {{1, 30}});
    fill(same, {20, 25, 31, 30, 30, 30}, {{1, 30}});
    fill(none, {20, 25, 30}, {});
    const Comparison c = compareRuns(
        {{"fast", &fast}, {"slow", &slow}, {"same", &same}, {"none", &none}}, CompareAlign::Step);
    auto bestOf = [&](std::size_t run) {
        std::vector<std::string> names;
        for (std::size_t f : comparedFields())
            if (c.runs[run].isBest(f))
                names.emplace_back(scoreFieldNames()[f]);
        return names;
    };
    const std::vector<std::string> fastBest = {"rise_time_s", "settling_time_s", "iae", "ise",
                                               "itae"};
    EXPECT_EQ(bestOf(0), fastBest);
    EXPECT_EQ(bestOf(1), std::vector<std::string>{"overshoot_pct"});
    EXPECT_EQ(bestOf(2), fastBest);
    EXPECT_FALSE(c.runs[3].step);
    EXPECT_EQ(c.runs[3].best, 0u);

    // Steady error by its magnitude: 21 samples, the mean of the last ten
    // is 30 - 30.3 = -0.3 against 30 - 29.8 = +0.2.
    ArchiveReader above, below;
    std::vector<double> up(21, 30.3), down(21, 29.8);
    up[0] = down[0] = 20;
    fill(above, up, {{1, 30}});
    fill(below, down, {{1, 30}});
    const Comparison e = compareRuns({{"above", &above}, {"below", &below}}, CompareAlign::Step);
    std::size_t steady = 0;
    while (std::string_view(scoreFieldNames()[steady]) != "steady_error")
        ++steady;
    EXPECT_FALSE(e.runs[0].isBest(steady));
    EXPECT_TRUE(e.runs[1].isBest(steady));
}

TEST(Compare, TheTableForScriptsHasAPointQuotedNamesAndEmptyFiguresWithoutAStep) {
    ArchiveReader fast, none;
    fill(fast, {20, 25, 31, 30, 30, 30}, {{1, 30}}, regulators(false, true));
    fast.Configs[1].params.C1_2 = 0.5;
    fill(none, {20, 25, 30}, {});
    const Comparison c =
        compareRuns({{"/d/a,\"b\".txt", &fast}, {"/d/none.txt", &none}}, CompareAlign::Step);
    const std::string csv = comparisonCsv(c);
    std::string header = "name";
    for (const char* f : scoreFieldNames())
        header += std::string(",") + f;
    header += ",t0_s,best\n";
    ASSERT_EQ(csv.substr(0, header.size()), header);
    // The run's figures as archive score writes them; no best-of mark, as
    // no other run has a figure to compare.
    const std::string first =
        "\"a,\"\"b\"\" — ПИД 10 / 0.5 / 22\",1,6,30,20,10,5,1,10,31,2,0.5,3,,6,26,7,0,\n";
    EXPECT_EQ(csv.substr(header.size(), first.size()), first);
    EXPECT_EQ(csv.substr(header.size() + first.size()),
              "none — нет конфигурации,,,,,,,,,,,,,,,,,0,\n");

    const std::string json = comparisonJson(c);
    EXPECT_NE(json.find("\"name\": \"a,\\\"b\\\" — ПИД 10 / 0.5 / 22\""), std::string::npos)
        << json;
    EXPECT_NE(json.find("\"segment\": null"), std::string::npos);
    EXPECT_NE(json.find("\"overshoot_pct\": 10,"), std::string::npos);
    EXPECT_EQ(json.find("\"best\": [\""), std::string::npos) << "nothing to be best against";
}

} // namespace
