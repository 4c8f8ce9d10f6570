// thermostand-guard: switches the heater off when the program that started it
// dies or hangs, and when a signal ends the guard itself
// (guard/heater_guard.h). Started by the program only, which hands it the tie
// at descriptor 3 and names the heater's registers:
//   --ppdev FD     a claimed ppdev device the program opened (inherited)
//   --sim FD       the simulated register file the program opened (inherited)
//   --port-io ADDR direct port I/O at this base address (decimal); the guard
//                  asks for the permission itself, as port permissions belong
//                  to a process
#include <array>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "guard/heater_guard.h"
#include "io/register_device.h"
#include "io/sim_register_file.h"

using namespace thermo;

namespace {

struct Held {
    std::unique_ptr<RegisterDevice> device;
    std::uint16_t data; // the data register's address on it
};

int refuse(const std::string& why) {
    std::fprintf(stderr, "thermostand-guard: %s\n", why.c_str());
    (void)guard::sendLine(guard::kTieFd, "fail " + why);
    return 2;
}

// What a signal handler reaches the registers through: statics only, filled
// before the first handler is installed and not changed after. The write is
// the register device's own (a ppdev ioctl, a port output, stores into the
// mapped register file): no lock, no allocation.
constexpr std::size_t kMaxHeld = 8;
struct Target {
    RegisterDevice* device = nullptr;
    std::uint16_t data = 0;
};
std::array<Target, kMaxHeld> g_targets;
std::size_t g_targetCount = 0;

void switchOffAll() {
    for (std::size_t i = 0; i < g_targetCount; ++i)
        (void)g_targets[i].device->write(g_targets[i].data, 0);
}

void onEndingSignal(int sig) {
    switchOffAll();
    char text[96] = "thermostand-guard: ended by signal ";
    char* end = text + std::char_traits<char>::length(text);
    end = std::to_chars(end, text + sizeof text - 32, sig).ptr;
    for (char c : std::string_view("; heater switched off\n"))
        *end++ = c;
    (void)!::write(STDERR_FILENO, text, static_cast<std::size_t>(end - text));
    // SA_RESETHAND has put the default action back, and the signal is
    // blocked until the handler returns: it then ends the guard as it would
    // have (a core dump included), and the tie closes.
    ::raise(sig);
}

// The terminal's signals and a closed output are the program's business; a
// stopped or interrupted guard would guard nothing. The guard has a session
// of its own and no terminal; these come only from a person's kill, and are
// ignored rather than obeyed.
constexpr int kIgnored[] = {SIGINT, SIGQUIT, SIGHUP, SIGTSTP, SIGTTIN, SIGTTOU, SIGPIPE};

bool ignored(int sig) {
    for (int s : kIgnored)
        if (s == sig)
            return true;
    return false;
}

// Every other signal whose default ends the process (SIGTERM at a logout,
// SIGUSR1, SIGALRM, SIGXCPU, the real-time ones, a fault of the guard's own)
// switches the heater off first. SIGKILL and SIGSTOP cannot be caught: the
// tie's closing and the missing acknowledgements tell the program.
void guardEverySignal() {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr); // whatever the starter blocked
    for (int sig : kIgnored)
        std::signal(sig, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = onEndingSignal;
    sigfillset(&sa.sa_mask); // one handler at a time
    sa.sa_flags = SA_RESETHAND;
    for (int sig = 1; sig <= SIGRTMAX; ++sig) {
        if (sig == SIGKILL || sig == SIGSTOP || sig == SIGCHLD || sig == SIGCONT || sig == SIGURG ||
            sig == SIGWINCH || ignored(sig))
            continue;
        // The C library keeps a few real-time signals for itself: refused.
        (void)::sigaction(sig, &sa, nullptr);
    }
}

} // namespace

int main(int argc, char** argv) {
    // Until the registers are held there is nothing to switch off, and a
    // signal may end the guard as it would any process: the program hears no
    // "ready".
    for (int sig : kIgnored)
        std::signal(sig, SIG_IGN);

    std::vector<Held> held;
    for (int i = 1; i < argc; i += 2) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            return refuse(option + " needs a value");
        char* end = nullptr;
        const long value = std::strtol(argv[i + 1], &end, 10);
        if (*end != '\0' || end == argv[i + 1] || value < 0 || value > 0xFFFF)
            return refuse(option + ": not a number: " + argv[i + 1]);
        GuardRegister r;
        if (option == "--ppdev") {
            r = {GuardRegister::Kind::Ppdev, static_cast<int>(value), 0};
        } else if (option == "--sim") {
            r = {GuardRegister::Kind::Sim, static_cast<int>(value), SimRegisterFile::kBase};
        } else if (option == "--port-io") {
            r = {GuardRegister::Kind::PortIo, -1, static_cast<std::uint16_t>(value)};
        } else {
            return refuse("unknown option " + option + " (started by the program only)");
        }
        if (held.size() == kMaxHeld)
            return refuse("more than " + std::to_string(kMaxHeld) + " registers");
        std::string why;
        auto device = adoptGuardRegister(r, &why);
        if (!device)
            return refuse(why);
        held.push_back({std::move(device), r.base});
    }
    for (const Held& h : held)
        g_targets[g_targetCount++] = {h.device.get(), h.data};
    guardEverySignal();
    const int status = guard::runGuard(guard::kTieFd, switchOffAll);
    // The end is decided: a signal from here on must not reach registers
    // whose devices are being closed.
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, nullptr);
    return status;
}
