#pragma once
// The heating watch: a heater driven hard must warm the plant, and a plant
// that was warmed must not seem to cool while the heater goes on working.
// When the reading does not follow, the sensor has most likely come off the
// plant (it reads the room), stuck (a DS18B20 that lost its supply reads its
// power-on 85.0 °C), or the heater is broken, and full power would go on
// with nobody seeing its effect. The checks follow the thermal-runaway
// protection of 3D-printer firmware, with periods for a plant whose time
// constant is minutes. They judge only intervals in which the heater worked
// hard (kWatchCommand, half power, or more), in every mode that heats.
//
// Where the plant is heading (its aim): a regulator drives toward the
// setpoint; manual heat, forced heat, the step experiment and a stopped run
// that left the heater on hold the command fixed, and head for the plateau
// that command holds, which the watch learns by seeing the plant level off.
//
// - No rise: while the plant approaches (below the setpoint less the
//   hysteresis, or a fixed command's plateau not yet seen), it must rise
//   watch_rise within watch_period; each rise starts the next period. A
//   period without it trips when the plant has not followed the heater
//   since the heat began, and is otherwise the plateau: the plant rose, then
//   levelled off (an unreachable setpoint, a regulator's offset, the top of
//   manual heat). A fixed heat that finds the plant hotter than it holds
//   sees it fall instead, which is following too.
// - Falling reading: a reading watch_fall below the highest one of the
//   strong heating trips: a sensor that came off the plant falls to the
//   room, a broken heater lets the plant cool. A regulator's highest reading
//   counts up to its setpoint only: an overshoot falls back while a
//   wound-up integral still drives hard. Where the plant goes is not known
//   at first, after a lower aim or in another mode: the check waits until
//   the reading has risen watch_rise or held a watch_period without falling
//   as much. A command below half power ends the strong heating.
// - Frozen reading: while the plant approaches, a reading bit-identical for
//   frozen_period before it first followed the heater, or for the longer of
//   watch_period and frozen_period after (a sensor stuck half way), trips.
//   A plateau reads to the bit for hours and is no fault: the check ends
//   where the approach ends. (A plant that settles within a fraction of the
//   period, some three time constants, can read still for a whole period
//   before its approach ends: such a plant wants a shorter watch_period.)
// - Below the setpoint (Marlin's runaway check): once a regulator's reading
//   has reached its setpoint, a reading more than the hysteresis below it
//   at full power for runaway_period trips; each rise of watch_rise starts
//   the period again. Below full power the regulator has more to give, and
//   a regulator recovering from its own undershoot may creep back for many
//   minutes.
//
// What the watch knows outlives a pause: a command back at its aim after a
// weaker one (a safety toggle, "стоп" then "старт", the heater guard's 0)
// finds the plant where it was, and a plateau seen stays seen while the
// plant is within watch_fall of it; a plant that cooled further must rise
// again as at a fresh start. A watch that knows nothing (the program just
// started) and finds the plant within a degree or two of the plateau of the
// heat asked for cannot tell it from a sensor off the plant.
//
// Time is tick time: each reading counts the measurement interval in force,
// so a tick held up by a message box or a slow port adds no time of its own.

#include <cstdint>
#include <optional>
#include <string>

#include "control/params.h"
#include "storage/settings.h"

namespace thermo {

inline constexpr std::uint8_t kWatchCommand = 117; // counts: 50 % of 234

// The stop messages; a trip's text is its message and its hint together.
inline constexpr const char* kHeatingWithoutRiseText =
    "Нагрев без роста температуры: проверьте датчик и нагреватель.";
inline constexpr const char* kHeatingWithoutRiseHint =
    " Для медленного объекта увеличьте watch_period в разделе [safety] файла настроек.";
inline constexpr const char* kReadingFellText =
    "Температура падает при работающем нагревателе: датчик, вероятно, отошёл от объекта. "
    "Проверьте датчик и нагреватель.";
inline constexpr const char* kReadingFellHint =
    " Допустимое падение задаёт watch_fall в разделе [safety] файла настроек.";
inline constexpr const char* kReadingFrozenText =
    "Показание датчика не меняется при работающем нагревателе: проверьте датчик и его "
    "провода (85 °C датчик показывает после сбоя питания).";
inline constexpr const char* kReadingFrozenHint =
    " Для объекта с большим запаздыванием увеличьте frozen_period в разделе [safety] файла "
    "настроек.";
inline constexpr const char* kBelowSetpointText =
    "Температура держится ниже уставки при полной мощности нагревателя: проверьте "
    "нагреватель и датчик.";
inline constexpr const char* kBelowSetpointHint =
    " Допуск задают hysteresis и runaway_period в разделе [safety] файла настроек.";

// What the heater is asked for.
struct HeatingAim {
    bool regulated = false; // a regulator drives toward `value` °C
    double value = 0;       // the setpoint (°C), or the fixed command (counts)

    [[nodiscard]] static HeatingAim setpoint(double zadan) { return {true, zadan}; }
    [[nodiscard]] static HeatingAim fixed(double counts) { return {false, counts}; }
    bool operator==(const HeatingAim&) const = default;
};

enum class WatchTrip { None, NoRise, Fell, Frozen, BelowSetpoint };

// The message of a trip, hint included (empty for None).
[[nodiscard]] std::string watchTripText(WatchTrip trip);

class HeatingWatch {
public:
    explicit HeatingWatch(const SafetySettings& settings = {}) : s_(settings) {}

    void setSettings(const SafetySettings& settings) { s_ = settings; }
    [[nodiscard]] const SafetySettings& settings() const { return s_; }

    // A tick's reading judges the interval just passed (`sinceLastMs`, in
    // which the previous command acted). `held`: the sensor's answer failed
    // its check and this is the previous reading again; time passes, but it
    // says nothing about a frozen sensor.
    [[nodiscard]] WatchTrip reading(double temper, int sinceLastMs, bool held = false);
    // The byte the tick writes and what it aims at; `temper` is the reading
    // it was computed from.
    void command(std::uint8_t byte, double temper, HeatingAim aim);
    // Someone else wrote 0 (the heater guard), or the tick wrote 0 without a
    // command of its own: no strong heating until the next command. What the
    // watch knows of the plant stays.
    void heaterOff() { hard_ = full_ = false; }
    // Nothing known: after a trip, whose plant is not to be trusted.
    void reset();

    [[nodiscard]] bool approaching() const { return approaching_; }
    [[nodiscard]] std::optional<double> plateau() const { return level_; }

private:
    void startApproach(double temper);
    void settle(double temper);
    [[nodiscard]] double clipped(double temper) const;
    [[nodiscard]] bool nearLevel(double temper) const;
    [[nodiscard]] bool wantsApproach(const HeatingAim& aim, double temper) const;

    SafetySettings s_;
    bool hard_ = false; // the last command was kWatchCommand or more
    bool full_ = false; // and full power
    HeatingAim aim_;
    std::optional<HeatingAim> hardAim_; // the aim of the last strong command

    // The approach and its rise check.
    bool approaching_ = false;
    // This approach rose watch_rise within a period (or a fixed heat's fell
    // as much), or began at a plateau seen.
    bool followed_ = false;
    bool fromLevel_ = false; // began at a level and has not risen since
    double ref_ = 0;         // the reading the current period measures from
    long long periodMs_ = 0;
    std::optional<double> last_; // the previous reading, for the frozen check
    long long stillMs_ = 0;

    // Where the plant stood under strong heating when it was not approaching.
    std::optional<double> level_;

    // The falling-reading check.
    std::optional<double> peak_; // highest reading of the strong heating
    bool settling_ = false;
    double settleRef_ = 0;
    long long settleMs_ = 0;

    // The below-setpoint check.
    bool reached_ = false;
    double belowRef_ = 0; // the lowest reading of the period below the band
    long long belowMs_ = 0;
};

} // namespace thermo
