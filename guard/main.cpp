// thermostand-guard: switches the heater off when the program that started it
// dies or hangs (io/heater_guard.h). Started by the program only, which hands
// it the tie at descriptor 3 and names the heater's registers:
//   --ppdev FD     a claimed ppdev device the program opened (inherited)
//   --sim FD       the simulated register file the program opened (inherited)
//   --port-io ADDR direct port I/O at this base address (decimal); the guard
//                  asks for the permission itself, as port permissions belong
//                  to a process
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
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

} // namespace

int main(int argc, char** argv) {
    // The terminal's signals and a closed output are the program's business;
    // a stopped or interrupted guard would guard nothing.
    for (int sig : {SIGINT, SIGQUIT, SIGHUP, SIGTSTP, SIGTTIN, SIGTTOU, SIGPIPE})
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
        std::string why;
        auto device = adoptGuardRegister(r, &why);
        if (!device)
            return refuse(why);
        held.push_back({std::move(device), r.base});
    }
    return guard::runGuard(guard::kTieFd, [&] {
        for (Held& h : held)
            (void)h.device->write(h.data, 0);
    });
}
