#include "run/crash_guard.h"

#include <atomic>
#include <csignal>
#include <unistd.h>
#include <utility>

#include "run/cycle.h"

namespace thermo {

namespace {

// A signal handler reaches nothing but statics.
std::atomic<CycleHeater*> g_heater{nullptr};

// The faults: they end the process whatever its settings.
constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS, SIGTRAP};
// Every other signal that ends a process by default and that the program does
// not handle itself (SIGINT, SIGTERM and SIGHUP end it in order). Guarded only
// where they would end it: one ignored (nohup, a service) or handled by a
// library stays so.
constexpr int kOtherDeadlySignals[] = {SIGQUIT, SIGPIPE,   SIGXCPU, SIGXFSZ, SIGUSR1, SIGUSR2,
                                       SIGALRM, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSTKFLT};
constexpr int kMaxSignal = 65;
bool g_guarded[kMaxSignal] = {};

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
    for (int sig : kFaultSignals)
        g_guarded[sig] = ::sigaction(sig, &sa, nullptr) == 0;
    for (int sig : kOtherDeadlySignals) {
        struct sigaction old {};
        g_guarded[sig] = ::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_DFL &&
                         ::sigaction(sig, &sa, nullptr) == 0;
    }
}

CrashHeaterGuard::~CrashHeaterGuard() {
    g_heater = nullptr;
    for (int sig = 1; sig < kMaxSignal; ++sig)
        if (std::exchange(g_guarded[sig], false))
            std::signal(sig, SIG_DFL);
}

void handleUnlessIgnored(int sig, void (*handler)(int)) {
    struct sigaction old {};
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
        return;
    std::signal(sig, handler);
}

} // namespace thermo
