// The heating watch's decisions on tables of readings, one reading and one
// command per tick, 10 s apart, with short figures so a table stays short:
// a rise of 1 °C within 60 s (six ticks), a frozen reading trips after 30 s
// (three ticks), a fall of 10 °C, a hysteresis of 2 °C and 60 s below it.
// Plants approach their plateau exponentially, 30 % of the way left per
// tick (a time constant of about 28 s), read in steps of 1/16 °C as the
// DS18B20 reports them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "run/heating_watch.h"

using namespace thermo;

namespace {

struct Tick {
    double temper;
    int byte; // the command computed from this reading; 117 is half power
    HeatingAim aim;
};
using Ticks = std::vector<Tick>;

const HeatingAim kForced = HeatingAim::fixed(234);

double quantised(double t) {
    return std::round(t * 16) / 16;
}

// n ticks heading from `from` to `to`, 70 % of the way left per tick.
Ticks approach(double from, double to, int n, int byte, HeatingAim aim) {
    Ticks t;
    for (int k = 0; k < n; ++k)
        t.push_back({quantised(to - (to - from) * std::pow(0.7, k)), byte, aim});
    return t;
}
Ticks hold(double temper, int n, int byte, HeatingAim aim) {
    return Ticks(static_cast<std::size_t>(n), Tick{temper, byte, aim});
}
// A reading that flickers by one step, as a real one in a steady room does.
Ticks flicker(double temper, int n, int byte, HeatingAim aim) {
    Ticks t;
    for (int k = 0; k < n; ++k)
        t.push_back({temper + (k % 2) / 16.0, byte, aim});
    return t;
}
Ticks operator+(Ticks a, const Ticks& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Ticks readings(std::initializer_list<double> temper, int byte, HeatingAim aim) {
    Ticks t;
    for (double v : temper)
        t.push_back({v, byte, aim});
    return t;
}

struct Outcome {
    WatchTrip trip = WatchTrip::None;
    int tick = -1;
    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    const char* names[] = {"None", "NoRise", "Fell", "Frozen", "BelowSetpoint"};
    return os << names[static_cast<int>(o.trip)] << " at tick " << o.tick;
}

Outcome watch(const Ticks& ticks) {
    SafetySettings s;
    s.watchPeriod = 60;
    s.watchRise = 1;
    s.watchFall = 10;
    s.frozenPeriod = 30;
    s.hysteresis = 2;
    s.runawayPeriod = 60;
    HeatingWatch w(s);
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        if (const WatchTrip trip = w.reading(ticks[i].temper, 10'000); trip != WatchTrip::None)
            return {trip, static_cast<int>(i)};
        w.command(static_cast<std::uint8_t>(ticks[i].byte), ticks[i].temper, ticks[i].aim);
    }
    return {};
}

TEST(HeatingWatch, TripsWhenTheReadingDoesNotFollowStrongHeating) {
    const HeatingAim pid60 = HeatingAim::setpoint(60);
    struct Case {
        const char* what;
        Ticks ticks;
        Outcome expected;
    };
    const Case cases[] = {
        {"full heat, the sensor reading the room: no rise in the first period",
         flicker(23, 10, 234, kForced),
         {WatchTrip::NoRise, 6}},
        {"half power counts as strong heating; below it nothing is judged",
         flicker(23, 10, 117, HeatingAim::fixed(117)) +
             flicker(23, 10, 116, HeatingAim::fixed(116)),
         {WatchTrip::NoRise, 6}},
        {"heat below half power: nothing is judged", hold(23, 20, 116, HeatingAim::fixed(116)), {}},
        {"full heat, the sensor stuck at its power-on 85 °C",
         hold(85, 10, 234, kForced),
         {WatchTrip::Frozen, 3}},
        {"a regulator far below its setpoint, the sensor off the plant",
         flicker(23, 10, 234, pid60),
         {WatchTrip::NoRise, 6}},
        {"rises to its plateau and reads it to the bit, long past every period",
         approach(23, 113, 30, 234, kForced) + hold(113, 30, 234, kForced),
         {}},
        {"at the plateau the sensor comes off: the reading falls to the room",
         approach(23, 113, 30, 234, kForced) + readings({110, 104, 102.9375}, 234, kForced),
         {WatchTrip::Fell, 32}},
        {"the heater dies half way up: the plant cools",
         approach(23, 113, 4, 234, kForced) + readings({84, 80, 75, 70}, 234, kForced),
         {WatchTrip::Fell, 7}},
        {"stuck half way up (a brown-out's 85 °C): a whole period without a change",
         approach(23, 113, 3, 234, kForced) + hold(85, 10, 234, kForced),
         {WatchTrip::Frozen, 9}},
        {"an overshoot falls back while the regulator still drives hard; the fall "
         "counts from the setpoint",
         approach(23, 70, 12, 234, pid60) + readings({65, 60, 55, 50.0625, 49.9375}, 150, pid60),
         {WatchTrip::Fell, 16}},
        {"setpoint reached, then held below the hysteresis at full power",
         approach(23, 61, 14, 234, pid60) + flicker(57, 10, 234, pid60),
         {WatchTrip::BelowSetpoint, 19}},
        {"below the hysteresis short of full power: the regulator has more to give",
         approach(23, 61, 14, 234, pid60) + flicker(57, 12, 200, pid60),
         {}},
        {"below the hysteresis at full power but climbing back: each rise starts over",
         approach(23, 61, 14, 234, pid60) + readings({56, 56, 56.5, 57, 57.5, 58, 58}, 234, pid60),
         {}},
        {"a lower fixed heat lets the plant fall to its lower plateau",
         approach(23, 113, 30, 234, kForced) + approach(113, 68, 20, 117, HeatingAim::fixed(117)),
         {}},
        {"found hot, a fixed heat sees the plant fall to what it holds",
         approach(100, 68, 30, 117, HeatingAim::fixed(117)),
         {}},
        {"a pause at the plateau: the same heat again finds the plant there",
         approach(23, 113, 30, 234, kForced) + hold(112.5, 3, 0, kForced) +
             approach(112.5, 113, 12, 234, kForced),
         {}},
        {"a long pause, the plant cold, the sensor off: heat again must rise again",
         approach(23, 113, 30, 234, kForced) + approach(113, 23, 30, 0, kForced) +
             flicker(23, 10, 234, kForced),
         {WatchTrip::NoRise, 66}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(watch(c.ticks), c.expected) << c.what;
}

TEST(HeatingWatch, EveryTripHasItsMessageAndNamesTheKeyThatWidensIt) {
    EXPECT_EQ(watchTripText(WatchTrip::NoRise),
              "Нагрев без роста температуры: проверьте датчик и нагреватель. Для медленного "
              "объекта увеличьте watch_period в разделе [safety] файла настроек.");
    const std::pair<WatchTrip, const char*> keys[] = {{WatchTrip::Fell, "watch_fall"},
                                                      {WatchTrip::Frozen, "frozen_period"},
                                                      {WatchTrip::BelowSetpoint, "runaway_period"}};
    for (const auto& [trip, key] : keys)
        EXPECT_NE(watchTripText(trip).find(key), std::string::npos) << key;
    EXPECT_EQ(watchTripText(WatchTrip::None), "");
}

} // namespace
