#pragma once
// "опыт со ступенькой": P0, P1, N0 and N1 for the step experiment, run in
// the main window's own cycle (its ticks, its safety stops, its archive
// chosen as "новый" chooses one), with its progress. At the end the heater
// is off and `finished` names the archive and the step's span in it. The
// sequence itself is StepExperiment's; this window only sets the main
// window's controls before each tick.

#include <QWidget>
#include <cstddef>
#include <optional>

#include "run/step_experiment.h"
#include "common/dialogs.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace thermo {

class TF_Glav;
class ArchiveRecorder;

inline constexpr const char* kStepWindowTitle = "опыт со ступенькой";

class StepWindow : public QWidget {
    Q_OBJECT
public:
    StepWindow(TF_Glav& main, Stand& stand, ArchiveRecorder& recorder, UserDialogs& dialogs,
               QWidget* parent = nullptr);

    // "пуск": the archive chosen, then the run started. False when it did
    // not start (the user is told why, or cancelled the file).
    bool start();
    // "прервать": the next tick switches the heater off and ends the run.
    void abandon();
    [[nodiscard]] bool running() const { return experiment_.has_value(); }

    QSpinBox *fromBox, *toBox, *holdBox, *ticksBox;
    QLabel *intervalLabel, *status;
    QProgressBar* progress;
    QPushButton *startButton, *abandonButton;

signals:
    // The experiment ran to its end: the archive, the switching tick's and
    // the last response sample's positions, the manual values.
    void finished(const QString& archive, std::size_t first, std::size_t last, int fromPct,
                  int toPct);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void beforeTick();
    void afterTick(const TickReport& r);
    void runStopped();
    void showIdle(const QString& text);
    void showPlanLength();

    TF_Glav& main_;
    Stand& stand_;
    ArchiveRecorder& recorder_;
    UserDialogs& dialogs_;
    std::optional<StepExperiment> experiment_;
    bool closing_ = false; // the last tick ran; Timer1 is being stopped
};

} // namespace thermo
