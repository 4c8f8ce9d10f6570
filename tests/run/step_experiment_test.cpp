// The step experiment's sequence over an archive that already holds samples:
// the manual value of each tick, the step's positions, and a cut short run
// whose next tick is the one that switches the heater off.
#include <gtest/gtest.h>

#include <vector>

#include "run/step_experiment.h"

using namespace thermo;

namespace {

// Runs ticks as the cycle reports them (the run's first tick records no
// sample) and returns each tick's manual value, 0 for manual mode off.
std::vector<int> runTicks(StepExperiment& e, int ticks) {
    std::vector<int> shown;
    for (int i = 0; i < ticks && !e.finished(); ++i) {
        CycleControls c;
        c.Check_PID = c.SpeedButton1 = true; // what the user had on
        e.beforeTick(c);
        EXPECT_FALSE(c.Check_PID || c.Check_Fuzzy || c.SpeedButton1);
        shown.push_back(c.Check_shim ? c.UpDown2 : 0);
        TickReport r;
        r.sampleAdded = e.ticksRun() > 0;
        r.timeOfDay = (36000.0 + e.ticksRun()) / 86400.0;
        // The record is stamped by the recorder's clock, a little after the
        // tick's start: the span takes the record's.
        const TArchiveRecord recorded{20.0 + e.ticksRun(), 0, 0, r.timeOfDay + 0.25 / 86400.0};
        e.afterTick(r, recorded);
    }
    return shown;
}

TEST(StepExperiment, HoldsStepsAndSwitchesOffWithItsSpanAfterThePriorSamples) {
    StepExperiment e({30, 0, 2, 6}, 100); // a cooling step
    EXPECT_EQ(runTicks(e, 20), (std::vector<int>{30, 30, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(e.finished());
    // Tick 2 switched: the archive's positions 101 (tick 1) on, so 102..107,
    // with position 101 for the level; tick 0 recorded nothing, and the
    // closing tick's reading is not the step's.
    const StepSpan s = e.span(1.0);
    EXPECT_EQ(s.first, 102u);
    EXPECT_EQ(s.last, 107u);
    EXPECT_EQ(s.baseline, 1u);
    ASSERT_EQ(s.t.size(), 7u);
    EXPECT_NEAR(s.t[0], -1.0, 1e-6);
    EXPECT_DOUBLE_EQ(s.t[1], 0.0);
    EXPECT_DOUBLE_EQ(s.y[1], 22.0);

    StepExperiment cut({0, 50, 2, 6}, 0);
    EXPECT_EQ(runTicks(cut, 3), (std::vector<int>{0, 0, 50}));
    cut.abandon();
    EXPECT_EQ(runTicks(cut, 20), (std::vector<int>{0}));
    EXPECT_TRUE(cut.finished());
    EXPECT_TRUE(cut.abandoned());

    EXPECT_FALSE(validStepPlan({50, 50, 2, 6}));
    EXPECT_FALSE(validStepPlan({0, 50, 2, 5}));
    EXPECT_FALSE(validStepPlan({0, 50, 60000, 4999 + 1}));
    EXPECT_TRUE(validStepPlan({0, 50, 60000, 4999}));
}

} // namespace
