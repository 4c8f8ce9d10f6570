#include "run/session.h"

#include <cerrno>
#include <exception>
#include <utility>

#include "io/alarm_sound.h"
#include "io/lpt.h"
#include "storage/io_error.h"
#include "storage/recorder.h"
#include "storage/step_note.h"

namespace thermo {

void RunSession::Recorder::appendSample(std::uint16_t takt, const TProcessState& state) {
    recorder_.AppendSample(takt, state); // stamped with the recorder's own clock
}

bool RunSession::Recorder::configChanged(const TConfigSources& live) {
    return recorder_.ConfigChanged(live);
}

void RunSession::Recorder::appendConfig(const TConfigSources& live) {
    recorder_.AppendConfig(live);
}

RunSession::RunSession(Stand& stand, SessionDevices& devices, ArchiveRecorder& recorder,
                       AlarmSound* sound)
    : stand_(stand), devices_(devices), recorder_(recorder), sound_(sound),
      recorderAdapter_(recorder), cycle_(stand, devices, devices, recorderAdapter_) {}

std::optional<Notice> RunSession::startUpRefusal() const {
    const SessionDevices::Failure f = devices_.startUpFailure();
    if (f.lptNotReady)
        return Notice{Notice::Kind::Message, MessageKind::Error, "ERROR",
                      kLptNotReadyText + std::to_string(f.lptErrorCode) +
                          (f.lptErrorCode == EBUSY ? kLptBusyLine : "")};
    if (!f.guardError.empty())
        return Notice{Notice::Kind::Message, MessageKind::Error, "",
                      std::string(kGuardLostText) + "\n" + f.guardError};
    return std::nullopt;
}

std::optional<Notice> RunSession::heaterAbsence() const {
    const SessionDevices::Failure f = devices_.startUpFailure();
    if (f.lptNotReady || !f.noHeaterPort)
        return std::nullopt;
    std::string why;
    if (f.lptSetting == "none")
        why = "В файле настроек указано LPT=none.";
    else if (f.lptSetting == "auto")
        why = std::string("Ни один из портов 0x3BC, 0x378, 0x278 не ответил") +
              (f.portIoAllowed ? "."
                               : " (без права на прямой ввод-вывод порт виден только через "
                                 "ppdev: sudo modprobe ppdev, пользователь в группе lp).");
    else
        why = "Порт LPT=" + f.lptSetting + " не ответил.";
    return Notice{Notice::Kind::Message, MessageKind::Warning, "",
                  std::string(kNoHeaterText) + "\n" + why +
                      " Запуск пойдёт только с датчиком; порт нагревателя указывается ключом "
                      "LPT в разделе [devices] файла настроек, найти его поможет "
                      "thermostand-cli probe --scan."};
}

void RunSession::snapshotConfig() {
    recorder_.TakeConfigSnapshot(liveConfig(stand_));
}

bool RunSession::newArchive(const std::function<std::optional<std::string>()>& choose) {
    stand_.state.Takt = 1;
    stop();
    const std::optional<std::string> path = choose();
    if (!path)
        return false;
    recorder_.setArchiveName(*path);
    try {
        recorder_.AppendConfig(liveConfig(stand_));
    } catch (const std::exception& e) {
        tell({Notice::Kind::ErrorReport, MessageKind::Error, "", e.what()});
        return false;
    }
    return true;
}

void RunSession::setIntervalMs(int ms) {
    stand_.controls.intervalMs = ms;
    devices_.readingInterval(std::chrono::milliseconds(ms));
}

bool RunSession::start() {
    if (devices_.guardLost()) {
        tellError(kGuardLostText);
        return false;
    }
    if (!running_) {
        devices_.readingInterval(std::chrono::milliseconds(stand_.controls.intervalMs));
        cycle_.runStarted();
        running_ = true;
    }
    return true;
}

void RunSession::stop() {
    if (experiment_)
        endExperiment(ExperimentEnd::How::Stopped);
    running_ = false;
}

void RunSession::sound(SoundAction a) {
    if (!sound_)
        return;
    if (a == SoundAction::Play)
        sound_->play();
    else
        sound_->stop();
}

TickReport RunSession::tick(double timeOfDay) {
    if (experiment_)
        experiment_->beforeTick(stand_.controls);
    // Every tick writes the heater, and with it tells the guard the program
    // has read the plant.
    TickReport r = cycle_.tick(timeOfDay);
    if (r.stop != TickReport::Stop::None) {
        stop();
        // Nobody watches the plant now: no alarm may go on sounding for a
        // run that has ended.
        sound(SoundAction::Stop);
        tellError(r.message);
        return r;
    }
    if (!r.nothingMeasured)
        sound(r.sound);
    if (!r.ioError.empty())
        tell({Notice::Kind::ErrorReport, MessageKind::Error, "", r.ioError});
    if (experiment_) {
        experiment_->afterTick(r, recorder_.RunSamples()[stand_.state.Takt]);
        if (experiment_->finished()) {
            endExperiment(experiment_->abandoned() ? ExperimentEnd::How::Abandoned
                                                   : ExperimentEnd::How::Completed);
            running_ = false;
        }
    }
    return r;
}

bool RunSession::watchWhileStopped() const {
    return !running_ && !ended_ && cycle_.watchWhileStopped();
}

TickReport RunSession::checkWhileStopped() {
    const TickReport r = cycle_.checkWhileStopped();
    devices_.heartbeat(); // the plant was read
    if (!r.checkByteMismatch)
        sound(r.sound);
    if (r.stop != TickReport::Stop::None)
        tellError(r.message);
    return r;
}

GuardNews RunSession::hearGuard(std::chrono::milliseconds timeout) {
    const GuardNews news = devices_.pollGuard(timeout);
    switch (news) {
    case GuardNews::None:
        break;
    case GuardNews::SwitchedOff:
        cycle_.heaterSwitchedOff();
        // The program did not read the plant for a while: a step response
        // with such a gap fits nothing. The next tick closes the experiment.
        if (experiment_)
            experiment_->abandon();
        tell({Notice::Kind::GuardOff, MessageKind::Warning, "", kGuardSwitchedOffText});
        break;
    case GuardNews::Gone:
        cycle_.switchHeaterOff(); // before the stop, which tells what the heater was left at
        stop();
        sound(SoundAction::Stop);
        tellError(kGuardLostText);
        break;
    }
    return news;
}

bool RunSession::startExperiment(const StepPlan& plan) {
    if (experiment_ || !validStepPlan(plan))
        return false;
    // The run appends to an archive that may hold samples already.
    experiment_.emplace(plan, archiveSampleCount(recorder_.ArchiveName()));
    experimentEnd_.reset();
    if (!start()) {
        experiment_.reset();
        return false;
    }
    return true;
}

void RunSession::abandonExperiment() {
    if (experiment_)
        experiment_->abandon();
}

void RunSession::endExperiment(ExperimentEnd::How how) {
    ExperimentEnd end;
    end.how = how;
    end.plan = experiment_->plan();
    end.span = experiment_->span(stand_.controls.intervalMs / 1000.0);
    end.heaterByte = cycle_.lastHeaterByte();
    experiment_.reset();
    stand_.controls.stepExperiment = false;
    // Stopped from outside, the manual mode is taken back, so a new "старт"
    // does not go on heating at P1. (At its end the closing tick has already
    // switched manual mode off.)
    stand_.controls.Check_shim = false;
    if (how == ExperimentEnd::How::Completed)
        noteStep(end);
    experimentEnd_ = std::move(end);
}

void RunSession::noteStep(const ExperimentEnd& end) {
    // The archive records no manual value: the note beside it keeps the
    // step for the report and `archive identify`.
    const StepNote note{
        end.span.first, end.span.last,  end.plan.fromPct,           end.plan.toPct,
        end.plan.hold,  end.plan.ticks, stand_.controls.intervalMs, end.span.baseline};
    try {
        appendStepNote(recorder_.ArchiveName(), note);
    } catch (const IoError& e) {
        tell({Notice::Kind::ErrorReport, MessageKind::Error, "", e.what()});
    }
}

std::optional<ExperimentEnd> RunSession::takeExperimentEnd() {
    return std::exchange(experimentEnd_, std::nullopt);
}

void RunSession::shutdown(const std::function<void()>& whileSafe) {
    if (ended_)
        return;
    ended_ = true;
    stop();
    cycle_.switchHeaterOff();
    sound(SoundAction::Stop);
    if (whileSafe)
        whileSafe();
    devices_.shutdown();
}

std::vector<Notice> RunSession::takeNotices() {
    return std::exchange(notices_, {});
}

} // namespace thermo
