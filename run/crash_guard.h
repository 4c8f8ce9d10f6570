#pragma once
// Switches the heater off when the process dies of a fatal signal: a crash, an
// abort from a failed check or a fatal Qt error. The plant must not be left
// heating with nobody reading its sensor.
//
// Best effort by nature: the write goes through the same register device as
// every heater write (a ppdev ioctl, a port output or a store into the mapped
// register file), which takes no lock and allocates nothing, so it can run in
// a signal handler. The handler then lets the signal end the process as it
// would have (core dump included).

#include <cstdint>

namespace thermo {

class CycleHeater;

class CrashHeaterGuard {
public:
    // One guard at a time; the heater must outlive the guard.
    explicit CrashHeaterGuard(CycleHeater& heater);
    ~CrashHeaterGuard();
    CrashHeaterGuard(const CrashHeaterGuard&) = delete;
    CrashHeaterGuard& operator=(const CrashHeaterGuard&) = delete;
};

// Installs `handler` for a signal that ends the program in order, unless the
// program was started with it ignored (`nohup`, a background job): that
// choice of whoever started it stands.
void handleUnlessIgnored(int sig, void (*handler)(int));

} // namespace thermo
