#pragma once
// The main of a benchmark of windows: an offscreen application (benchmarks
// run without a display) owned by main, so it is gone before the process's
// exit handlers run Qt's own clean-up. `run` makes what needs the application,
// registers what needs it and runs the benchmarks.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "ui_aux/program_setup.h"

namespace thermo::bench {

template <class Run> int runWindowBenchmarks(int argc, char** argv, Run run) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    prepareWindowProgram(app); // the faces the windows are laid out for
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    run();
    benchmark::Shutdown();
    return 0;
}

inline void runRegistered() {
    benchmark::RunSpecifiedBenchmarks();
}

} // namespace thermo::bench
