// thermostand-cli run: the control cycle without a window. The same tick the
// main window runs, against the devices and settings file the program uses,
// recording the same archive; one line per tick on stdout, the messages the
// window would show on stderr. Instructors script reference runs with it.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "run/crash_guard.h"
#include "run/cycle.h"
#include "run/devices.h"
#include "run/interval.h"
#include "run/stand.h"
#include "cli/commands.h"
#include "cli/run_observer.h"
#include "cli/settings_sep.h"
#include "common/numfmt.h"
#include "common/scripted_dialogs.h"
#include "io/permission_advice.h"
#include "resources/embedded.h"
#include "storage/recorder.h"
#include "storage/settings.h"
#include "ui_aux/alarm_sound.h"

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
static_assert(mentionsRange(kRunUsage, 0, kLastRecordedTakt - 1) &&
              mentionsNumber(kRunUsage, kLastRecordedTakt) &&
              mentionsRange(kRunUsage, kMinIntervalMs, kMaxIntervalMs));

std::atomic<bool> g_interrupted{false};
void onSignal(int) {
    g_interrupted = true;
}

// Waits for the next tick, beating to the heater guard, but a signal ends
// the wait within 20 ms (the heater must not stay on through a long interval
// after Ctrl-C) and the guard's news at once.
class TickWait {
public:
    explicit TickWait(StandDevices& devices) : devices_(devices) {}
    // Hears the guard at least once, also when a tick is already due.
    GuardNews until(std::chrono::steady_clock::time_point due) {
        using std::chrono::steady_clock;
        for (;;) {
            const auto now = steady_clock::now();
            if (now - lastBeat_ >= guard::kHeartbeatPeriod) {
                devices_.heartbeat();
                lastBeat_ = now;
            }
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
                std::clamp<steady_clock::duration>(due - now, {}, std::chrono::milliseconds(20)));
            if (const GuardNews news = devices_.pollGuard(wait); news != GuardNews::None)
                return news;
            if (g_interrupted || steady_clock::now() >= due)
                return GuardNews::None;
        }
    }

private:
    StandDevices& devices_;
    std::chrono::steady_clock::time_point lastBeat_;
};

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
            else if (a == "--interval" && *v >= kMinIntervalMs && *v <= kMaxIntervalMs)
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

std::string num(double v) {
    return formatFixed(v, "0.####", '.');
}

int runCycle(int argc, char** argv, RunObserver* observer) {
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
    const char sep = settingsDecimalSeparator();
    const std::string settingsPath = o.settings.empty() ? programSettingsPath() : o.settings;
    const TSettings settings = loadProgramSettings(settingsPath, sep);
    ScriptedDialogs dialogs(/*echo=*/true);

    StandDevices devices(settings.devices, guardBesideProgram());
    CrashHeaterGuard crashGuard(devices);
    if (!devices.lpt().IsReady()) {
        dialogs.message(MessageKind::Error, "ERROR",
                        kLptNotReadyText + std::to_string(devices.lpt().errorCode()));
        const TLptPortConnection& lpt = devices.lpt();
        const std::string advice =
            parallelPortAdvice(lpt.errorCode(), lpt.errorDevice(), currentUserName());
        std::cerr << "  " << lpt.errorText() << '\n'
                  << (advice.empty() ? "" : "  " + advice + '\n')
                  << "run: not started: nothing could switch off a heater the program cannot "
                     "reach\n";
        return 1;
    }
    if (!devices.guardError().empty()) {
        dialogs.message(MessageKind::Error, "",
                        std::string(kGuardLostText) + "\n" + devices.guardError());
        return 1;
    }
    devices.writeHeater(0);

    // The port: COMn as the settings map it, or a path.
    std::string port = o.port;
    if (port.empty()) {
        if (settings.SavedComPort < 1 || settings.SavedComPort > 4) {
            std::cerr << "run: no port stored in " << settingsPath << "; give --port\n";
            return 1;
        }
        port = comPortName(settings.SavedComPort);
    }
    int n = 0;
    if (port.size() == 4 && port.compare(0, 3, "COM") == 0 && port[3] >= '1' && port[3] <= '4')
        n = port[3] - '0';
    const bool opened = n ? devices.OpenCOM(n) : devices.openPath(port);
    if (!opened) {
        // The window's message as it stands, the system's reason below it.
        std::cerr << (n ? "Port " + port + " is not available." : "run: cannot open " + port)
                  << "\n  " << devices.serial().lastError() << '\n';
        return 1;
    }
    devices.SetCOMToImmediate();
    if (!devices.ConfigureSensor()) {
        std::cerr << "Датчик на " << port << " порту не обнаружен.\n";
        devices.shutdown();
        return 1;
    }

    Stand stand;
    stand.params = settings.params;
    stand.state.Zadan = o.setpoint;
    stand.controls.Check_Fuzzy = o.fuzzy;
    stand.controls.Check_PID = o.pid;
    stand.controls.Check_shim = o.shim > 0;
    stand.controls.UpDown2 = o.shim > 0 ? o.shim : 1;
    stand.controls.SpeedButton1 = o.heat;
    stand.controls.Check_Alarm = o.sound;
    stand.controls.intervalMs = static_cast<int>(o.interval);

    ArchiveRecorder recorder;
    RecorderAdapter recorderAdapter(recorder);
    recorder.TakeConfigSnapshot(RecorderAdapter::sources(liveConfig(stand)));
    // "новый" then "старт".
    stand.state.Takt = 1;
    recorder.setArchiveName(o.archive);
    try {
        recorder.AppendConfig(RecorderAdapter::sources(liveConfig(stand)));
    } catch (const std::exception& e) {
        dialogs.errorReport(e.what());
        devices.shutdown();
        return 1;
    }

    std::unique_ptr<AlarmSound> sound;
    if (o.sound)
        sound = std::make_unique<AlarmSound>(resources::warningSound());

    // Interrupted, terminated, its terminal closed, or its output's reader
    // gone (`run ... | head`): the run ends as after its last tick, heater off.
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        handleUnlessIgnored(sig, onSignal);

    ControlCycle cycle(stand, devices, devices, recorderAdapter);
    cycle.setHeatingWatchPeriod(static_cast<int>(std::lround(o.watchSeconds * 1000)));
    std::ostream& lines = observer ? observer->tickLines() : std::cout;
    lines << "# Takt Temper Oshibka OUT_Regul1 OUT_Regul2 OUT_Regul heater\n" << std::flush;
    int status = 0;
    // Detection started a conversion; the first tick reads it once done.
    auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(750);
    TickWait wait(devices);
    for (long t = 0; t < o.ticks; ++t) {
        if (t > 0) {
            due += std::chrono::milliseconds(o.interval);
            // Stopped or held up (SIGSTOP, a suspended PC): the ticks missed
            // are not made up back to back on readings the sensor has not
            // converted since; the next one is now, as a window's timer
            // merges the events it missed.
            due = std::max(due, std::chrono::steady_clock::now());
        }
        // The guard's news: it took the heater off while we did not answer
        // (the next tick writes our command again), or it is gone.
        GuardNews news;
        while ((news = wait.until(due)) == GuardNews::SwitchedOff)
            dialogs.message(MessageKind::Warning, "", kGuardSwitchedOffText);
        if (news == GuardNews::Gone) {
            devices.writeHeater(0);
            dialogs.message(MessageKind::Error, "", kGuardLostText);
            status = 3;
            break;
        }
        if (g_interrupted) {
            std::cerr << "run: interrupted\n";
            status = 3;
            break;
        }
        if (observer)
            observer->beforeTick(t, stand);
        const TickReport r = cycle.tick(localTimeOfDay());
        if (r.stop != TickReport::Stop::None) {
            dialogs.message(MessageKind::Error, "", r.message);
            status = 3;
            break;
        }
        if (sound) {
            if (r.sound == SoundAction::Play)
                sound->play();
            else
                sound->stop();
        }
        if (observer)
            observer->afterTick(t, stand, r);
        const TProcessState& s = stand.state;
        if (r.nothingMeasured) {
            lines << "# no reading yet: the sensor's answer failed its check byte; heater 0\n"
                  << std::flush;
            continue;
        }
        lines << s.Takt << ' ' << num(s.Temper) << ' ' << num(s.Oshibka) << ' ' << num(s.OUT_Regul1)
              << ' ' << num(s.OUT_Regul2) << ' ' << num(s.OUT_Regul) << ' '
              << static_cast<int>(r.heaterByte) << (r.branch == OutputBranch::Alarm ? " ALARM" : "")
              << '\n'
              << std::flush;
        if (!r.ioError.empty())
            dialogs.errorReport(r.ioError);
    }
    if (sound)
        sound->stop();
    devices.shutdown(); // heater 0, port purged and closed
    return status;
}

} // namespace

int run(int argc, char** argv) {
    return runCycle(argc, argv, nullptr);
}

int runObserved(int argc, char** argv, RunObserver& observer) {
    return runCycle(argc, argv, &observer);
}

} // namespace thermo::cli
