// A run's configuration history as the lab report lists it.
#include <gtest/gtest.h>

#include "analysis/config_history.h"
#include "storage/recorder.h"

using namespace thermo;

// Ten samples a second apart. Records: Takt 1 (setpoint 30); Takt 5, C0_1
// 20 -> 20.5; Takt 8, nothing but the Takt (left out); Takt 12, setpoint 25,
// Regulator 2 and P of Regulator 1 on, m3 4 -> 5, interval 1000 -> 500;
// Takt 20, setpoint 26, acting at position 18, past the samples.
TEST(ConfigHistory, EachChangeWithWhereAndWhenItActedAndWhatItChanged) {
    ArchiveReader a;
    a.SampleCount = 10;
    for (std::size_t p = 1; p <= 10; ++p)
        a.Samples[p] = {30, 0, 0, Vremya(10, 0, 0, 0) + (p - 1) / 86400.0};
    TConfigRecord r;
    r.Interval = 1000;
    r.Zadan = 30;
    auto add = [&](std::uint16_t takt) {
        r.Takt = takt;
        a.Configs[++a.ConfigCount] = r;
    };
    add(1);
    r.params.C0_1 = 20.5;
    add(5);
    add(8);
    r.Zadan = 25;
    r.PID_on = true;
    r.params.prop_1 = true;
    r.params.m[2] = 5;
    r.Interval = 500;
    add(12);
    r.Zadan = 26;
    add(20);

    const std::vector<ConfigChange> h = configHistory(a, ',');
    ASSERT_EQ(h.size(), 4u);
    EXPECT_EQ(h[0].record, 1u);
    EXPECT_EQ(h[0].position, 1u);
    EXPECT_TRUE(h[0].changes.empty());
    // Takt 5 acts on the sample of tick 5, position 3: two seconds in.
    EXPECT_EQ(h[1].record, 2u);
    EXPECT_EQ(h[1].position, 3u);
    ASSERT_TRUE(h[1].seconds);
    EXPECT_NEAR(*h[1].seconds, 2, 1e-6);
    EXPECT_NEAR(*h[1].timeOfDay, Vremya(10, 0, 2, 0), 1e-9);
    EXPECT_EQ(h[1].changes, std::vector<std::string>{"C0_1 20 → 20,5"});
    EXPECT_EQ(h[2].record, 4u);
    EXPECT_EQ(h[2].position, 10u);
    const std::vector<std::string> fourth = {"задание 30 → 25", "рег. 2 вкл.", "П рег. 1 вкл.",
                                             "m3 4 → 5", "интервал, мс 1000 → 500"};
    EXPECT_EQ(h[2].changes, fourth);
    EXPECT_EQ(h[3].position, 18u);
    EXPECT_FALSE(h[3].seconds);
    EXPECT_EQ(actingPosition(1), 1u);
    EXPECT_EQ(actingPosition(3), 1u);
}
