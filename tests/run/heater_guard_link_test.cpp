// The program's end of the heater guard against the real thermostand-guard
// over a simulated register file: what becomes of the heater when the guard
// is signalled, how a guard that stops answering is told from a program that
// stops reading, and how the guard is started through the user's service
// manager.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
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
using thermo::testing::slurp;
using thermo::testing::TempDir;

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
    // The value once it is 0, or after a while of waiting for it.
    [[nodiscard]] int settled() const {
        for (int i = 0; i < 200 && value() != 0; ++i)
            std::this_thread::sleep_for(10ms);
        return value();
    }
    std::unique_ptr<HeaterGuardLink> guard(const std::string& systemdRun = {}) const {
        std::string why;
        auto link = HeaterGuardLink::start(binDir() + "/thermostand-guard",
                                           {*device->guardRegister()}, &why, systemdRun);
        EXPECT_TRUE(link) << why;
        return link;
    }
};

// Every signal that would end the guard switches the heater off before it
// goes (a logout's SIGTERM is the usual one); the terminal's, which the guard
// ignores, leave it guarding. SIGKILL and SIGSTOP cannot be caught, and the
// rest are ignored by default.
TEST(HeaterGuardLink, EverySignalThatEndsTheGuardSwitchesTheHeaterOffFirst) {
    const TempDir temp("thermo-guard-link");
    const fs::path& dir = temp.path();
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
}

// A guard stopped (SIGSTOP) answers nothing: the program gives it up within
// kAckTimeout of the first beat it left unanswered, and it is killed rather
// than left holding the registers. A program that itself read nothing for
// as long (stopped, or busy) finds the answers waiting and keeps its guard.
TEST(HeaterGuardLink, AnUnansweredBeatIsToldFromAnUnreadAnswer) {
    const TempDir temp("thermo-guard-link");
    const fs::path& dir = temp.path();
    HotRegister heater(dir / "lpt");
    ASSERT_TRUE(heater.device);

    auto busy = heater.guard();
    ASSERT_TRUE(busy);
    ASSERT_TRUE(busy->beat(234));
    std::this_thread::sleep_for(guard::kAckTimeout + 300ms);
    EXPECT_TRUE(busy->beat(234)) << "answers waiting unread taken for a silent guard";
    EXPECT_EQ(busy->poll(), GuardNews::None);
    busy->bye();

    auto stopped = heater.guard();
    ASSERT_TRUE(stopped);
    const pid_t pid = stopped->pid();
    ASSERT_TRUE(stopped->beat(234));
    EXPECT_EQ(stopped->poll(200ms), GuardNews::None);
    kill(pid, SIGSTOP);
    const auto unanswered = std::chrono::steady_clock::now();
    ASSERT_TRUE(stopped->beat(234));
    GuardNews news = GuardNews::None;
    while (news == GuardNews::None &&
           std::chrono::steady_clock::now() - unanswered < guard::kAckTimeout + 2s)
        news = stopped->poll(20ms);
    const auto took = std::chrono::steady_clock::now() - unanswered;
    EXPECT_EQ(news, GuardNews::Gone);
    EXPECT_GE(took, guard::kAckTimeout);
    EXPECT_LT(took, guard::kAckTimeout + 500ms);
    stopped.reset();
    EXPECT_NE(kill(pid, 0), 0) << "the silent guard was left running";
    if (kill(pid, 0) == 0)
        kill(pid, SIGKILL);
}

TEST(HeaterGuardLink, AUserManagerIsSeenByItsPrivateSocket) {
    const TempDir temp("thermo-guard-link");
    const fs::path& dir = temp.path();
    EXPECT_FALSE(userManagerRunning(nullptr));
    EXPECT_FALSE(userManagerRunning("relative/dir"));
    EXPECT_FALSE(userManagerRunning(dir.c_str()));
    fs::create_directories(dir / "systemd");
    std::ofstream(dir / "systemd" / "private") << "not a socket";
    EXPECT_FALSE(userManagerRunning(dir.c_str()));
    fs::remove(dir / "systemd" / "private");
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = (dir / "systemd" / "private").string();
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    path.copy(addr.sun_path, path.size());
    ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_TRUE(userManagerRunning(dir.c_str()));
    close(fd);
}

// Through the user's service manager: systemd-run (here a stand-in that
// records its arguments, then runs the command in place as systemd-run
// --scope does) hands the guard the tie and the register's descriptor; a
// manager that refuses leaves the guard to start directly.
TEST(HeaterGuardLink, StartsInAScopeOfItsOwnAndDirectlyWhenTheManagerRefuses) {
    const TempDir temp("thermo-guard-link");
    const fs::path& dir = temp.path();
    const fs::path runner = dir / "systemd-run";
    std::ofstream(runner) << "#!/bin/sh\n"
                             "printf '%s\\n' \"$@\" > \"$0.args\"\n"
                             "[ -e \"$0.refuse\" ] && exit 1\n"
                             "while [ \"$1\" != -- ]; do shift; done\n"
                             "shift\n"
                             "exec \"$@\"\n";
    fs::permissions(runner, fs::perms::owner_all);
    HotRegister heater(dir / "lpt");
    ASSERT_TRUE(heater.device);

    auto scoped = heater.guard(runner.string());
    ASSERT_TRUE(scoped);
    const std::string exe = binDir() + "/thermostand-guard";
    EXPECT_EQ(slurp(dir / "systemd-run.args"),
              "--user\n--scope\n--collect\n--quiet\n--no-ask-password\n"
              "--description=thermostand heater guard\n--\n" +
                  exe + "\n--sim\n4\n");
    EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(scoped->pid()) + "/exe"),
              fs::canonical(exe));
    // It holds the register: the tie closing without a goodbye, it writes 0.
    scoped.reset();
    EXPECT_EQ(heater.settled(), 0);

    ASSERT_TRUE(heater.device->write(SimRegisterFile::kBase, 234));
    fs::remove(dir / "systemd-run.args");
    std::ofstream(dir / "systemd-run.refuse");
    auto direct = heater.guard(runner.string());
    ASSERT_TRUE(direct);
    EXPECT_TRUE(fs::exists(dir / "systemd-run.args")) << "the manager was not asked";
    EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(direct->pid()) + "/exe"),
              fs::canonical(exe));
    direct.reset();
    EXPECT_EQ(heater.settled(), 0);
}

} // namespace
