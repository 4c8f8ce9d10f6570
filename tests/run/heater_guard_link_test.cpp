// The program's end of the heater guard against the real thermostand-guard
// over a simulated register file: what becomes of the heater when the guard
// is signalled.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

#include "io/register_device.h"
#include "io/sim_register_file.h"
#include "run/heater_guard_link.h"
#include "tests/sim_stand.h"

using namespace thermo;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using thermo::testing::binDir;
using thermo::testing::freshTestDir;
using thermo::testing::slurp;

namespace {

// A simulated heater register at 234 and the guard's way to it.
struct HotRegister {
    std::unique_ptr<RegisterDevice> device;
    explicit HotRegister(const fs::path& file) {
        std::string why;
        int err = 0;
        device = openSimRegisters(file.string(), &why, &err);
        EXPECT_TRUE(device) << why;
        if (device) {
            EXPECT_TRUE(device->write(SimRegisterFile::kBase, 234));
        }
    }
    [[nodiscard]] int value() const {
        std::uint8_t v = 0;
        return device->read(SimRegisterFile::kBase, v) ? v : -1;
    }
    std::unique_ptr<HeaterGuardLink> guard() const {
        std::string why;
        auto link = HeaterGuardLink::start(binDir() + "/thermostand-guard",
                                           {*device->guardRegister()}, &why);
        EXPECT_TRUE(link) << why;
        return link;
    }
};

// Every signal that would end the guard switches the heater off before it
// goes (a logout's SIGTERM is the usual one); the terminal's, which the guard
// ignores, leave it guarding. SIGKILL and SIGSTOP cannot be caught, and the
// rest are ignored by default.
TEST(HeaterGuardLink, EverySignalThatEndsTheGuardSwitchesTheHeaterOffFirst) {
    const fs::path dir = freshTestDir("thermo_guard_link_");
    HotRegister heater(dir / "lpt");
    ASSERT_TRUE(heater.device);
    const rlimit noCore{0, 0}; // the faults' signals would leave core files
    setrlimit(RLIMIT_CORE, &noCore);
    for (int sig = 1; sig <= SIGRTMAX; ++sig) {
        if (sig == SIGKILL || sig == SIGSTOP || sig == SIGCHLD || sig == SIGCONT || sig == SIGURG ||
            sig == SIGWINCH || (sig > SIGSYS && sig < SIGRTMIN))
            continue;
        SCOPED_TRACE("signal " + std::to_string(sig));
        ASSERT_TRUE(heater.device->write(SimRegisterFile::kBase, 234));
        auto link = heater.guard();
        ASSERT_TRUE(link);
        kill(link->pid(), sig);
        const bool ignored = sig == SIGINT || sig == SIGQUIT || sig == SIGHUP || sig == SIGPIPE ||
                             sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU;
        const GuardNews news = link->poll(ignored ? 100ms : 2000ms);
        if (ignored) {
            EXPECT_EQ(news, GuardNews::None);
            EXPECT_EQ(heater.value(), 234);
            EXPECT_TRUE(link->beat(234)) << "the guard stopped guarding";
            link->bye();
            continue;
        }
        EXPECT_EQ(news, GuardNews::Gone) << "the program did not learn the guard is gone";
        EXPECT_EQ(heater.value(), 0) << "the guard ended with the heater on";
    }
    fs::remove_all(dir);
}

} // namespace
