// The heating watch's decision on tables of readings, one reading and one
// command per tick, 30 s apart (so four ticks make the 120 s period), the
// setpoint at 60 °C.
#include <gtest/gtest.h>

#include <vector>

#include "run/heating_watch.h"

using thermo::HeatingWatch;

namespace {

struct Step {
    double temper;
    int command; // counts; 117 is half power
};

// The tick whose reading trips the watch, or -1.
int tripsAt(const std::vector<Step>& steps) {
    HeatingWatch w;
    for (size_t i = 0; i < steps.size(); ++i) {
        if (w.reading(steps[i].temper, 30'000))
            return static_cast<int>(i);
        w.command(static_cast<std::uint8_t>(steps[i].command), steps[i].temper, 60.0);
    }
    return -1;
}

TEST(HeatingWatch, TripsOnlyWhenStrongHeatingLeavesThePlantColdForTheWholePeriod) {
    struct Case {
        const char* what;
        std::vector<Step> steps;
        int trips;
    };
    const Case cases[] = {
        {"full heat from the start, the sensor reading the room: trips at 120 s, not before",
         {{25, 234}, {25, 234}, {25.5, 234}, {26, 234}, {26.9375, 234}, {27, 234}},
         4},
        {"half power counts as strong heating",
         {{25, 117}, {25, 117}, {25, 117}, {25, 117}, {25, 117}},
         4},
        {"risen 2 °C, then a plateau under full power far below the setpoint",
         {{25, 234},
          {26, 234},
          {27, 234},
          {47, 234},
          {47, 234},
          {47, 234},
          {47, 234},
          {47, 234},
          {47, 234}},
         -1},
        {"a plant already hot at the start: no watch",
         {{55.5, 234}, {55.5, 234}, {55.5, 234}, {55.5, 234}, {55.5, 234}, {55.5, 234}},
         -1},
        {"the command drops below half power: the watch ends; a new rise starts a new one",
         {{25, 234},
          {25, 234},
          {25, 116},
          {25, 116},
          {25, 116},
          {25, 116},
          {25, 200},
          {25, 200},
          {25, 200},
          {25, 200},
          {25, 200}},
         10},
        {"the watch starts at the rise, not at the run's start",
         {{25, 50}, {25, 50}, {25, 50}, {25, 234}, {25, 234}, {25, 234}, {25, 234}},
         -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tripsAt(c.steps), c.trips) << c.what;
}

} // namespace
