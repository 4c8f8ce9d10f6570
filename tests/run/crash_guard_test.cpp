// A process that dies of a fatal signal with the heater on leaves it off.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "io/sim_register_file.h"
#include "run/crash_guard.h"
#include "run/devices.h"
#include "tests/temp_dir.h"

using namespace thermo;
namespace fs = std::filesystem;

namespace {

// The children die on purpose: no core files for them.
void noCoreFile() {
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
}

// Runs `die` in a child that heats through the simulated register device,
// under a guard or not; returns the signal that ended the child.
int heatAndDie(const fs::path& lpt, void (*die)(), bool guarded = true, int ignored = 0) {
    const pid_t pid = fork();
    if (pid == 0) {
        noCoreFile();
        if (ignored)
            std::signal(ignored, SIG_IGN); // as whoever started the program chose
        DeviceSettings d;
        d.lpt = "sim:" + lpt.string();
        StandDevices devices(d);
        devices.writeHeater(234);
        std::optional<CrashHeaterGuard> guard;
        if (guarded)
            guard.emplace(devices);
        else
            std::signal(SIGSEGV, SIG_DFL); // no sanitizer's handler either
        die();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : -WEXITSTATUS(status);
}

TEST(CrashHeaterGuard, AFatalSignalSwitchesTheHeaterOffAndStillEndsTheProcess) {
    const thermo::testing::TempDir dir("thermo-crash");
    const fs::path lpt = dir.path() / "lpt";
    struct Case {
        int sig;
        void (*die)();
    };
    const Case cases[] = {
        {SIGSEGV, [] { std::raise(SIGSEGV); }},
        {SIGABRT, [] { std::abort(); }},
        {SIGFPE, [] { std::raise(SIGFPE); }},
        {SIGQUIT, [] { std::raise(SIGQUIT); }}, // Ctrl-\\ at the terminal
        {SIGPIPE, [] { std::raise(SIGPIPE); }},
        {SIGUSR1, [] { std::raise(SIGUSR1); }},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(heatAndDie(lpt, c.die), c.sig);
        std::string why;
        auto regs = SimRegisterFile::open(lpt.string(), &why);
        ASSERT_TRUE(regs) << why;
        EXPECT_EQ(regs->read(0), 0) << strsignal(c.sig);
        EXPECT_GE(regs->writeCount(), 2u) << "the child never heated";
    }
    // A signal the program was started with ignored stays ignored (`nohup`,
    // a service): the program lives on and keeps the heater.
    EXPECT_EQ(heatAndDie(
                  lpt, [] { std::raise(SIGPIPE); }, true, SIGPIPE),
              0);
    std::string heldWhy;
    EXPECT_EQ(SimRegisterFile::open(lpt.string(), &heldWhy)->read(0), 234);
    // Without the guard the heater stays on: the check above means something.
    EXPECT_EQ(heatAndDie(lpt, cases[0].die, /*guarded=*/false), SIGSEGV);
    std::string why;
    EXPECT_EQ(SimRegisterFile::open(lpt.string(), &why)->read(0), 234);
}

} // namespace
