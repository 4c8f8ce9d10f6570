// The heater guard behind the real programs on the simulated stand: a run
// under forced heat is killed, stopped or loses its guard, and the simulated
// stand's log of every heater write says what the heater got and when.
#include <gtest/gtest.h>

#include <QApplication>
#include <QToolButton>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <poll.h>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <QEventLoop>
#include <QTimer>

#include "app/main_window.h"
#include "common/scripted_dialogs.h"
#include "io/sim_register_file.h"
#include "run/heater_guard_link.h"
#include "tests/app/window_stand.h"
#include "tests/sim_stand.h"

using namespace thermo;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using thermo::testing::binDir;
using thermo::testing::SimulatedStand;
using thermo::testing::slurp;
using thermo::testing::spawn;
using thermo::testing::TempDir;
using thermo::testing::waitExit;
using thermo::testing::WindowStand;
using thermo::testing::writeStandSettings;

namespace {

// The heater guard a program started: its child named thermostand-guard
// (cut to the 15 characters the kernel keeps).
pid_t guardOf(pid_t program) {
    for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string stat = slurp(e.path() / "stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos || stat.find("(thermostand-gua)") == std::string::npos)
            continue;
        std::istringstream rest(stat.substr(close + 2));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == program)
            return std::stoi(e.path().filename().string());
    }
    return -1;
}

// The processes of session `sid`.
std::vector<pid_t> sessionMembers(pid_t sid) {
    std::vector<pid_t> members;
    for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string stat = slurp(e.path() / "stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(stat.substr(close + 2));
        char state = 0;
        pid_t parent = 0, group = 0, session = 0;
        rest >> state >> parent >> group >> session;
        if (session == sid && state != 'Z')
            members.push_back(std::stoi(e.path().filename().string()));
    }
    return members;
}

// One simulated stand under forced heat; the programs under test run on it.
struct HeaterGuard : ::testing::Test {
    TempDir temp{"thermo-guard"};
    const fs::path dir = temp.path();
    std::optional<SimulatedStand> sim;

    void SetUp() override {
        writeStandSettings(dir / "s.ini", link(), lpt());
        sim.emplace(link(), lpt(), dir / "sim.log", dir / "sim.err");
        ASSERT_TRUE(sim->ready()) << slurp(dir / "sim.err");
    }
    std::string link() const { return (dir / "adapter").string(); }
    std::string lpt() const { return (dir / "lpt").string(); }

    // The heater bytes the stand has logged, in order of writing.
    std::vector<int> writes() const {
        static const std::regex re(R"(heater t=[0-9.]+ byte=(\d+))");
        const std::string log = slurp(dir / "sim.log");
        std::vector<int> bytes;
        for (std::sregex_iterator it(log.begin(), log.end(), re), end; it != end; ++it)
            bytes.push_back(std::stoi((*it)[1]));
        return bytes;
    }
    // How long until a write of `byte` after the first `seen` writes shows
    // in the log; nothing within `limit`.
    std::optional<Clock::duration> waitForByte(int byte, std::size_t seen,
                                               Clock::duration limit) const {
        const auto start = Clock::now();
        while (Clock::now() - start < limit) {
            const auto w = writes();
            if (std::find(w.begin() + static_cast<long>(std::min(seen, w.size())), w.end(), byte) !=
                w.end())
                return Clock::now() - start;
            std::this_thread::sleep_for(5ms);
        }
        return std::nullopt;
    }
    // A program heating under forced heat is stopped: the guard takes the
    // heater off after its hang timeout; continued, the program heats on.
    // Returns how many writes there were when it was continued.
    std::size_t stopAndContinue(pid_t program) {
        const std::size_t seen = writes().size();
        kill(program, SIGSTOP);
        const auto off = waitForByte(0, seen, 12s);
        EXPECT_TRUE(off) << "no byte 0 while stopped";
        if (!off)
            return 0;
        EXPECT_LE(*off, 11s);
        EXPECT_GE(*off, 8s) << "the guard did not wait for its timeout";
        const std::size_t afterOff = writes().size();
        kill(program, SIGCONT);
        EXPECT_TRUE(waitForByte(234, afterOff, 3s)) << "the run did not go on";
        return afterOff;
    }
    // Killed: the guard writes 0 within a second.
    void killAndSeeTheHeaterOff(pid_t program) {
        const std::size_t seen = writes().size();
        kill(program, SIGKILL);
        const auto off = waitForByte(0, seen, 3s);
        ASSERT_TRUE(off) << "the heater stayed on";
        EXPECT_LT(*off, 1s);
        waitExit(program);
    }

    pid_t startHeadlessRun() {
        return spawn({binDir() + "/thermostand-cli", "run", "--settings", (dir / "s.ini").string(),
                      "--port", "COM1", "--no-alarm-sound", "--heat", "--ticks", "1000",
                      "--archive", (dir / "run.txt").string()},
                     dir / "out", dir / "err");
    }
    // The same run as the leader of a session of its own, as a login's
    // programs are.
    pid_t startHeadlessRunInItsOwnSession() {
        const std::string cli = binDir() + "/thermostand-cli";
        std::vector<std::string> args{
            cli,       "run",  "--settings",       (dir / "s.ini").string(),
            "--port",  "COM1", "--no-alarm-sound", "--heat",
            "--ticks", "1000", "--archive",        (dir / "run.txt").string()};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, (dir / "out").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&fa, 2, (dir / "err").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, cli.c_str(), &fa, &attr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&fa);
        posix_spawnattr_destroy(&attr);
        return pid;
    }
    // A run whose guard goes (or stops answering) ends with status 3, the
    // heater switched off by the program and the reason told; within `limit`.
    void expectTheRunToStop(pid_t run, std::size_t seen, Clock::duration limit) {
        const auto start = Clock::now();
        int status = -1;
        while (Clock::now() - start < limit) {
            int st = 0;
            if (waitpid(run, &st, WNOHANG) == run) {
                status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
                break;
            }
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_EQ(status, 3) << "the run went on without its guard";
        if (status < 0) {
            kill(run, SIGKILL);
            waitExit(run);
        }
        EXPECT_TRUE(waitForByte(0, seen, 1s)) << "the program left the heater on";
        EXPECT_NE(slurp(dir / "err").find(kGuardLostText), std::string::npos) << slurp(dir / "err");
    }

    // The main window with its guard in a child process (the window needs a
    // QApplication of its own, and the test survives its being killed),
    // running under forced heat. Every message it shows comes back on
    // `messages`, one per line.
    // The window program under forced heat, its messages said on `messages`;
    // each box stays open for `unanswered` (a person who does not click);
    // `holdTicksAfter` the start its ticks wait for good, as for a command
    // that never ends, while its event loop runs on.
    pid_t startWindow(int messages, std::chrono::milliseconds unanswered = 0ms,
                      std::optional<std::chrono::milliseconds> holdTicksAfter = {}) {
        const pid_t pid = fork();
        if (pid != 0)
            return pid;
        int argc = 1;
        char name[] = "guarded_window";
        char* argv[] = {name, nullptr};
        QApplication app(argc, argv);
        WindowStand rig({.sensorLink = link(),
                         .folder = dir,
                         .guard = binDir() + "/thermostand-guard",
                         .settingsFile = (dir / "w.INI").string()});
        rig.dialogs.whileShown = [&](const ScriptedDialogs::Shown& m) {
            const std::string line = m.text + "\n";
            (void)!write(messages, line.data(), line.size());
            if (unanswered > 0ms) { // as a modal box's own event loop
                QEventLoop box;
                QTimer::singleShot(unanswered, &box, &QEventLoop::quit);
                box.exec();
            }
        };
        TF_Glav w(rig.services()); // a guard that did not start is told here
        w.FormShow();
        rig.dialogs.fileAnswers.push_back((dir / "window.txt").string());
        w.N2Click();
        w.SpeedButton1->setChecked(true);
        w.Bt_StartClick();
        if (holdTicksAfter)
            QTimer::singleShot(*holdTicksAfter, &w, [&w] { w.ticks().hold(); });
        app.exec();
        _exit(0);
    }
};

// What a child has said on its pipe so far, waiting up to `limit` for `text`.
bool heard(int fd, std::string& said, const std::string& text, Clock::duration limit) {
    const auto until = Clock::now() + limit;
    while (said.find(text) == std::string::npos && Clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) > 0) {
            char buf[512];
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n > 0)
                said.append(buf, static_cast<std::size_t>(n));
        }
    }
    return said.find(text) != std::string::npos;
}

TEST_F(HeaterGuard, HeadlessRunStoppedThenKilledLeavesTheHeaterOff) {
    const pid_t run = startHeadlessRun();
    ASSERT_TRUE(waitForByte(234, 0, 5s)) << slurp(dir / "err");
    const std::size_t resumed = stopAndContinue(run);
    // One tick at once, the next an interval (1 s) later: the ticks missed
    // while stopped are not made up back to back.
    std::this_thread::sleep_for(300ms);
    EXPECT_LE(writes().size() - resumed, 1u) << "missed ticks made up back to back";
    EXPECT_NE(slurp(dir / "err").find(kGuardSwitchedOffText), std::string::npos)
        << slurp(dir / "err");
    killAndSeeTheHeaterOff(run);
}

TEST_F(HeaterGuard, HeadlessRunStopsWhenItsGuardIsKilled) {
    const pid_t run = startHeadlessRun();
    ASSERT_TRUE(waitForByte(234, 0, 5s)) << slurp(dir / "err");
    const pid_t guard = guardOf(run);
    ASSERT_GT(guard, 0);
    const std::size_t seen = writes().size();
    kill(guard, SIGKILL);
    EXPECT_TRUE(waitForByte(0, seen, 1s));
    EXPECT_EQ(waitExit(run), 3);
    EXPECT_NE(slurp(dir / "err").find(kGuardLostText), std::string::npos) << slurp(dir / "err");
}

// Regression: a guard ended by SIGTERM (a logout sends it to everything)
// left the heater at 234 for as long as the program stayed hung.
TEST_F(HeaterGuard, GuardTerminatedWhileTheRunHangsLeavesTheHeaterOff) {
    const pid_t run = startHeadlessRun();
    ASSERT_TRUE(waitForByte(234, 0, 5s)) << slurp(dir / "err");
    const pid_t guard = guardOf(run);
    ASSERT_GT(guard, 0);
    kill(run, SIGSTOP);
    const std::size_t seen = writes().size();
    kill(guard, SIGTERM);
    const auto off = waitForByte(0, seen, 3s);
    EXPECT_TRUE(off) << "the heater stayed on";
    EXPECT_LT(off.value_or(Clock::duration::max()), 1s);
    kill(run, SIGCONT);
    expectTheRunToStop(run, seen, 3s);
}

// Regression: a stopped guard never answered, and the run went on with
// nothing to switch the heater off should the program hang next.
TEST_F(HeaterGuard, HeadlessRunStopsWhenItsGuardIsStopped) {
    const pid_t run = startHeadlessRun();
    ASSERT_TRUE(waitForByte(234, 0, 5s)) << slurp(dir / "err");
    const pid_t guard = guardOf(run);
    ASSERT_GT(guard, 0);
    const std::size_t seen = writes().size();
    const auto stopped = Clock::now();
    kill(guard, SIGSTOP);
    // The first beat left unanswered goes within a heartbeat period.
    expectTheRunToStop(run, seen, guard::kAckTimeout + guard::kHeartbeatPeriod + 1s);
    EXPECT_GE(Clock::now() - stopped, guard::kAckTimeout);
    EXPECT_NE(kill(guard, 0), 0) << "the silent guard was left holding the heater";
    if (kill(guard, 0) == 0)
        kill(guard, SIGKILL);
}

// Regression: a guard stopped while the program beat on took the backlog it
// read on being continued as fresh beats: with the program hung meanwhile,
// the heater stayed on for another 10 s.
TEST_F(HeaterGuard, AStoppedGuardDoesNotTakeItsBacklogForFreshBeats) {
    const pid_t run = startHeadlessRun();
    ASSERT_TRUE(waitForByte(234, 0, 5s)) << slurp(dir / "err");
    const pid_t guard = guardOf(run);
    ASSERT_GT(guard, 0);
    kill(guard, SIGSTOP);
    // The run beats on unanswered (short of the acknowledgement's limit),
    // then hangs with the heater on.
    std::this_thread::sleep_for(1500ms);
    kill(run, SIGSTOP);
    const auto hung = Clock::now();
    std::this_thread::sleep_for(guard::kHangTimeout + 500ms - 1500ms);
    const std::size_t seen = writes().size();
    kill(guard, SIGCONT);
    const auto off = waitForByte(0, seen, 3s);
    EXPECT_TRUE(off) << "the heater stayed on";
    EXPECT_LT(off.value_or(Clock::duration::max()), 1s) << "the backlog was taken for fresh beats";
    EXPECT_GE(Clock::now() - hung, guard::kHangTimeout - 1500ms);
    // Continued, the program finds its guard answering and heats on.
    const std::size_t afterOff = writes().size();
    kill(run, SIGCONT);
    EXPECT_TRUE(waitForByte(234, afterOff, 3s)) << "the run did not go on";
    EXPECT_EQ(slurp(dir / "err").find(kGuardLostText), std::string::npos) << slurp(dir / "err");
    killAndSeeTheHeaterOff(run);
}

// Regression: the guard shared the program's session, so a kill of the
// whole session (a logout's, a hang-up's) took both, heater on.
TEST_F(HeaterGuard, AKillOfTheProgramsWholeSessionLeavesItsGuardToSwitchOff) {
    const pid_t run = startHeadlessRunInItsOwnSession();
    ASSERT_TRUE(waitForByte(234, 0, 5s)) << slurp(dir / "err");
    const pid_t guard = guardOf(run);
    ASSERT_GT(guard, 0);
    EXPECT_EQ(getsid(run), run);
    EXPECT_EQ(getsid(guard), guard) << "the guard is not the leader of a session of its own";
    const std::size_t seen = writes().size();
    for (pid_t p : sessionMembers(getsid(run)))
        kill(p, SIGKILL);
    const auto off = waitForByte(0, seen, 3s);
    EXPECT_TRUE(off) << "the heater stayed on";
    EXPECT_LT(off.value_or(Clock::duration::max()), 1s);
    waitExit(run);
}

// The window's end of the guard: its readings keep the guard quiet while
// it runs; stopped, the guard takes the heater off and the window, going on,
// says so, and reads the plant on while the box waits for a click; the guard
// killed, the run stops with the heater off and the window says why. (What
// the session makes of the guard's news is session_test's; a program killed
// outright, the headless run's above.)
// Regression: the box was opened inside the tick, where Qt fires no tick:
// after the pause the window wrote 234 once, then read nothing for as long as
// the box stood, while its own heartbeat kept the guard content.
TEST_F(HeaterGuard, WindowHearsItsGuardSwitchOffAndGo) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t window = startWindow(pipeFds[1], 4s);
    close(pipeFds[1]);
    std::string said;
    ASSERT_TRUE(waitForByte(234, 0, 6s)) << said;
    stopAndContinue(window);
    EXPECT_TRUE(heard(pipeFds[0], said, kGuardSwitchedOffText, 3s)) << said;
    const std::size_t boxOpen = writes().size();
    std::this_thread::sleep_for(3s);
    EXPECT_GE(writes().size() - boxOpen, 2u) << "no tick while the box waited for a click";

    const pid_t guard = guardOf(window);
    ASSERT_GT(guard, 0);
    const std::size_t seen = writes().size();
    kill(guard, SIGKILL);
    EXPECT_TRUE(waitForByte(0, seen, 1s));
    EXPECT_TRUE(heard(pipeFds[0], said, kGuardLostText, 2s)) << said;
    // The timer has stopped: nothing heats again.
    const std::size_t afterOff = writes().size();
    std::this_thread::sleep_for(1500ms);
    const auto w = writes();
    EXPECT_EQ(std::count(w.begin() + static_cast<long>(afterOff), w.end(), 234), 0);
    kill(window, SIGKILL);
    waitExit(window);
    close(pipeFds[0]);
}

// Regression: an archive that could no longer be written opened its error
// report inside the tick; no tick came while it waited, and the heater stayed
// at 234 with nobody reading the plant (51 s until three clicks let the
// third failure stop the run).
TEST_F(HeaterGuard, WindowReadsThePlantWhileAnErrorReportWaitsForAClick) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t window = startWindow(pipeFds[1], 30s);
    close(pipeFds[1]);
    std::string said;
    ASSERT_TRUE(waitForByte(234, 0, 6s)) << said;
    const std::size_t seen = writes().size();
    fs::remove(dir / "window.txt"); // the archive can no longer be written
    fs::create_directory(dir / "window.txt");
    // Three failed ticks, a second apart, stop the run with the heater off
    // while the first report still waits.
    const auto off = waitForByte(0, seen, 6s);
    EXPECT_TRUE(off) << "the heater stayed on behind the box";
    EXPECT_TRUE(heard(pipeFds[0], said, "архив не записывается", 2s)) << said;
    kill(window, SIGKILL);
    waitExit(window);
    close(pipeFds[0]);
}

// Regression: a timer of its own beat to the guard whatever the window did,
// so a window whose ticks had stopped kept the guard content with the heater
// on. Only a reading of the plant is a sign of life now.
TEST_F(HeaterGuard, AWindowThatNoLongerReadsThePlantIsTakenForHung) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t window = startWindow(pipeFds[1], 0ms, 2s);
    close(pipeFds[1]);
    std::string said;
    ASSERT_TRUE(waitForByte(234, 0, 6s)) << said;
    const std::size_t seen = writes().size();
    const auto off = waitForByte(0, seen, guard::kHangTimeout + 4s);
    EXPECT_TRUE(off) << "the guard was kept content by a window that read nothing";
    EXPECT_TRUE(heard(pipeFds[0], said, kGuardSwitchedOffText, 2s)) << said;
    kill(window, SIGKILL);
    waitExit(window);
    close(pipeFds[0]);
}

// The window hears of a stopped guard through its heartbeat: the beat that
// finds the last one unanswered for kAckTimeout gives the guard up.
TEST_F(HeaterGuard, WindowStopsTheRunWhenItsGuardIsStopped) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t window = startWindow(pipeFds[1]);
    close(pipeFds[1]);
    std::string said;
    ASSERT_TRUE(waitForByte(234, 0, 6s)) << said;
    const pid_t guard = guardOf(window);
    ASSERT_GT(guard, 0);
    const std::size_t seen = writes().size();
    kill(guard, SIGSTOP);
    EXPECT_TRUE(heard(pipeFds[0], said, kGuardLostText,
                      guard::kAckTimeout + 2 * guard::kHeartbeatPeriod + 1s))
        << said;
    EXPECT_TRUE(waitForByte(0, seen, 1s)) << "the program left the heater on";
    kill(window, SIGKILL);
    waitExit(window);
    if (kill(guard, 0) == 0)
        kill(guard, SIGKILL);
    close(pipeFds[0]);
}

// A guard that has fallen behind (here: stopped while the beats pile up)
// must still hear the goodbye, or it takes the orderly end for a death.
TEST(HeaterGuardLink, GoodbyeBehindABacklogOfBeatsIsNotTakenForADeath) {
    const TempDir dir("thermo-bye");
    const fs::path file = dir.path() / "lpt";
    std::string why;
    int err = 0;
    auto device = openSimRegisters(file.string(), &why, &err);
    ASSERT_TRUE(device) << why;
    ASSERT_TRUE(device->write(SimRegisterFile::kBase, 234));
    auto link =
        HeaterGuardLink::start(binDir() + "/thermostand-guard", {*device->guardRegister()}, &why);
    ASSERT_TRUE(link) << why;
    const pid_t guard = guardOf(getpid());
    ASSERT_GT(guard, 0);
    kill(guard, SIGSTOP);
    // Beats until the tie takes no more (a full buffer loses a beat quietly).
    char text[guard::kBeatChars];
    const std::string beat =
        std::string(text, guard::formatBeat(text, guard::monotonicNow(), 234)) + "\n";
    while (send(link->descriptor(), beat.data(), beat.size(), MSG_DONTWAIT | MSG_NOSIGNAL) > 0) {
    }
    ASSERT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK) << strerror(errno);
    std::thread wake([guard] {
        std::this_thread::sleep_for(100ms);
        kill(guard, SIGCONT);
    });
    link->bye();
    wake.join();
    std::uint8_t value = 0;
    EXPECT_TRUE(device->read(SimRegisterFile::kBase, value));
    EXPECT_EQ(value, 234) << "the guard wrote 0 after a goodbye";
}

} // namespace
