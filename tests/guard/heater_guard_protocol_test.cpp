// The heater guard's decisions over time, without a process or a clock: when
// it takes the heater off, when it must not, how it tells a goodbye from a
// death, and how it judges a beat by the time the program sent it.
#include <gtest/gtest.h>

#include "guard/heater_guard.h"

using namespace thermo::guard;
using namespace std::chrono_literals;
using Action = GuardWatch::Action;

namespace {

// A beat's line as the program sends it.
std::string beat(MonoTime at, int byte = -1) {
    char text[kBeatChars];
    return std::string(text, formatBeat(text, at, byte));
}

TEST(HeaterGuardWatch, TakesTheHeaterOffOnlyWhenItIsOnAndTheBeatsStop) {
    const MonoTime t0{1'000'000};
    EXPECT_EQ(beat(t0, 234), "beat 1000000 234");
    EXPECT_EQ(beat(t0), "beat 1000000");
    GuardWatch hot(t0);
    hot.onLine(beat(t0, 234), t0);
    for (const char* notABeat :
         {"beat x", "beat 1005000 x", "beat 1005000 256", "beat", "beat -5 234"})
        EXPECT_EQ(hot.onLine(notABeat, t0 + 5s), Action::None) << notABeat;
    EXPECT_EQ(hot.onTime(t0 + kHangTimeout - 1ms), Action::None)
        << "a line that is not a heartbeat must not count as one";
    EXPECT_EQ(hot.onTime(t0 + kHangTimeout), Action::SwitchOff);
    EXPECT_EQ(hot.onTime(t0 + 3 * kHangTimeout), Action::None) << "once, not every tick of silence";
    EXPECT_FALSE(hot.deadline());
    hot.onLine(beat(t0 + 40s, 117), t0 + 40s); // the program answers and heats again
    EXPECT_EQ(hot.onTime(t0 + 40s + kHangTimeout), Action::SwitchOff);

    // A program that hangs with the heater at 0 harms nobody: no "off".
    GuardWatch cold(t0);
    cold.onLine(beat(t0, 0), t0);
    EXPECT_EQ(cold.onTime(t0 + 10 * kHangTimeout), Action::None);
    // Before its first byte the heater may hold anything: watched as on.
    GuardWatch unknown(t0);
    unknown.onLine(beat(t0 + 1s), t0 + 1s);
    EXPECT_EQ(unknown.onTime(t0 + 1s + kHangTimeout), Action::SwitchOff);

    // The tie closing: after a goodbye the guard leaves the heater alone.
    EXPECT_EQ(cold.onTieClosed(), Action::SwitchOffAndEnd);
    EXPECT_EQ(cold.onLine("bye", t0), Action::End);
    EXPECT_EQ(cold.onTieClosed(), Action::End);
}

// A program reading the plant every 5 s names a longer limit, which leaves
// room for two readings; no program can make it shorter than 10 s.
TEST(HeaterGuardWatch, TheHangLimitFollowsTheReadingInterval) {
    EXPECT_EQ(hangLimitFor(1000ms), kHangTimeout);
    EXPECT_EQ(hangLimitFor(5000ms), 12000ms);
    const MonoTime t0{1'000'000};
    GuardWatch w(t0);
    w.onLine("limit 12000", t0);
    w.onLine(beat(t0, 234), t0);
    EXPECT_EQ(w.onTime(t0 + 2 * 5000ms + 1500ms), Action::None) << "two slow readings fit";
    EXPECT_EQ(w.onTime(t0 + 12000ms), Action::SwitchOff);
    GuardWatch s(t0);
    s.onLine("limit 100", t0);
    s.onLine(beat(t0, 234), t0);
    EXPECT_EQ(s.onTime(t0 + kHangTimeout - 1ms), Action::None);
}

// Regression: a guard stopped while the program beat on, then resumed after
// the program had hung, read the backlog as fresh beats and left the heater
// on for another hang timeout (20 s and more in all).
TEST(HeaterGuardWatch, ABacklogReadLateIsNotTakenAsFresh) {
    const MonoTime t0{5'000'000};
    GuardWatch w(t0);
    // Stopped at t0; beats of t0+1 s and t0+2 s pile up, then the program
    // hangs. Resumed 12 s later, the guard reads them.
    const MonoTime resumed = t0 + 12s;
    w.onLine(beat(t0 + 1s, 234), resumed);
    w.onLine(beat(t0 + 2s, 234), resumed);
    EXPECT_EQ(w.deadline(), t0 + 2s + kHangTimeout);
    EXPECT_EQ(w.onTime(resumed), Action::SwitchOff) << "the backlog counted as fresh";
    // One answer for the batch, naming the newest beat read.
    EXPECT_EQ(w.takeAck(), t0 + 2s);
    EXPECT_FALSE(w.takeAck());

    // A beat sent before the guard wrote 0 says nothing of the register
    // since: it starts no second "off".
    w.onLine(beat(resumed - 1ms, 234), resumed + 1ms);
    EXPECT_EQ(w.onTime(resumed + 1ms + kHangTimeout), Action::None);
    EXPECT_FALSE(w.deadline());

    // A stamp ahead of the guard's clock is taken as now, never as later:
    // it cannot put the hang timeout off.
    GuardWatch ahead(t0);
    ahead.onLine(beat(t0 + 1h, 234), t0);
    EXPECT_EQ(ahead.onTime(t0 + kHangTimeout), Action::SwitchOff);
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
