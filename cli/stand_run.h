#pragma once
// A run of the stand without a window, for `run` and `identify`: the run
// session the main window drives, driven here by a wait between ticks. The
// stand's devices and settings are the program's; the session's notices go
// to standard error, one line per tick to `tickLines`.

#include <optional>
#include <ostream>
#include <string>

#include "run/heating_watch.h"
#include "run/session.h"
#include "run/stand.h"
#include "run/step_experiment.h"

namespace thermo::cli {

struct HeadlessRun {
    std::string archive;  // "новый" chooses this sample file
    std::string port;     // COMn or a path; empty: the stored "COM port"
    std::string settings; // empty: the program's settings file
    long ticks = 10;
    double setpoint = 33.5;
    CycleControls controls; // with the interval and the alarm sound's switch
    // The heating watch's period instead of the settings file's watch_period
    // (the other [safety] figures stay the file's).
    std::optional<double> watchPeriodS;
    // Run although no parallel port answered (the sensor only).
    bool noHeater = false;
    // The step experiment instead of a plain run: its ticks are its own.
    std::optional<StepPlan> experiment;
};

struct HeadlessResult {
    // 0 after all ticks; 1 when the run could not start; 3 when it ended
    // early with the heater off (a safety stop, the guard gone, interrupted).
    int status = 0;
    std::optional<ExperimentEnd> experiment;
};

// `command` names the tool in its own messages ("run: interrupted").
HeadlessResult runHeadless(const HeadlessRun& run, const char* command, std::ostream& tickLines);

} // namespace thermo::cli
