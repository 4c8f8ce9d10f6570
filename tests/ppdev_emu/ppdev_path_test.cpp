// The heater's parallel port as a lab PC reaches it, /dev/parport0 through
// ppdev, without one: the real programs (thermostand-cli run and probe, the
// heater guard they start) meet the emulated port of ppdev_emu.c, preloaded,
// which logs every call they make on it; the simulated stand answers as the
// sensor. The log is the witness of who wrote what, in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <linux/ppdev.h>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "io/register_device.h"
#include "tests/sim_stand.h"

namespace fs = std::filesystem;
using thermo::testing::binDir;
using thermo::testing::SimulatedStand;
using thermo::testing::slurp;
using thermo::testing::TempDir;

namespace {

constexpr const char* kEmuVar = "THERMO_PPDEV_EMU";

// One line of the emulator's log.
struct Call {
    pid_t pid = 0;
    std::string port, call, value, result;
};

std::vector<Call> readCalls(const fs::path& log) {
    std::vector<Call> calls;
    std::istringstream in(slurp(log));
    for (std::string line; std::getline(in, line);) {
        Call c;
        std::istringstream f(line);
        f >> c.pid >> c.port >> c.call >> c.value >> c.result;
        calls.push_back(c);
    }
    return calls;
}

std::string show(const std::vector<Call>& calls) {
    std::string s;
    for (const Call& c : calls)
        s += std::to_string(c.pid) + ' ' + c.port + ' ' + c.call + ' ' + c.value + ' ' + c.result +
             '\n';
    return s;
}

// A port with its device and the registers a printer port holds when idle:
// data 0, status 0x78, control 0x0C; its proc entry (what LPT=auto reads)
// with `baseAddr` when given.
void addPort(const fs::path& emu, int n, std::optional<int> baseAddr = std::nullopt) {
    const std::string name = "parport" + std::to_string(n);
    fs::create_directories(emu / "dev");
    std::ofstream(emu / "dev" / name, std::ios::binary) << std::string("\x00\x78\x0C", 3);
    if (baseAddr) {
        const fs::path proc = emu / "proc/sys/dev/parport" / name;
        fs::create_directories(proc);
        std::ofstream(proc / "base-addr") << *baseAddr << "\t0\n";
    }
}

// Starts args[0] with the emulator preloaded on `emu`, its standard output in
// `out` and its standard error in `err`, or in `out` as well when no `err` is
// given.
pid_t spawnOnEmulator(const std::vector<std::string>& args, const fs::path& emu,
                      const fs::path& out, const fs::path& err = {}) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        if (!v.starts_with("LD_PRELOAD=") && !v.starts_with(std::string(kEmuVar) + "="))
            env.push_back(v);
    }
    env.push_back(std::string("LD_PRELOAD=") + THERMO_PPDEV_EMU_PRELOAD);
    env.push_back(std::string(kEmuVar) + "=" + emu.string());
    std::vector<char*> envp, argv;
    for (auto& v : env)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err.empty())
        posix_spawn_file_actions_adddup2(&fa, 1, 2);
    else
        posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), envp.data()), 0) << args[0];
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

bool eventually(const std::function<bool()>& done,
                std::chrono::seconds limit = std::chrono::seconds(15)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The exit status as waitExit gives it; a program still running after
// `limit` (a claim waiting for ever) is killed and counts as a failure.
int finish(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "still running after " << limit.count() << " s";
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool isDataCall(const Call& c) {
    return c.call == "PPWDATA" || c.call == "PPRDATA";
}

struct PpdevPath : ::testing::Test {
    TempDir temp{"thermo-ppdev"};
    fs::path dir = temp.path(), emu;
    std::optional<SimulatedStand> sim;

    void SetUp() override {
        emu = dir / "emu";
        addPort(emu, 0);
        settings("/dev/parport0");
        sim.emplace(dir / "adapter", dir / "lpt", dir / "sim.log", dir / "sim.out");
        ASSERT_TRUE(sim->ready()) << slurp(dir / "sim.out");
    }
    void TearDown() override { sim.reset(); }

    void settings(const std::string& lpt) {
        std::ofstream(dir / "s.ini")
            << "[devices]\nCOM1=" << (dir / "adapter").string() << "\nLPT=" << lpt << "\n";
    }
    // thermostand-cli with `args` after the command; output in NAME.out and
    // NAME.err.
    pid_t cli(const std::string& name, std::vector<std::string> args) {
        args.insert(args.begin(), {binDir() + "/thermostand-cli"});
        args.insert(args.begin() + 2, {"--settings", (dir / "s.ini").string()});
        return spawnOnEmulator(args, emu, dir / (name + ".out"), dir / (name + ".err"));
    }
    pid_t heatingRun(const std::string& name, int ticks) {
        return cli(name, {"run", "--port", "COM1", "--no-alarm-sound", "--heat", "--interval",
                          "200", "--ticks", std::to_string(ticks), "--archive",
                          (dir / (name + ".txt")).string()});
    }
    std::vector<Call> calls() const { return readCalls(emu / "ioctl.log"); }
    std::size_t count(pid_t pid, const std::string& call, const std::string& value) const {
        std::size_t n = 0;
        for (const Call& c : calls())
            n += c.pid == pid && c.call == call && c.value == value;
        return n;
    }
    int dataRegister() const {
        const std::string regs = slurp(emu / "dev/parport0");
        return regs.empty() ? -1 : static_cast<unsigned char>(regs[0]);
    }
};

// The emulator itself, in this process with itself preloaded: the kernel's
// rules the conclusions below rest on. Run again as a child, since a preload
// takes effect only from a process's start.
void checkKernelRules(const fs::path& emu) {
    unsigned char v = 0x5A;
    const int a = ::open("/dev/parport0", O_RDWR | O_CLOEXEC);
    ASSERT_GE(a, 0) << std::strerror(errno);
    errno = 0;
    EXPECT_EQ(ioctl(a, PPWDATA, &v), -1)
        << "the preload is not in effect: " << std::strerror(errno);
    EXPECT_EQ(errno, EINVAL) << "a data call before the claim";
    ASSERT_EQ(ioctl(a, PPEXCL), 0);
    ASSERT_EQ(ioctl(a, PPCLAIM), 0);
    EXPECT_EQ(ioctl(a, PPCLAIM), -1);
    EXPECT_EQ(errno, EINVAL) << "a second claim on the same open file";
    EXPECT_EQ(ioctl(a, PPWDATA, &v), 0);

    const int b = ::open("/dev/parport0", O_RDWR | O_CLOEXEC);
    ASSERT_GE(b, 0);
    EXPECT_EQ(ioctl(b, PPCLAIM), -1);
    EXPECT_EQ(errno, ENXIO) << "registration beside an exclusive one";
    ::close(b);

    // A child shares the open file and its claim, as the heater guard does.
    const pid_t child = fork();
    if (child == 0) {
        unsigned char zero = 0;
        _exit(ioctl(a, PPWDATA, &zero) == 0 ? 0 : 1);
    }
    EXPECT_EQ(finish(child), 0);
    unsigned char r = 0xFF;
    EXPECT_EQ(ioctl(a, PPRDATA, &r), 0);
    EXPECT_EQ(r, 0) << "the child's write";
    EXPECT_EQ(ioctl(a, PPRELEASE), 0);
    EXPECT_EQ(ioctl(a, PPRDATA, &r), -1);
    EXPECT_EQ(errno, EINVAL) << "a data call after the release";
    ASSERT_EQ(ioctl(a, PPCLAIM), 0);

    // Removed under a claim: the dead operations accept everything, reach
    // nothing; the node is gone for new opens.
    fs::remove(emu / "dev/parport0");
    v = 0x77;
    EXPECT_EQ(ioctl(a, PPWDATA, &v), 0);
    r = 0xFF;
    EXPECT_EQ(ioctl(a, PPRDATA, &r), 0);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(::open("/dev/parport0", O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);
    ::close(a);

    // A device node without a port (a static /dev, the module's port gone).
    std::ofstream(emu / "dev/parport1").flush();
    const int c = ::open("/dev/parport1", O_RDWR | O_CLOEXEC);
    ASSERT_GE(c, 0);
    EXPECT_EQ(ioctl(c, PPCLAIM), -1);
    EXPECT_EQ(errno, ENXIO);
    ::close(c);

    const std::vector<Call> log = readCalls(emu / "ioctl.log");
    std::size_t childWrites = 0;
    for (const Call& l : log)
        childWrites +=
            l.pid == child && l.call == "PPWDATA" && l.value == "0x00" && l.result == "ok";
    EXPECT_EQ(childWrites, 1u) << show(log);
}

TEST(PpdevEmulator, KeepsTheKernelsRules) {
    if (const char* emu = std::getenv(kEmuVar)) {
        checkKernelRules(emu);
        return;
    }
    const TempDir temp("thermo-ppdev-rules");
    const fs::path& dir = temp.path();
    addPort(dir / "emu", 0);
    const pid_t self = spawnOnEmulator({fs::read_symlink("/proc/self/exe").string(),
                                        "--gtest_filter=PpdevEmulator.KeepsTheKernelsRules"},
                                       dir / "emu", dir / "out");
    EXPECT_EQ(finish(self), 0) << slurp(dir / "out");
}

TEST_F(PpdevPath, TheRunWritesThroughItsClaimAndItsGuardWritesZeroWhenItIsKilled) {
    const pid_t run = heatingRun("run", 300);
    ASSERT_TRUE(eventually([&] { return count(run, "PPWDATA", "0xea") >= 3; }))
        << show(calls()) << slurp(dir / "run.err");
    const std::vector<Call> before = calls();
    kill(run, SIGKILL);
    EXPECT_EQ(finish(run), 128 + SIGKILL);

    // The guard is the other process on the port: it proved its inherited
    // descriptor claimed by reading before anything was written.
    pid_t guard = 0;
    for (const Call& c : before)
        if (c.pid != run && !guard)
            guard = c.pid;
    ASSERT_NE(guard, 0) << show(before);
    ASSERT_TRUE(eventually([&] { return count(guard, "PPWDATA", "0x00") == 1; })) << show(calls());

    const std::vector<Call> log = calls();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0].pid, run);
    EXPECT_EQ(log[0].call + ' ' + log[0].result, "open ok");
    EXPECT_EQ(log[1].call + ' ' + log[1].result, "PPCLAIM ok") << show(log);
    bool guardRead = false, claimed = false;
    std::size_t failed = 0, unclaimed = 0, unguarded = 0;
    for (const Call& c : log) {
        claimed = claimed || (c.pid == run && c.call == "PPCLAIM" && c.result == "ok");
        guardRead = guardRead || (c.pid == guard && c.call == "PPRDATA" && c.result == "ok");
        if (isDataCall(c)) {
            failed += c.result != "ok";
            unclaimed += !claimed;
        }
        unguarded += c.pid == run && c.call == "PPWDATA" && !guardRead;
    }
    EXPECT_EQ(failed, 0u) << show(log);
    EXPECT_EQ(unclaimed, 0u) << "data calls before the claim\n" << show(log);
    EXPECT_EQ(unguarded, 0u) << "writes before the guard held the port\n" << show(log);
    // The guard's 0 is the last word, through the program's claim (no
    // claim of its own), and stands.
    const auto last =
        std::find_if(log.rbegin(), log.rend(), [](const Call& c) { return c.call == "PPWDATA"; });
    EXPECT_EQ(last->pid, guard) << show(log);
    EXPECT_EQ(last->value, "0x00");
    EXPECT_EQ(count(guard, "PPCLAIM", "-"), 0u);
    EXPECT_EQ(dataRegister(), 0);
}

TEST_F(PpdevPath, TheProbeMakesItsPatternsUnderTheGuardAndLeavesZero) {
    // Explicitly named, and found by LPT=auto as a lab PC finds it: the proc
    // tree places parport0 at 0x378 (888); no other port is detected and
    // direct port I/O is refused.
    for (const std::string lpt : {"/dev/parport0", "auto"}) {
        SCOPED_TRACE("LPT=" + lpt);
        fs::remove(emu / "ioctl.log");
        if (lpt == "auto")
            addPort(emu, 0, 888);
        settings(lpt);
        const pid_t probe = cli("probe", {"probe", "--port", "COM1", "--count", "0"});
        EXPECT_EQ(finish(probe), 0) << slurp(dir / "probe.out") << slurp(dir / "probe.err");
        const std::string out = slurp(dir / "probe.out");
        EXPECT_NE(out.find("parallel port (LPT=" + lpt +
                           "): heater on $378\n"
                           "  $3BC: absent\n"
                           "  $378: present via ppdev /dev/parport0\n"
                           "  $278: absent\n"),
                  std::string::npos)
            << out;

        // ProbePort on 0x378, once for the ports' presence and once for the
        // heater's selection: the register read, 0, 0x55 and 0xAA each
        // written and read back, what was read put back.
        const std::vector<std::string> pattern{"PPRDATA 0x00", "PPWDATA 0x00", "PPRDATA 0x00",
                                               "PPWDATA 0x55", "PPRDATA 0x55", "PPWDATA 0xaa",
                                               "PPRDATA 0xaa", "PPWDATA 0x00"};
        std::vector<std::string> expected = pattern;
        expected.insert(expected.end(), pattern.begin(), pattern.end());
        std::vector<std::string> made;
        bool guardFirst = false;
        const std::vector<Call> log = calls();
        for (const Call& c : log) {
            if (c.pid == probe && isDataCall(c))
                made.push_back(c.call + ' ' + c.value);
            if (c.pid != probe && c.call == "PPRDATA" && made.empty())
                guardFirst = true;
        }
        EXPECT_EQ(made, expected) << show(log);
        EXPECT_TRUE(guardFirst) << "a pattern went out before the guard held the port\n"
                                << show(log);
        EXPECT_EQ(dataRegister(), 0);
        std::size_t refused = 0;
        for (const Call& c : log)
            refused += c.call.starts_with("ioperm:") && c.result == "EPERM";
        // Only a process that may use port I/O (root) tries it, for 0x3BC and 0x278.
        EXPECT_EQ(refused, lpt == "auto" && thermo::hasPortIoCapability() ? 2u : 0u) << show(log);
    }
}

TEST_F(PpdevPath, ASecondProgramIsRefusedThePortAndWritesNothing) {
    const pid_t first = heatingRun("first", 300);
    ASSERT_TRUE(eventually([&] { return count(first, "PPWDATA", "0xea") >= 1; }))
        << show(calls()) << slurp(dir / "first.err");

    const pid_t second = heatingRun("second", 3);
    EXPECT_EQ(finish(second), 1);
    const std::string err = slurp(dir / "second.err");
    EXPECT_NE(err.find("Ошибка при создании объекта Lpt,  драйвер ERROR,  код = 16"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("/dev/parport0"), std::string::npos) << err;
    EXPECT_NE(err.find("порт занят: возможно, программа уже запущена"), std::string::npos) << err;
    std::vector<std::string> secondCalls;
    for (const Call& c : calls())
        if (c.pid == second)
            secondCalls.push_back(c.call + ' ' + c.result);
    EXPECT_EQ(secondCalls, (std::vector<std::string>{"open ok", "close ok"}))
        << "refused by the lock before any claim or write\n"
        << show(calls());

    // The first run was not disturbed, and ends in order.
    const std::size_t written = count(first, "PPWDATA", "0xea");
    ASSERT_TRUE(eventually([&] { return count(first, "PPWDATA", "0xea") > written; }));
    kill(first, SIGTERM);
    EXPECT_EQ(finish(first), 3);
    EXPECT_EQ(dataRegister(), 0);
    std::vector<std::string> ending;
    for (const Call& c : calls())
        if (c.pid == first)
            ending.push_back(c.call + ' ' + c.value);
    ASSERT_GE(ending.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(ending.end() - 3, ending.end()),
              (std::vector<std::string>{"PPWDATA 0x00", "PPRELEASE -", "close -"}))
        << show(calls());
}

TEST_F(PpdevPath, APortThatVanishesDuringARunStopsIt) {
    const pid_t run = heatingRun("run", 15);
    ASSERT_TRUE(eventually([&] { return count(run, "PPWDATA", "0xea") >= 2; }))
        << show(calls()) << slurp(dir / "run.err");
    // Unplugged: the kernel deletes the device node.
    fs::remove(emu / "dev/parport0");
    const int status = finish(run);

    // From the removal on, the kernel accepts each write and it reaches
    // nothing; the run must not go on as if it drove the heater.
    const std::vector<Call> log = calls();
    const auto gone =
        std::find_if(log.begin(), log.end(), [](const Call& c) { return c.result == "gone"; });
    ASSERT_NE(gone, log.end()) << show(log);
    std::size_t unheard = 0;
    for (auto c = gone; c != log.end(); ++c)
        unheard += c->call == "PPWDATA" && c->value == "0xea";
    EXPECT_LE(unheard, 1u) << "full heat went on to a port that was gone\n" << show(log);
    EXPECT_EQ(status, 3);
    EXPECT_NE(slurp(dir / "run.err").find("параллельный порт нагревателя пропал"),
              std::string::npos)
        << slurp(dir / "run.err");
}

} // namespace
