#pragma once
// A run of the stand, from the program's start to its end: what refuses a
// start, "новый", "старт" and "стоп", the tick with its safety stops, the
// watch while stopped, what the heater guard says, the step experiment, and
// the order in which everything ends. Qt-free: the main window's timer and
// thermostand-cli's wait between ticks drive the same session, so a run with
// a window and a run without one behave alike, and each rule lives here once.
//
// The session never waits for a person. What it has to say becomes a notice
// that the driver takes after the call and shows in its own way (a message
// box, a line on standard error), never inside a tick: the plant goes on
// being read while a person reads the message.
//
// The heater guard's proof of life is the watch itself: the guard hears from
// the program after every reading of the plant (a tick writes the heater,
// which tells the guard; a reading while stopped beats), and from nothing
// else. A program that no longer reads the plant for the guard's hang limit
// while the heater is on is hung, whatever it waits for, and the guard
// switches the heater off.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/dialogs.h"
#include "run/cycle.h"
#include "run/heater_guard_link.h"
#include "run/stand.h"
#include "run/step_experiment.h"

namespace thermo {

class AlarmSound;
class ArchiveRecorder;

inline constexpr const char* kNoHeaterText =
    "Нагреватель не подключён: параллельный порт не найден.";
// The driver's code 16 (EBUSY) is a port claimed by another program: most
// often a second copy of this one.
inline constexpr const char* kLptBusyLine = "\nпорт занят: возможно, программа уже запущена";

// What the session needs of the stand beyond the tick's sensor and heater.
class SessionDevices : public CycleSensor, public CycleHeater {
public:
    // Why the heater cannot be driven at all, as the session tells it: the
    // parallel port could not be opened, or its guard could not start.
    struct Failure {
        bool lptNotReady = false;
        int lptErrorCode = 0;   // the system's error number
        std::string guardError; // why the heater guard did not start
        // Ready, but no port answered: heater bytes would reach nothing.
        bool noHeaterPort = false;
        std::string lptSetting;     // the settings' LPT value ("auto", "none", a device)
        bool portIoAllowed = false; // direct port I/O could have found a port
    };
    [[nodiscard]] virtual Failure startUpFailure() const = 0;
    // A guard was started and is no longer running.
    [[nodiscard]] virtual bool guardLost() const = 0;
    virtual GuardNews pollGuard(std::chrono::milliseconds timeout) = 0;
    virtual void heartbeat() = 0;
    // The plant is read every `interval`: the guard's hang limit follows.
    virtual void readingInterval(std::chrono::milliseconds interval) = 0;
    // Heater 0, the guard told goodbye, the serial port closed.
    virtual void shutdown() = 0;
};

// Something to tell the person at the stand.
struct Notice {
    enum class Kind {
        Message,     // a message box with one OK button
        ErrorReport, // the application's general error report (the system's text)
        GuardOff,    // the guard's "switched off" warning (a message)
    };
    Kind kind = Kind::Message;
    MessageKind icon = MessageKind::Error;
    std::string caption; // empty: the program's title
    std::string text;
};

// How a step experiment ended.
struct ExperimentEnd {
    enum class How {
        Completed, // ran to its closing tick: the heater is off
        Abandoned, // "прервать": the closing tick came early, the heater is off
        Stopped,   // stopped from outside (a command, a safety stop): heaterByte stays
    };
    How how = How::Completed;
    StepPlan plan;
    StepSpan span;
    std::uint8_t heaterByte = 0; // what the last tick left on the heater
};

class RunSession {
public:
    // `sound`: none for a silent run.
    RunSession(Stand& stand, SessionDevices& devices, ArchiveRecorder& recorder,
               AlarmSound* sound = nullptr);

    // Why this program may not drive the heater at all (told once, at
    // start-up; the program then ends); nothing when it may.
    [[nodiscard]] std::optional<Notice> startUpRefusal() const;
    // No parallel port answered, so nothing receives the heater's byte: a
    // run can only watch the sensor. Told once at start-up (the window then
    // runs on; the command line refuses a run unless asked for one without
    // a heater); nothing when a port carries the heater.
    [[nodiscard]] std::optional<Notice> heaterAbsence() const;

    // Start-up: the configuration in force becomes the last one recorded,
    // without writing anything.
    void snapshotConfig();

    // "новый": the run stops and the tick counter starts over; `choose` names
    // the archive (nothing: the person cancelled). Its first configuration
    // record is written at once. True when "старт" may follow.
    bool newArchive(const std::function<std::optional<std::string>()>& choose);
    // "старт": false, told, when no run may start. A running session keeps
    // its rhythm.
    bool start();
    // "стоп", and a port or "новый" chosen: the heater keeps its command,
    // which watchWhileStopped then says to watch.
    void stop();
    [[nodiscard]] bool running() const { return running_; }

    // One tick of the running session. A safety stop ends the run here, with
    // the heater off and the reason told.
    TickReport tick(double timeOfDay);

    // Between runs the heater may still be on (or the alarm showing): the
    // driver then calls checkWhileStopped at the measurement interval. No
    // regulator runs and nothing is recorded; an over-temperature or a lost
    // sensor switches the heater off as in a run.
    [[nodiscard]] bool watchWhileStopped() const;
    TickReport checkWhileStopped();

    // What the heater guard has said (waiting up to `timeout`): it switched
    // the heater off while the program did not answer (told; the next tick
    // writes the command again), or it is gone (heater 0, the run stopped,
    // told, and no start from then on).
    GuardNews hearGuard(std::chrono::milliseconds timeout = std::chrono::milliseconds(0));

    // The step experiment, in this session's own cycle with every safety stop
    // of a run: an archive chosen by newArchive, then manual mode at P0, P1
    // and a closing tick at 0, after which the run stops by itself.
    bool startExperiment(const StepPlan& plan);
    // The next tick is the closing one.
    void abandonExperiment();
    [[nodiscard]] const StepExperiment* experiment() const {
        return experiment_ ? &*experiment_ : nullptr;
    }
    // How the last experiment ended, once.
    std::optional<ExperimentEnd> takeExperimentEnd();

    // The program's end, heater first: the run stopped, heater 0 and the
    // alarm silent before anything can wait for a person; then `whileSafe`
    // (the window saves its settings, which may show a message); then the
    // guard told goodbye and the port closed. Once only.
    void shutdown(const std::function<void()>& whileSafe = {});

    // What the calls since the last take have to tell, in order.
    [[nodiscard]] std::vector<Notice> takeNotices();

    // The byte the cycle last wrote, which "стоп" leaves on.
    [[nodiscard]] std::uint8_t heaterByte() const { return cycle_.lastHeaterByte(); }
    [[nodiscard]] int intervalMs() const { return stand_.controls.intervalMs; }
    void setIntervalMs(int ms);
    // The heating watch's figures (the settings file's [safety]).
    void setSafety(const SafetySettings& s) { cycle_.setSafety(s); }

private:
    class Recorder : public CycleRecorder {
    public:
        explicit Recorder(ArchiveRecorder& r) : recorder_(r) {}
        void appendSample(std::uint16_t takt, const TProcessState& state) override;
        bool configChanged(const TConfigSources& live) override;
        void appendConfig(const TConfigSources& live) override;

    private:
        ArchiveRecorder& recorder_;
    };

    void tell(Notice n) { notices_.push_back(std::move(n)); }
    void tellError(const std::string& text) {
        tell({Notice::Kind::Message, MessageKind::Error, "", text});
    }
    void sound(SoundAction a);
    void endExperiment(ExperimentEnd::How how);
    void noteStep(const ExperimentEnd& end);

    Stand& stand_;
    SessionDevices& devices_;
    ArchiveRecorder& recorder_;
    AlarmSound* sound_;
    Recorder recorderAdapter_;
    ControlCycle cycle_;
    bool running_ = false;
    bool ended_ = false;
    std::optional<StepExperiment> experiment_;
    std::optional<ExperimentEnd> experimentEnd_;
    std::vector<Notice> notices_;
};

} // namespace thermo
