#include "cli/stand_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/settings_sep.h"
#include "common/numfmt.h"
#include "common/scripted_dialogs.h"
#include "io/alarm_sound.h"
#include "io/permission_advice.h"
#include "resources/embedded.h"
#include "run/crash_guard.h"
#include "run/devices.h"
#include "storage/recorder.h"
#include "storage/settings.h"

namespace thermo::cli {

namespace {

std::atomic<bool> g_interrupted{false};
void onSignal(int) {
    g_interrupted = true;
}

// What the session has to tell, on standard error as the window's boxes
// would show it.
void tell(RunSession& session, UserDialogs& dialogs) {
    for (const Notice& n : session.takeNotices()) {
        if (n.kind == Notice::Kind::ErrorReport)
            dialogs.errorReport(n.text);
        else
            dialogs.message(n.icon, n.caption, n.text);
    }
}

// Waits for the next tick, hearing the heater guard, but a signal ends the
// wait within 20 ms (the heater must not stay on through a long interval
// after Ctrl-C) and the guard's news at once.
class TickWait {
public:
    explicit TickWait(RunSession& session) : session_(session) {}
    // Hears the guard at least once, also when a tick is already due.
    GuardNews until(std::chrono::steady_clock::time_point due) {
        using std::chrono::steady_clock;
        for (;;) {
            const auto now = steady_clock::now();
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
                std::clamp<steady_clock::duration>(due - now, {}, std::chrono::milliseconds(20)));
            if (const GuardNews news = session_.hearGuard(wait); news != GuardNews::None)
                return news;
            if (g_interrupted || steady_clock::now() >= due)
                return GuardNews::None;
        }
    }

private:
    RunSession& session_;
};

std::string num(double v) {
    return formatFixed(v, "0.####", '.');
}

// The sensor's port, COMn as the settings map it or a path, opened and the
// sensor detected; false, told, when not.
bool openSensorPort(StandDevices& devices, const std::string& given, const TSettings& settings,
                    const std::string& settingsPath, const char* command) {
    std::string port = given;
    if (port.empty()) {
        if (settings.SavedComPort < 1 || settings.SavedComPort > 4) {
            std::cerr << command << ": no port stored in " << settingsPath << "; give --port\n";
            return false;
        }
        port = comPortName(settings.SavedComPort);
    }
    int n = 0;
    if (port.size() == 4 && port.compare(0, 3, "COM") == 0 && port[3] >= '1' && port[3] <= '4')
        n = port[3] - '0';
    if (!(n ? devices.OpenCOM(n) : devices.openPath(port))) {
        // The window's message as it stands, the system's reason below it.
        std::cerr << (n ? "Port " + port + " is not available."
                        : std::string(command) + ": cannot open " + port)
                  << "\n  " << devices.serial().lastError() << '\n';
        return false;
    }
    devices.SetCOMToImmediate();
    if (!devices.ConfigureSensor()) {
        std::cerr << "Датчик на " << port << " порту не обнаружен.\n";
        return false;
    }
    return true;
}

} // namespace

HeadlessResult runHeadless(const HeadlessRun& o, const char* command, std::ostream& lines) {
    HeadlessResult result;
    const char sep = settingsDecimalSeparator();
    const std::string settingsPath = o.settings.empty() ? programSettingsPath() : o.settings;
    const TSettings settings = loadProgramSettings(settingsPath, sep);
    ScriptedDialogs dialogs(/*echo=*/true);

    StandDevices devices(settings.devices, guardBesideProgram());
    CrashHeaterGuard crashGuard(devices);
    Stand stand;
    stand.params = settings.params;
    stand.state.Zadan = o.setpoint;
    stand.controls = o.controls;
    ArchiveRecorder recorder;
    std::unique_ptr<AlarmSound> sound;
    if (o.controls.Check_Alarm)
        sound = std::make_unique<AlarmSound>(resources::warningSound());
    RunSession session(stand, devices, recorder, sound.get());

    if (const std::optional<Notice> refusal = session.startUpRefusal()) {
        dialogs.message(refusal->icon, refusal->caption, refusal->text);
        const TLptPortConnection& lpt = devices.lpt();
        if (!lpt.IsReady()) {
            const std::string advice =
                parallelPortAdvice(lpt.errorCode(), lpt.errorDevice(), currentUserName());
            std::cerr << "  " << lpt.errorText() << '\n'
                      << (advice.empty() ? "" : "  " + advice + '\n') << command
                      << ": not started: nothing could switch off a heater the program cannot "
                         "reach\n";
        }
        result.status = 1;
        return result;
    }
    if (const std::optional<Notice> absent = session.heaterAbsence()) {
        dialogs.message(absent->icon, absent->caption, absent->text);
        if (!o.noHeater || o.experiment) {
            std::cerr << command << ": not started: no heater would be driven"
                      << (o.experiment ? "\n" : "; --no-heater runs with the sensor only\n");
            result.status = 1;
            return result;
        }
    }
    devices.writeHeater(0);
    if (!openSensorPort(devices, o.port, settings, settingsPath, command)) {
        session.shutdown();
        result.status = 1;
        return result;
    }

    session.snapshotConfig();
    SafetySettings safety = settings.safety;
    if (o.watchPeriodS)
        safety.watchPeriod = *o.watchPeriodS;
    session.setSafety(safety);
    // "новый" then "старт", or the step experiment.
    const bool began = session.newArchive([&] { return std::optional<std::string>(o.archive); }) &&
                       (o.experiment ? session.startExperiment(*o.experiment) : session.start());
    tell(session, dialogs);
    if (!began) {
        session.shutdown();
        result.status = 1;
        return result;
    }

    // Interrupted, terminated, its terminal closed, or its output's reader
    // gone (`run ... | head`): the run ends as after its last tick, heater off.
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        handleUnlessIgnored(sig, onSignal);

    lines << "# Takt Temper Oshibka OUT_Regul1 OUT_Regul2 OUT_Regul heater\n" << std::flush;
    const long ticks = o.experiment ? session.experiment()->totalTicks() : o.ticks;
    // Detection started a conversion; the first tick reads it once done.
    auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(750);
    TickWait wait(session);
    for (long t = 0; t < ticks && session.running(); ++t) {
        if (t > 0)
            due += std::chrono::milliseconds(session.intervalMs());
        // The guard's news: it took the heater off while we did not answer
        // (the next tick writes our command again), or it is gone.
        while (wait.until(due) != GuardNews::None && session.running())
            tell(session, dialogs);
        tell(session, dialogs);
        if (!session.running())
            break;
        if (g_interrupted) {
            std::cerr << command << ": interrupted\n";
            break;
        }
        // Stopped or held up (SIGSTOP, a suspended PC): the ticks missed are
        // not made up back to back on readings the sensor has not converted
        // since. The late tick runs now and the rhythm starts again from it,
        // as a window's timer merges the events it missed.
        const auto now = std::chrono::steady_clock::now();
        if (now - due > std::chrono::milliseconds(session.intervalMs()) / 2)
            due = now;
        const TickReport r = session.tick(localTimeOfDay());
        if (r.stop != TickReport::Stop::None) {
            tell(session, dialogs);
            break;
        }
        const TProcessState& s = stand.state;
        if (r.nothingMeasured) {
            lines << "# no reading yet: the sensor's answer failed its check byte; heater 0\n"
                  << std::flush;
        } else {
            lines << s.Takt << ' ' << num(s.Temper) << ' ' << num(s.Oshibka) << ' '
                  << num(s.OUT_Regul1) << ' ' << num(s.OUT_Regul2) << ' ' << num(s.OUT_Regul) << ' '
                  << static_cast<int>(r.heaterByte)
                  << (r.branch == OutputBranch::Alarm ? " ALARM" : "") << '\n'
                  << std::flush;
        }
        tell(session, dialogs);
    }
    result.experiment = session.takeExperimentEnd();
    const bool allTicks =
        !g_interrupted &&
        (o.experiment ? result.experiment && result.experiment->how == ExperimentEnd::How::Completed
                      : session.running());
    session.shutdown(); // heater 0, port purged and closed
    result.status = allTicks ? 0 : 3;
    return result;
}

} // namespace thermo::cli
