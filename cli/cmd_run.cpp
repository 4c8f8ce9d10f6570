// thermostand-cli run: the control cycle without a window. The same tick the
// main window runs, against the devices and settings file the program uses,
// recording the same archive; one line per tick on stdout, the messages the
// window would show on stderr. Instructors script reference runs with it.

#include <cmath>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/stand_run.h"
#include "common/numfmt.h"

namespace thermo::cli {

namespace {

const char* kRunUsage =
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
  --watch-period S   heating watch, 1..120 s (120): once the heater is driven
                     at half power or more with the plant 5 °C or more below
                     the setpoint, the temperature must rise 2 °C within S
                     seconds of ticks or the run stops with the heater off.
                     Shorter only, for a plant that reacts sooner, such as
                     thermostand-sim --speed K (120/K)
  --settings FILE    settings file (default: the one named below)

Exit status: 0 after all ticks; 1 when the run could not start (no sensor,
no port, no parallel port, no heater guard, the archive not writable); 2 for
a usage error; 3 when the run ended early with the heater off (sensor lost or
unreadable, heating without a temperature rise, archive full, heater guard
gone, interrupted).
)";

} // namespace

namespace {

struct Options {
    std::string archive;
    std::string port;
    std::string settings;
    long ticks = 10;
    long interval = 1000;
    double watchSeconds = kWatchPeriodMs / 1000.0;
    double setpoint = 33.5;
    bool fuzzy = false, pid = false, heat = false, sound = true;
    int shim = 0;
};

std::optional<double> number(const char* s) {
    return parseNumber(s ? s : "", '.');
}

std::optional<Options> parse(int argc, char** argv) {
    Options o;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        auto need = [&](const char* what) -> const char* {
            if (!next)
                std::cerr << "run: " << a << " needs " << what << '\n';
            ++i;
            return next;
        };
        if (a == "--archive") {
            if (!need("a file name"))
                return std::nullopt;
            o.archive = next;
        } else if (a == "--port") {
            if (!need("COMn or a path"))
                return std::nullopt;
            o.port = next;
        } else if (a == "--settings") {
            if (!need("a file name"))
                return std::nullopt;
            o.settings = next;
        } else if (a == "--ticks" || a == "--interval" || a == "--shim" || a == "--setpoint" ||
                   a == "--watch-period") {
            const char* text = need("a number");
            if (!text)
                return std::nullopt;
            const auto v = number(text);
            if (!v) {
                std::cerr << "run: " << a << " needs a number, not " << text << '\n';
                return std::nullopt;
            }
            if (a == "--ticks" && *v >= 0 && *v <= kLastRecordedTakt - 1)
                o.ticks = static_cast<long>(*v);
            else if (a == "--interval" && *v >= 100 && *v <= 5000)
                o.interval = static_cast<long>(*v);
            else if (a == "--shim" && *v >= 1 && *v <= 100)
                o.shim = static_cast<int>(*v);
            else if (a == "--setpoint")
                o.setpoint = *v;
            else if (a == "--watch-period" && *v >= 1 && *v <= kWatchPeriodMs / 1000.0)
                o.watchSeconds = *v;
            else {
                std::cerr << "run: " << a << " out of range\n";
                return std::nullopt;
            }
        } else if (a == "--fuzzy") {
            o.fuzzy = true;
        } else if (a == "--pid") {
            o.pid = true;
        } else if (a == "--heat") {
            o.heat = true;
        } else if (a == "--no-alarm-sound") {
            o.sound = false;
        } else {
            std::cerr << "run: unknown option " << a << '\n';
            return std::nullopt;
        }
    }
    if (o.archive.empty()) {
        std::cerr << "run: --archive FILE is required\n";
        return std::nullopt;
    }
    return o;
}

// The ticks' lines go to `lines`.
int runCycle(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << kRunUsage << '\n' << settingsInUse();
            return 0;
        }
    }
    const auto opt = parse(argc, argv);
    if (!opt) {
        std::cerr << kRunUsage;
        return 2;
    }
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
    run.watchPeriodMs = static_cast<int>(std::lround(o.watchSeconds * 1000));
    return runHeadless(run, "run", std::cout).status;
}

} // namespace

int run(int argc, char** argv) {
    return runCycle(argc, argv);
}

} // namespace thermo::cli
