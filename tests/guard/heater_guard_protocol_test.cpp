// The heater guard's decisions over time, without a process or a clock: when
// it takes the heater off, when it must not, and how it tells a goodbye from
// a death.
#include <gtest/gtest.h>

#include "guard/heater_guard.h"

using namespace thermo::guard;
using namespace std::chrono_literals;
using Action = GuardWatch::Action;

namespace {

TEST(HeaterGuardWatch, TakesTheHeaterOffOnlyWhenItIsOnAndTheBeatsStop) {
    const Clock::time_point t0{};
    GuardWatch hot(t0);
    hot.onLine("beat 234", t0);
    EXPECT_EQ(hot.onLine("beat x", t0 + 5s), Action::None);
    EXPECT_EQ(hot.onTime(t0 + kHangTimeout - 1ms), Action::None)
        << "a line that is not a heartbeat must not count as one";
    EXPECT_EQ(hot.onTime(t0 + kHangTimeout), Action::SwitchOff);
    EXPECT_EQ(hot.onTime(t0 + 3 * kHangTimeout), Action::None) << "once, not every tick of silence";
    EXPECT_FALSE(hot.deadline());
    hot.onLine("beat 117", t0 + 40s); // the program answers and heats again
    EXPECT_EQ(hot.onTime(t0 + 40s + kHangTimeout), Action::SwitchOff);

    // A program that hangs with the heater at 0 harms nobody: no "off".
    GuardWatch cold(t0);
    cold.onLine("beat 0", t0);
    EXPECT_EQ(cold.onTime(t0 + 10 * kHangTimeout), Action::None);
    // Before its first byte the heater may hold anything: watched as on.
    GuardWatch unknown(t0);
    unknown.onLine("beat", t0 + 1s);
    EXPECT_EQ(unknown.onTime(t0 + 1s + kHangTimeout), Action::SwitchOff);

    // The tie closing: after a goodbye the guard leaves the heater alone.
    EXPECT_EQ(cold.onTieClosed(), Action::SwitchOffAndEnd);
    EXPECT_EQ(cold.onLine("bye", t0), Action::End);
    EXPECT_EQ(cold.onTieClosed(), Action::End);
}

TEST(HeaterGuardWatch, LinesArriveInPiecesAndAnOverlongOneIsDropped) {
    LineReader r;
    r.feed("be", 2);
    EXPECT_FALSE(r.next());
    const std::string rest = "at 12\n" + std::string(kMaxLine + 10, 'x') + "\nbye\n";
    r.feed(rest.data(), rest.size());
    EXPECT_EQ(r.next(), "beat 12");
    EXPECT_EQ(r.next(), "bye");
    EXPECT_FALSE(r.next());
}

} // namespace
