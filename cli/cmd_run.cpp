// thermostand-cli run: the control cycle without a window. The same tick the
// main window runs, against the devices and settings file the program uses,
// recording the same archive; one line per tick on stdout, the messages the
// window would show on stderr. Instructors script reference runs with it.

#include <cmath>
#include <iostream>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/stand_run.h"
#include "common/numfmt.h"
#include "common/options.h"
#include "run/interval.h"

namespace thermo::cli {

namespace {

constexpr const char* kRunUsage =
    R"(usage: thermostand-cli run --archive FILE [options]

Runs the control cycle headless: starts a new archive in FILE (as "новый"
then "старт" would), ticks every interval and prints one line per tick:
  Takt Temper Oshibka OUT_Regul1 OUT_Regul2 OUT_Regul heater

  --archive FILE     sample file of the new archive (FILE + "UST" gets the
                     configuration records); an existing archive is appended to
  --port COMn|PATH   serial port of the sensor (default: the stored "COM port")
  --ticks N          ticks to run, 0..64999: a run fills the archive at 65000 (10)
  --interval MS      measurement interval, 100..5000 ms (default 1000)
  --setpoint T       setpoint in °C (default 33.5)
  --fuzzy            Regulator 1 (fuzzy) on
  --pid              Regulator 2 (PID) on
  --shim PERCENT     manual pulse-width mode at 1..100 %
  --heat             forced full heating
  --no-alarm-sound   no sound on over-temperature
  --no-heater        run although no parallel port answered: nothing receives
                     the heater's byte, the run only watches the sensor
  --watch-period S   heating watch period, 1..3600 s, instead of the settings
                     file's watch_period (120): while the heater is driven at
                     half power or more and the plant approaches, the
                     temperature must rise watch_rise (1 °C) within S seconds
                     of ticks or the run stops with the heater off. For a
                     plant that reacts sooner or later than the lab's, such
                     as thermostand-sim --speed K (120/K); the other checks
                     of [safety] keep the file's figures
  --settings FILE    settings file (default: the one named below)

Exit status: 0 after all ticks; 1 when the run could not start (no sensor,
no port, no parallel port or none answering without --no-heater, no heater
guard, the archive not writable); 2 for
a usage error; 3 when the run ended early with the heater off (sensor lost or
unreadable, a trip of the heating watch, archive full, heater guard gone,
interrupted).
)";
static_assert(mentionsRange(kRunUsage, 0, kLastRecordedTakt - 1) &&
              mentionsNumber(kRunUsage, kLastRecordedTakt) &&
              mentionsRange(kRunUsage, kMinIntervalMs, kMaxIntervalMs));

} // namespace

namespace {

struct Options {
    std::string archive;
    std::string port;
    std::string settings;
    long ticks = 10;
    long interval = 1000;
    std::optional<double> watchSeconds;
    double setpoint = 33.5;
    bool fuzzy = false, pid = false, heat = false, sound = true, noHeater = false;
    int shim = 0;
};

// The options, or nothing with the exit status in `status`: 0 after --help,
// 2 after a usage error.
std::optional<Options> parse(int argc, char** argv, int& status) {
    Options o;
    OptionParser p("run", kRunUsage, '\n' + settingsInUse());
    p.text("--archive", o.archive, "a file name");
    p.text("--port", o.port, "COMn or a path");
    p.text("--settings", o.settings, "a file name");
    p.number("--ticks", o.ticks, {0, kLastRecordedTakt - 1});
    p.number("--interval", o.interval, {kMinIntervalMs, kMaxIntervalMs});
    p.number("--shim", o.shim, {1, 100});
    p.number("--setpoint", o.setpoint);
    const SafetyKey& period = safetyKey(&SafetySettings::watchPeriod);
    p.number("--watch-period", o.watchSeconds, {period.min, period.max});
    p.flag("--fuzzy", o.fuzzy);
    p.flag("--pid", o.pid);
    p.flag("--heat", o.heat);
    p.flag("--no-alarm-sound", o.sound, false);
    p.flag("--no-heater", o.noHeater);
    if (const auto end = p.parse(argc, argv)) {
        status = *end;
        return std::nullopt;
    }
    if (o.archive.empty()) {
        status = p.fail("--archive FILE is required");
        return std::nullopt;
    }
    return o;
}

int runCycle(int argc, char** argv) {
    int parseStatus = 0;
    const auto opt = parse(argc, argv, parseStatus);
    if (!opt)
        return parseStatus;
    const Options& o = *opt;
    HeadlessRun run;
    run.archive = o.archive;
    run.port = o.port;
    run.settings = o.settings;
    run.ticks = o.ticks;
    run.setpoint = o.setpoint;
    CycleControls& c = run.controls;
    c.Check_Fuzzy = o.fuzzy;
    c.Check_PID = o.pid;
    c.Check_shim = o.shim > 0;
    c.UpDown2 = o.shim > 0 ? o.shim : 1;
    c.SpeedButton1 = o.heat;
    c.Check_Alarm = o.sound;
    c.intervalMs = static_cast<int>(o.interval);
    run.watchPeriodS = o.watchSeconds;
    run.noHeater = o.noHeater;
    return runHeadless(run, "run", std::cout).status;
}

} // namespace

int run(int argc, char** argv) {
    return runCycle(argc, argv);
}

} // namespace thermo::cli
