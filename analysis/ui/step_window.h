#pragma once
// "опыт со ступенькой": P0, P1, N0 and N1 for the step experiment, run by the
// run session of the window that drives the stand (its ticks, its safety
// stops, its archive chosen as "новый" chooses one), with its progress. At
// the end the heater is off and `finished` names the archive and the step's
// span in it. The sequence is StepExperiment's and the session runs it; this
// window asks for it and follows it.

#include <QWidget>
#include <cstddef>
#include <optional>

#include "common/dialogs.h"
#include "run/step_experiment.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace thermo {

class ArchiveRecorder;
class RunSession;
struct ExperimentEnd;

inline constexpr const char* kStepWindowTitle = "опыт со ступенькой";

// What the step window asks of the window that drives the stand.
class StandRunner {
public:
    virtual ~StandRunner() = default;
    // A sensor was found, so "новый" is available.
    [[nodiscard]] virtual bool sensorFound() const = 0;
    // "новый", with its file dialog: true when an archive was chosen.
    virtual bool newArchive() = 0;
    // The run started with the experiment; false, told, when it may not.
    virtual bool startExperiment(const StepPlan& plan) = 0;
    [[nodiscard]] virtual int intervalMs() const = 0;
};

class StepWindow : public QWidget {
    Q_OBJECT
public:
    StepWindow(StandRunner& runner, RunSession& session, const ArchiveRecorder& recorder,
               UserDialogs& dialogs, QWidget* parent = nullptr);

    // "пуск": the archive chosen, then the run started. False when it did
    // not start (the user is told why, or cancelled the file).
    bool start();
    // "прервать": the next tick switches the heater off and ends the run.
    void abandon();
    [[nodiscard]] bool running() const;
    // After each tick and after the run stopped: the progress, or how the
    // experiment ended.
    void followRun();

    QSpinBox *fromBox, *toBox, *holdBox, *ticksBox;
    QLabel *intervalLabel, *status;
    QProgressBar* progress;
    QPushButton *startButton, *abandonButton;

signals:
    // The experiment ran to its end: the archive, the switching tick's and
    // the last response sample's positions, the samples before the switch
    // its fit takes as the level, the manual values.
    void finished(const QString& archive, std::size_t first, std::size_t last, std::size_t baseline,
                  int fromPct, int toPct);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showEnd(const ExperimentEnd& end);
    void showIdle(const QString& text);
    void showPlanLength();

    StandRunner& runner_;
    RunSession& session_;
    const ArchiveRecorder& recorder_;
    UserDialogs& dialogs_;
};

} // namespace thermo
