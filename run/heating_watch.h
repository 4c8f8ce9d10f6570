#pragma once
// The heating watch: a heater driven hard must warm the plant. When the
// reading does not follow, the sensor has most likely come off the plant (it
// reads the room) or the heater is broken, and full power would go on with
// nobody seeing its effect.
//
// A watch starts when the heater command rises to kWatchCommand or more (from
// below, or at the start of a run) while the plant is at least
// kWatchBelowSetpoint under the setpoint. It ends when the temperature has
// risen by kWatchRise over the reading it started at, or when the command
// falls below kWatchCommand. Still running after kWatchPeriodMs, it trips.
// A plant that later settles below an unreachable setpoint has risen long
// before, and a plant already near the setpoint starts no watch.
//
// Time is tick time: each tick counts the measurement interval in force, so
// a tick held up by a message box or a slow port adds no time of its own.

#include <cstdint>

namespace thermo {

inline constexpr std::uint8_t kWatchCommand = 117; // counts: 50 % of 234
inline constexpr double kWatchBelowSetpoint = 5.0; // °C
inline constexpr double kWatchRise = 2.0;          // °C
inline constexpr int kWatchPeriodMs = 120'000;     // the plant's time constant is minutes
inline constexpr const char* kHeatingWithoutRiseText =
    "Нагрев без роста температуры: проверьте датчик и нагреватель.";

class HeatingWatch {
public:
    explicit HeatingWatch(int periodMs = kWatchPeriodMs) : periodMs_(periodMs) {}

    // A tick's reading judges the interval just passed (`sinceLastMs`, in
    // which the previous command acted). True when the heater must go off:
    // it drove at half power or more for the whole period and the plant did
    // not warm by kWatchRise.
    [[nodiscard]] bool reading(double temper, int sinceLastMs);
    // The byte the tick writes: a rise to half power or more starts a watch
    // (plant well below the setpoint), a fall below it ends one.
    void command(std::uint8_t byte, double temper, double zadan);
    // A run starts or the heater went off: the next strong command counts
    // as a rise from below.
    void reset();

    void setPeriodMs(int ms) { periodMs_ = ms; }
    [[nodiscard]] bool watching() const { return watching_; }

private:
    int periodMs_;
    bool watching_ = false;
    bool commandHigh_ = false; // the last command was kWatchCommand or more
    double startTemper_ = 0;
    long long elapsedMs_ = 0;
};

} // namespace thermo
