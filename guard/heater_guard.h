#pragma once
// The heater guard: a small process that every program writing the heater
// starts before its first write (thermostand-guard). It holds the heater's
// registers itself and is tied to the program by a socket, because a
// parallel port has no watchdog of its own and some ends of a program run no
// handler at all:
//  - the tie closes without a goodbye (SIGKILL, the out-of-memory killer):
//    the guard writes 0 at once, says why on standard error and ends;
//  - no fresh heartbeat for kHangTimeout while the last heater byte was not 0
//    (a hung event loop): the guard writes 0, tells the program "off" and
//    watches on; the program's next tick writes its own command again;
//  - a signal ends the guard itself (SIGTERM at a logout, any other it can
//    catch): it writes 0 before it goes, and the tie closes.
// A program ending in order writes 0 itself and says "bye"; the guard then
// ends without writing. The guard answers every batch of beats with "ack",
// so that a guard that no longer reads (stopped, or starved) is noticed by
// the program within kAckTimeout instead of leaving it unprotected.
//
// The tie carries text lines:
//   program -> guard   "beat T N" alive at T; the heater byte is now N (0..255)
//                      "beat T"   alive at T; the byte is not known yet
//                      "limit MS" a hang is MS without a beat (at least
//                                 kHangTimeout): the program reads the plant
//                                 at a longer interval
//                      "bye"      ended in order, the heater left as it should be
//   guard -> program   "ready"    holds every register and watches
//                      "fail WHY" cannot reach a register; the guard ends
//                      "off"      wrote 0: no fresh heartbeat for kHangTimeout
//                      "ack T"    has read every beat up to the one stamped T
// T is the program's CLOCK_MONOTONIC in milliseconds when it beat. Both run
// on one machine and read the same clock, so the guard judges a beat by when
// it was sent, not by when it was read: a backlog read by a guard that was
// stopped or starved says nothing about the program now.

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace thermo::guard {

using Clock = std::chrono::steady_clock;

// CLOCK_MONOTONIC in milliseconds: the stamp a beat carries. Read the same in
// both processes; async-signal-safe (a fatal-signal handler beats too).
using MonoTime = std::chrono::milliseconds;
[[nodiscard]] MonoTime monotonicNow();

// The program beats whenever it reads the plant (every tick writes the
// heater and beats; a reading while stopped beats), at least this often at
// the usual interval. The guard waits kHangTimeout after the last beat's
// stamp, or the longer limit the program names, before it takes the heater
// off. A death is seen at once: the tie closes.
inline constexpr std::chrono::milliseconds kHeartbeatPeriod{1000};
inline constexpr std::chrono::milliseconds kHangTimeout{10000};
inline constexpr std::chrono::milliseconds kLongestHangLimit{60000};
// The hang limit for a program that reads the plant every `interval`: the
// longer of kHangTimeout and two intervals and two seconds, so that even at
// the longest interval (5 s) two readings fit in it with room for a slow one
// (a serial time-out, a loaded machine), and a third missed reading is a hang.
[[nodiscard]] constexpr std::chrono::milliseconds hangLimitFor(std::chrono::milliseconds interval) {
    const std::chrono::milliseconds twoReadings = 2 * interval + std::chrono::milliseconds(2000);
    return std::min(std::max(kHangTimeout, twoReadings), kLongestHangLimit);
}
// A beat not acknowledged this long after it was sent means a guard that no
// longer reads: the program takes it for gone. Well above any scheduling
// delay of a loaded machine, well below kHangTimeout.
inline constexpr std::chrono::milliseconds kAckTimeout{3000};
// How long a program waits for a new guard to say it is ready.
inline constexpr std::chrono::milliseconds kStartTimeout{3000};

// No line of the protocol is longer; a longer one is cut (sent) or dropped
// (received).
inline constexpr std::size_t kMaxLine = 256;

// The guard finds its end of the tie at this descriptor and the registers'
// descriptors from the next one on, in the order of its arguments.
inline constexpr int kTieFd = 3;
inline constexpr int kFirstRegisterFd = 4;

// A beat's line for the byte `byte` (-1: not known) stamped `at`, written
// into `out` without allocating; its length. `out` holds kBeatChars.
inline constexpr std::size_t kBeatChars = 32;
std::size_t formatBeat(char* out, MonoTime at, int byte);

// The guard's decisions, apart from any clock or socket. Times are
// monotonicNow()'s.
class GuardWatch {
public:
    enum class Action {
        None,
        SwitchOff,       // write 0, tell the program "off", watch on
        SwitchOffAndEnd, // the program is gone: write 0 and end
        End,             // the program said goodbye: end without writing
    };

    explicit GuardWatch(MonoTime start) : lastBeat_(start) {}

    // A line from the program, read at `now`.
    Action onLine(std::string_view line, MonoTime now);
    [[nodiscard]] Action onTieClosed() const;
    Action onTime(MonoTime now);
    // When onTime next has something to decide: nothing while the heater is
    // off, since a hang with the heater off harms nobody.
    [[nodiscard]] std::optional<MonoTime> deadline() const;
    // The stamp of the last beat read since the previous call: what the
    // guard acknowledges (one "ack" answers a whole batch).
    std::optional<MonoTime> takeAck() { return std::exchange(ack_, std::nullopt); }
    [[nodiscard]] MonoTime hangLimit() const { return hangLimit_; }

private:
    MonoTime lastBeat_; // the newest stamp seen, never ahead of the reading
    MonoTime hangLimit_ = kHangTimeout;
    std::optional<MonoTime> offAt_; // when this guard last wrote 0
    std::optional<MonoTime> ack_;
    bool heaterOn_ = true; // until the program says otherwise
    bool bye_ = false;
};

// Splits what a stream socket delivers into lines. A line longer than any
// the protocol has is dropped rather than kept growing.
class LineReader {
public:
    void feed(const char* data, std::size_t size);
    std::optional<std::string> next();

private:
    std::string buffer_;
    bool skipping_ = false;
};

// Sends one line on a socket without ever raising SIGPIPE, and without
// allocating: a program's fatal-signal handler switches the heater off
// through a write that tells the guard. A full buffer (a peer that does not
// read) loses the line unless room comes within `patience`. False when the
// peer is gone.
bool sendLine(int fd, std::string_view line,
              std::chrono::milliseconds patience = std::chrono::milliseconds(0));

// The guard process's work after it holds its registers: says "ready" on
// `tie`, then watches it until the program ends. `switchOff` writes 0 through
// every register. Returns the process's exit status.
int runGuard(int tie, const std::function<void()>& switchOff);

} // namespace thermo::guard
