#pragma once
// One tick of the control cycle: read the sensor, form the error, run both
// regulators, decide between alarm, forced heat and normal output, drive the
// heater, record the sample and start the next conversion. Qt-free: the main
// window's timer and the headless run call the same routine and show its
// report.

#include <cstdint>
#include <optional>
#include <string>

#include "common/numfmt.h"
#include "control/params.h"
#include "run/heating_watch.h"
#include "run/stand.h"
#include "storage/archive_record.h"

namespace thermo {

enum class SensorStatus { Ok, NoPresence, CheckByteMismatch };

struct SensorReading {
    SensorStatus status = SensorStatus::Ok;
    double celsius = 0;
};

class CycleSensor {
public:
    virtual ~CycleSensor() = default;
    virtual SensorReading readTemperature() = 0;
    virtual void startConversion() = 0;
};

class CycleHeater {
public:
    virtual ~CycleHeater() = default;
    // The byte goes to the parallel port's data register; a failed write is
    // not the tick's concern (the port may simply be absent).
    virtual void writeHeater(std::uint8_t counts) = 0;
    // The port that carried the heater has gone away (its adapter pulled
    // out): what is written reaches nothing, and the heater keeps whatever
    // it last received.
    [[nodiscard]] virtual bool heaterGone() { return false; }
};

// The archive recorder as the tick drives it. Failures are thrown (with the
// system's text); the tick turns them into a general error report.
class CycleRecorder {
public:
    virtual ~CycleRecorder() = default;
    virtual void appendSample(std::uint16_t takt, const TProcessState& state) = 0;
    virtual bool configChanged(const TConfigSources& live) = 0;
    virtual void appendConfig(const TConfigSources& live) = 0;
};

// The recorder holds positions 1 .. 65000 of a run; the tick counter would
// otherwise run on to 65535 and wrap.
inline constexpr std::uint16_t kLastRecordedTakt = kMaxSamplePosition;

inline constexpr const char* kSensorLostText = "Датчик  не обнаружен.";
// A recorder failure skips that tick's conversion, so the next tick reads the
// same one again; this many in a row would leave the regulators acting on an
// old temperature: the run stops.
inline constexpr int kMaxFailedRecords = 3;
inline constexpr const char* kArchiveUnwritableText =
    "Запуск остановлен: архив не записывается, нагреватель выключен. Причина: ";
// A disturbed reading keeps the previous temperature for a tick; this many in
// a row mean the plant is no longer seen at all.
inline constexpr int kMaxHeldReadings = 10;
inline constexpr const char* kSensorUnreadableText =
    "Запуск остановлен: 10 показаний датчика подряд не прошли проверку контрольной суммы, "
    "нагреватель выключен. Проверьте датчик и его провода.";
inline constexpr const char* kHeaterGoneText =
    "Запуск остановлен: параллельный порт нагревателя пропал (отключён адаптер?), "
    "нагреватель больше не управляется. Проверьте подключение и выключите стенд.";
inline constexpr const char* kArchiveFullText =
    "Запуск остановлен: архив заполнен (65000 отсчётов), нагреватель выключен. "
    "Чтобы продолжить, начните новый архив командой \"новый\".";
static_assert(mentionsNumber(kArchiveFullText, kLastRecordedTakt));

enum class OutputBranch { Alarm, ForcedHeat, Normal };
enum class SoundAction { Play, Stop };

struct TickReport {
    // Why the cycle must stop (the caller disables its timer, then shows
    // `message`); None for a tick that ran.
    enum class Stop {
        None,
        SensorLost,
        SensorUnreadable,
        HeatingWithoutRise, // the heating watch (run/heating_watch.h): no rise,
        ReadingFell,        // a falling reading,
        ReadingFrozen,      // a frozen reading,
        BelowSetpoint,      // below the setpoint reached
        ArchiveFull,
        ArchiveUnwritable,
        HeaterGone
    };
    Stop stop = Stop::None;
    std::string message;
    // A recorder failure: shown in the general error report; the tick ended
    // before the configuration check and the next conversion.
    std::string ioError;

    bool checkByteMismatch = false; // the previous temperature was held
    // Nothing measured yet in this run and this reading failed its check:
    // the tick did nothing but keep the heater off; there is nothing to show.
    bool nothingMeasured = false;

    // Regulator 1 ran: its step holds the memberships, the rule mask and the
    // add-on indicators to show. The membership charts are drawn from it
    // unless membershipChartsCleared.
    bool fuzzyEvaluated = false;
    TFuzzyStep fuzzy;
    bool membershipChartsCleared = false;
    TermIndicators pidIndicators; // Regulator 2's three indicators
    bool manual = false;          // Ind_Shim shows manualPercent ("0.#")
    double manualPercent = 0;

    OutputBranch branch = OutputBranch::Normal;
    std::uint8_t heaterByte = 0;
    bool alarmVisible = false;
    bool alarmRed = false;
    SoundAction sound = SoundAction::Stop;
    bool lampDrawn = false; // drawn this tick, in red when lampRed
    bool lampRed = false;

    bool sampleAdded = false; // Takt > 2: chart point, table row, archive
    double timeOfDay = 0;

    // What the sensor read while the run was stopped (the plant's state is
    // the last tick's, and stays so for the next start): the temperature
    // display shows it, so a student sees what the watch sees.
    std::optional<double> readWhileStopped;
};

class ControlCycle {
public:
    ControlCycle(Stand& stand, CycleSensor& sensor, CycleHeater& heater, CycleRecorder& recorder)
        : stand_(stand), sensor_(sensor), heater_(heater), recorder_(recorder) {}

    // One tick; timeOfDay (fraction of a day) labels the sample.
    TickReport tick(double timeOfDay);
    // "старт": the heating watch keeps what it knew. A heater left on since
    // "стоп" was watched while stopped (checkWhileStopped), so a plant at
    // its plateau stays at its plateau; one that was off finds the plant
    // where it has cooled to, and what it knows is measured against that.
    void runStarted() {}
    // The heating watch's figures, from the settings file's [safety].
    void setSafety(const SafetySettings& s) { watch_.setSettings(s); }

    // A stopped cycle leaves the heater at its last command. While that is
    // not 0, or the alarm still shows, the caller reads the plant at the
    // measurement interval through checkWhileStopped: no regulator runs and
    // nothing is recorded, but an over-temperature switches the heater off
    // and raises the alarm as a tick would, a lost sensor stops the heater
    // as it stops a run, and the heating watch goes on judging the command
    // left on as it judges manual heat.
    [[nodiscard]] bool watchWhileStopped() const { return lastHeaterByte_ != 0 || alarmShown_; }
    [[nodiscard]] std::uint8_t lastHeaterByte() const { return lastHeaterByte_; }
    TickReport checkWhileStopped();
    // The program's end, or nothing left to guard the heater: 0 written, the
    // heating watch and the alarm over.
    void switchHeaterOff();
    // Someone else (the heater guard) has written 0: the heater is off,
    // whatever this cycle wrote last.
    void heaterSwitchedOff();

    // The heater byte of the output stage for a total command in counts:
    // clamped to 0..234 on the unrounded value, then rounded half to even.
    // A command that is not a number switches the heater off.
    [[nodiscard]] static std::uint8_t heaterCommand(double outRegul);

private:
    TickReport& stopRun(TickReport& r, TickReport::Stop why, std::string message);
    // A trip of the heating watch: the run stops as for any safety stop, and
    // the watch forgets a plant it can no longer trust.
    TickReport& watchStops(TickReport& r, WatchTrip trip);
    void raiseAlarm(TickReport& r);
    // A reading that failed its check byte: counted, and the tenth in a row
    // stops the run with the heater off (true), as a lost sensor does.
    bool disturbedReadingStops(TickReport& r);
    void writeHeater(std::uint8_t byte);

    Stand& stand_;
    CycleSensor& sensor_;
    CycleHeater& heater_;
    CycleRecorder& recorder_;
    HeatingWatch watch_;
    std::uint8_t lastHeaterByte_ = 0; // what this cycle last wrote
    bool alarmShown_ = false;
};

} // namespace thermo
