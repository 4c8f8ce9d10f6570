#include "app/crash_guard.h"

#include <atomic>
#include <csignal>
#include <unistd.h>

#include "app/cycle.h"

namespace thermo {

namespace {

// A signal handler reaches nothing but statics.
std::atomic<CycleHeater*> g_heater{nullptr};

// Every signal that ends a process by default and that the program does not
// handle itself (SIGINT, SIGTERM and SIGHUP end it in order).
constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS,  SIGFPE,  SIGILL, SIGABRT, SIGQUIT,
                                 SIGPIPE, SIGXCPU, SIGXFSZ, SIGSYS, SIGTRAP};

void onFatalSignal(int sig) {
    if (CycleHeater* h = g_heater.exchange(nullptr))
        h->writeHeater(0);
    static const char kText[] = "thermostand: fatal signal, heater switched off\n";
    (void)!::write(STDERR_FILENO, kText, sizeof kText - 1);
    // SA_RESETHAND has put the default action back: end as the signal would.
    ::raise(sig);
}

} // namespace

CrashHeaterGuard::CrashHeaterGuard(CycleHeater& heater) {
    g_heater = &heater;
    struct sigaction sa {};
    sa.sa_handler = onFatalSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (int sig : kFatalSignals)
        ::sigaction(sig, &sa, nullptr);
}

CrashHeaterGuard::~CrashHeaterGuard() {
    g_heater = nullptr;
    for (int sig : kFatalSignals)
        std::signal(sig, SIG_DFL);
}

} // namespace thermo
