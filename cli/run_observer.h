#pragma once
// A headless run seen from another command: the step experiment of
// `identify` is a run in manual mode whose manual value changes part way,
// with every safety stop of `run`.

#include <ostream>

#include "run/cycle.h"
#include "run/stand.h"

namespace thermo::cli {

class RunObserver {
public:
    virtual ~RunObserver() = default;
    // Before tick number `tick` (from 0): set the controls it reads.
    virtual void beforeTick(long tick, Stand& stand) = 0;
    // After a tick that ran to its end (not one that stopped the run).
    virtual void afterTick(long tick, const Stand& stand, const TickReport& report) = 0;
    // Where the per-tick lines go.
    virtual std::ostream& tickLines() = 0;
};

// `run` with its options in argc/argv, watched by `observer`. The exit
// status is run's.
int runObserved(int argc, char** argv, RunObserver& observer);

} // namespace thermo::cli
