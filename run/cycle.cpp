#include "run/cycle.h"

#include <cmath>
#include <exception>
#include <utility>

#include "common/numfmt.h"
#include "control/fuzzy.h"
#include "control/pid.h"

namespace thermo {

std::uint8_t ControlCycle::heaterCommand(double outRegul) {
    if (std::isnan(outRegul))
        return 0;
    if (outRegul > kFullPower)
        return static_cast<std::uint8_t>(kFullPower);
    if (outRegul < 0)
        return 0;
    return static_cast<std::uint8_t>(roundHalfEven(outRegul));
}

// Every way a run stops: the program can no longer watch the plant, so the
// heater goes off before the caller stops its timer and shows why.
TickReport& ControlCycle::stopRun(TickReport& r, TickReport::Stop why, std::string message) {
    writeHeater(0);
    watch_.heaterOff();
    alarmShown_ = false;
    r.heaterByte = 0;
    r.stop = why;
    r.message = std::move(message);
    return r;
}

TickReport& ControlCycle::watchStops(TickReport& r, WatchTrip trip) {
    static constexpr std::pair<WatchTrip, TickReport::Stop> kStops[] = {
        {WatchTrip::NoRise, TickReport::Stop::HeatingWithoutRise},
        {WatchTrip::Fell, TickReport::Stop::ReadingFell},
        {WatchTrip::Frozen, TickReport::Stop::ReadingFrozen},
        {WatchTrip::BelowSetpoint, TickReport::Stop::BelowSetpoint},
    };
    TickReport::Stop why = TickReport::Stop::HeatingWithoutRise;
    for (const auto& [t, stop] : kStops)
        if (t == trip)
            why = stop;
    stopRun(r, why, watchTripText(trip));
    watch_.reset();
    return r;
}

void ControlCycle::switchHeaterOff() {
    writeHeater(0);
    heaterSwitchedOff();
    watch_.reset();
}

void ControlCycle::heaterSwitchedOff() {
    lastHeaterByte_ = 0;
    watch_.heaterOff();
    alarmShown_ = false;
}

void ControlCycle::writeHeater(std::uint8_t byte) {
    heater_.writeHeater(byte);
    lastHeaterByte_ = byte;
}

void ControlCycle::raiseAlarm(TickReport& r) {
    r.branch = OutputBranch::Alarm;
    r.sound = stand_.controls.Check_Alarm ? SoundAction::Play : SoundAction::Stop;
    stand_.alarmPanelRed = !stand_.alarmPanelRed;
    r.alarmVisible = true;
    r.alarmRed = stand_.alarmPanelRed;
    r.heaterByte = 0;
}

bool ControlCycle::disturbedReadingStops(TickReport& r) {
    if (++stand_.heldReadings < kMaxHeldReadings) {
        r.checkByteMismatch = true;
        return false;
    }
    stand_.heldReadings = 0;
    stopRun(r, TickReport::Stop::SensorUnreadable, kSensorUnreadableText);
    return true;
}

TickReport ControlCycle::checkWhileStopped() {
    TickReport r;
    if (heater_.heaterGone())
        return stopRun(r, TickReport::Stop::HeaterGone, kHeaterGoneText);
    const SensorReading reading = sensor_.readTemperature();
    if (reading.status == SensorStatus::NoPresence)
        return stopRun(r, TickReport::Stop::SensorLost, kSensorLostText);
    if (reading.status == SensorStatus::CheckByteMismatch) {
        // Nothing to judge by this time: the heater and the alarm stay as
        // they are. A sensor that gives nothing else leaves the heater on
        // unseen: switch it off as a run would.
        if (disturbedReadingStops(r))
            return r;
    } else {
        stand_.heldReadings = 0;
        r.readWhileStopped = reading.celsius;
        if (const WatchTrip trip = watch_.reading(reading.celsius, stand_.controls.intervalMs);
            trip != WatchTrip::None)
            return watchStops(r, trip);
        if (reading.celsius > kAlarmTemperature) {
            raiseAlarm(r);
            writeHeater(0);
            alarmShown_ = true;
        } else {
            alarmShown_ = false;
            r.alarmRed = stand_.alarmPanelRed;
        }
        // The command left on is a fixed one, whatever mode set it.
        watch_.command(lastHeaterByte_, reading.celsius, HeatingAim::fixed(lastHeaterByte_));
    }
    sensor_.startConversion();
    return r;
}

TickReport ControlCycle::tick(double timeOfDay) {
    TickReport r;
    r.timeOfDay = timeOfDay;
    TProcessState& st = stand_.state;
    const TControlParams& p = stand_.params;
    const CycleControls& c = stand_.controls;

    // A run may not outgrow the archive: stop before a tick that could not
    // be recorded, and leave the heater off since nobody watches the plant.
    if (st.Takt >= kLastRecordedTakt)
        return stopRun(r, TickReport::Stop::ArchiveFull, kArchiveFullText);

    // A heater that can no longer be reached cannot be switched off either:
    // the run must not go on as if it were driven.
    if (heater_.heaterGone())
        return stopRun(r, TickReport::Stop::HeaterGone, kHeaterGoneText);

    if (st.Takt <= 1) // "новый" has started a run: nothing measured in it yet
        stand_.temperatureKnown = false;
    const SensorReading reading = sensor_.readTemperature();
    if (reading.status == SensorStatus::NoPresence) {
        // Without a sensor the program cannot see the plant: switch the heater
        // off rather than leave the last command on, and record nothing, since
        // a held temperature would enter the archive as a measurement.
        return stopRun(r, TickReport::Stop::SensorLost, kSensorLostText);
    }
    const bool held = reading.status == SensorStatus::CheckByteMismatch;
    if (held) {
        // A disturbed reading: keep the previous one. A sensor that gives
        // nothing else leaves the plant unseen while the regulators go on
        // acting on a frozen temperature: stop as if it were lost.
        if (disturbedReadingStops(r))
            return r;
        if (!stand_.temperatureKnown) {
            // Nothing to hold yet: the regulators would act on a temperature
            // never measured (0 °C at first), and it would be recorded. Keep
            // the heater off and try again with a fresh conversion.
            writeHeater(0);
            watch_.heaterOff();
            r.heaterByte = 0;
            r.nothingMeasured = true;
            sensor_.startConversion();
            return r;
        }
    } else {
        stand_.heldReadings = 0;
        stand_.temperatureKnown = true;
        st.Temper = reading.celsius;
    }
    if (const WatchTrip trip = watch_.reading(st.Temper, c.intervalMs, held);
        trip != WatchTrip::None)
        return watchStops(r, trip);

    st.Oshibka = st.Zadan - st.Temper;
    st.Takt = static_cast<std::uint16_t>(st.Takt + 1);

    if (c.Check_Fuzzy) {
        st.OUT_Regul1 = Regul_Fuzzy(p, st, st.Oshibka, r.fuzzy);
        r.fuzzyEvaluated = true;
    } else {
        st.OUT_Regul1 = 0;
        r.membershipChartsCleared = true;
    }
    if (c.Check_PID) {
        const PidResult pid = Regul_Pid(p, st, st.Oshibka);
        st.OUT_Regul2 = pid.out;
        r.pidIndicators = pid.indicators;
    } else {
        st.OUT_Regul2 = 0;
    }
    st.OUT_Regul = st.OUT_Regul1 + st.OUT_Regul2;

    if (c.Check_shim) {
        // The regulators ran above so their sums keep evolving; only their
        // outputs are discarded.
        st.OUT_Regul = c.UpDown2 * kPercentToCounts;
        r.manual = true;
        r.manualPercent = st.OUT_Regul / kPercentToCounts;
        st.OUT_Regul1 = 0;
        st.OUT_Regul2 = 0;
        r.membershipChartsCleared = true;
    }

    if (st.Temper > kAlarmTemperature) {
        raiseAlarm(r);
    } else if (c.SpeedButton1) {
        r.branch = OutputBranch::ForcedHeat;
        stand_.Nagrev = true;
        r.heaterByte = static_cast<std::uint8_t>(kFullPower);
        r.lampDrawn = true;
        r.lampRed = stand_.Lamp_state;
        stand_.Lamp_state = !stand_.Lamp_state;
    } else {
        r.branch = OutputBranch::Normal;
        r.heaterByte = heaterCommand(st.OUT_Regul);
        stand_.Lamp_state = false;
        r.lampDrawn = true;
        r.lampRed = false;
        stand_.Nagrev = false;
    }
    r.alarmRed = stand_.alarmPanelRed;
    alarmShown_ = r.branch == OutputBranch::Alarm;
    // Manual and forced heat (and the step experiment, which is manual heat)
    // fix the command; the alarm's 0 interrupts it without changing the aim.
    if (c.SpeedButton1)
        watch_.command(r.heaterByte, st.Temper, HeatingAim::fixed(kFullPower));
    else if (c.Check_shim || c.stepExperiment)
        watch_.command(r.heaterByte, st.Temper,
                       HeatingAim::fixed(heaterCommand(c.UpDown2 * kPercentToCounts)));
    else
        watch_.command(r.heaterByte, st.Temper, HeatingAim::setpoint(st.Zadan));
    writeHeater(r.heaterByte);

    if (st.Takt > 2) {
        r.sampleAdded = true;
        try {
            recorder_.appendSample(st.Takt, st);
            const TConfigSources live = liveConfig(stand_);
            if (recorder_.configChanged(live))
                recorder_.appendConfig(live);
            stand_.failedRecords = 0;
        } catch (const std::exception& e) {
            // The next tick tries again with a fresh open; no conversion is
            // started, so it reads this one's again. Failing on, the cycle
            // would act on that old reading: stop with the heater off.
            if (++stand_.failedRecords >= kMaxFailedRecords) {
                stand_.failedRecords = 0;
                return stopRun(r, TickReport::Stop::ArchiveUnwritable,
                               kArchiveUnwritableText + std::string(e.what()));
            }
            r.ioError = e.what();
            return r;
        }
    }

    sensor_.startConversion();
    return r;
}

} // namespace thermo
