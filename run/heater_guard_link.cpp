#include "run/heater_guard_link.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace thermo {

namespace {

using namespace std::chrono_literals;

// Above any descriptor the guard is to find its things at, so that placing
// one cannot overwrite another still to be placed.
constexpr int kHandOverFloor = 64;

// Reads what is waiting on `fd` into `lines`; false when the peer has gone.
bool drain(int fd, guard::LineReader& lines) {
    for (;;) {
        char buf[256];
        const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            lines.feed(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

int millisecondsLeft(guard::Clock::time_point until) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(until - guard::Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

bool userManagerRunning(const char* runtimeDir) {
    if (!runtimeDir || runtimeDir[0] != '/')
        return false;
    struct stat st {};
    const std::string socket = std::string(runtimeDir) + "/systemd/private";
    return ::stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

std::string userScopeRunner() {
    // Debian's systemd-run; without it, or without a manager to ask, the
    // guard starts directly.
    const std::string systemdRun = "/usr/bin/systemd-run";
    if (!userManagerRunning(std::getenv("XDG_RUNTIME_DIR")) ||
        ::access(systemdRun.c_str(), X_OK) != 0)
        return {};
    return systemdRun;
}

std::vector<std::string> guardCommand(const std::vector<std::string>& argv,
                                      const std::string& systemdRun) {
    if (systemdRun.empty())
        return argv;
    std::vector<std::string> command{systemdRun, "--user", "--scope",
                                     // its own cgroup, named by systemd, gone when the guard is
                                     "--collect", "--quiet",
                                     // nobody is there to answer: a refusal is a failure
                                     "--no-ask-password", "--description=thermostand heater guard",
                                     "--"};
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}

namespace {

// A guard process started, its end of the tie not yet heard.
struct Spawned {
    int tie = -1;
    pid_t pid = -1;
    std::string error;
};

// Starts `command` with a new tie at kTieFd and the descriptors `registers`
// from the next one on, in a session of its own.
Spawned spawnGuard(const std::vector<std::string>& command, const std::vector<int>& registers) {
    Spawned s;
    int tie[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, tie) != 0) {
        s.error = std::string("heater guard: socketpair: ") + std::strerror(errno);
        return s;
    }
    // The guard's descriptors in its order: the tie, then the registers that
    // are reached through one. Every other descriptor of ours stays behind.
    std::vector<int> handed{tie[1]};
    handed.insert(handed.end(), registers.begin(), registers.end());
    std::vector<int> copies;
    for (int fd : handed)
        copies.push_back(::fcntl(fd, F_DUPFD_CLOEXEC, kHandOverFloor));

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    // Nothing to read, nothing to print but its reasons on standard error;
    // holding the program's output open would keep a reader of it waiting.
    posix_spawn_file_actions_addopen(&fa, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    for (std::size_t i = 0; i < copies.size(); ++i)
        posix_spawn_file_actions_adddup2(&fa, copies[i], guard::kTieFd + static_cast<int>(i));
    posix_spawn_file_actions_addclosefrom_np(&fa, guard::kTieFd + static_cast<int>(copies.size()));
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // A session of its own (and so a process group and no terminal): Ctrl-C
    // or Ctrl-Z at the terminal, a signal to the program's job, a hang-up of
    // its terminal or a kill of its whole session is meant for the program,
    // not its guard.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    std::vector<std::string> args = command;
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    bool copied = true;
    for (int c : copies)
        copied = copied && c >= 0;
    const int spawned =
        copied ? posix_spawn(&s.pid, args[0].c_str(), &fa, &attr, argv.data(), environ) : errno;
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    for (int c : copies)
        if (c >= 0)
            ::close(c);
    ::close(tie[1]);
    if (spawned != 0) {
        ::close(tie[0]);
        s.pid = -1;
        s.error = "heater guard " + args[0] + ": " + std::strerror(spawned);
        return s;
    }
    s.tie = tie[0];
    return s;
}

} // namespace

std::unique_ptr<HeaterGuardLink> HeaterGuardLink::start(const std::string& exe,
                                                        const std::vector<GuardRegister>& registers,
                                                        std::string* error,
                                                        const std::string& systemdRun) {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return nullptr;
    };
    std::vector<std::string> argv{exe};
    std::vector<int> fds;
    for (const GuardRegister& r : registers) {
        switch (r.kind) {
        case GuardRegister::Kind::Ppdev:
        case GuardRegister::Kind::Sim:
            argv.push_back(r.kind == GuardRegister::Kind::Ppdev ? "--ppdev" : "--sim");
            argv.push_back(std::to_string(guard::kFirstRegisterFd + static_cast<int>(fds.size())));
            fds.push_back(r.fd);
            break;
        case GuardRegister::Kind::PortIo:
            argv.push_back("--port-io");
            argv.push_back(std::to_string(r.base));
            break;
        }
    }

    // Through the service manager first, when there is one; its refusal (or
    // a systemd-run that cannot reach it) leaves the guard to start as before.
    std::vector<std::string> ways{std::string()};
    if (!systemdRun.empty())
        ways.insert(ways.begin(), systemdRun);
    std::string why;
    for (const std::string& through : ways) {
        const Spawned s = spawnGuard(guardCommand(argv, through), fds);
        if (s.pid < 0) {
            why = s.error;
            continue;
        }
        std::unique_ptr<HeaterGuardLink> link(new HeaterGuardLink(s.tie, s.pid));
        bool refused = false;
        const auto until = guard::Clock::now() + guard::kStartTimeout;
        why.clear();
        for (;;) {
            pollfd p{link->tie_, POLLIN, 0};
            const int r = ::poll(&p, 1, millisecondsLeft(until));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            const bool open = drain(link->tie_, link->lines_);
            while (const auto line = link->lines_.next()) {
                if (*line == "ready")
                    return link;
                if (line->starts_with("fail ")) {
                    why = "heater guard: " + line->substr(5);
                    refused = true;
                }
            }
            if (!open) {
                if (why.empty())
                    why = "heater guard: ended before it was ready";
                break;
            }
        }
        if (why.empty())
            why = "heater guard: did not answer within " +
                  std::to_string(guard::kStartTimeout.count() / 1000) + " s";
        ::kill(link->pid_, SIGKILL); // whatever it is doing, it is not guarding
        link.reset();                // reaps it
        // The guard itself refused (a register out of its reach): it would
        // refuse again. Anything else may be the service manager's doing.
        if (refused)
            break;
    }
    return fail(why);
}

HeaterGuardLink::~HeaterGuardLink() {
    if (tie_ >= 0)
        ::close(tie_);
    reap(200ms);
}

void HeaterGuardLink::reap(std::chrono::milliseconds patience) {
    if (pid_ <= 0)
        return;
    const auto until = guard::Clock::now() + patience;
    for (;;) {
        const pid_t r = ::waitpid(pid_, nullptr, WNOHANG);
        if (r == pid_ || (r < 0 && errno != EINTR)) {
            pid_ = -1;
            return;
        }
        if (guard::Clock::now() >= until)
            return; // still ending: a later call, or the system, reaps it
        std::this_thread::sleep_for(2ms);
    }
}

bool HeaterGuardLink::beat(std::optional<std::uint8_t> byte) {
    if (gone_)
        return false;
    // No allocation: this runs in a fatal-signal handler too.
    const guard::MonoTime now = guard::monotonicNow();
    if (ackOverdue(now)) {
        // Answers waiting unread are poll()'s to judge (this program may
        // have been the one stopped); none at all means a guard that reads
        // nothing.
        pollfd p{tie_, POLLIN, 0};
        if (::poll(&p, 1, 0) == 0) {
            giveUp();
            return false;
        }
    }
    char text[guard::kBeatChars];
    const std::size_t size = guard::formatBeat(text, now, byte ? *byte : -1);
    if (!guard::sendLine(tie_, std::string_view(text, size))) {
        gone_ = true;
        return false;
    }
    if (unanswered_ < sent_.size())
        sent_[(first_ + unanswered_++) % sent_.size()] = now;
    return true;
}

bool HeaterGuardLink::setHangLimit(std::chrono::milliseconds limit) {
    if (gone_)
        return false;
    const std::string line = "limit " + std::to_string(limit.count());
    if (!guard::sendLine(tie_, line, std::chrono::milliseconds(100))) {
        gone_ = true;
        return false;
    }
    return true;
}

void HeaterGuardLink::acknowledged(guard::MonoTime stamp) {
    while (unanswered_ > 0 && sent_[first_] <= stamp) {
        first_ = (first_ + 1) % sent_.size();
        --unanswered_;
    }
}

void HeaterGuardLink::giveUp() {
    if (pid_ > 0)
        ::kill(pid_, SIGKILL);
    gone_ = true;
}

void HeaterGuardLink::bye() {
    if (tie_ < 0)
        return;
    // The goodbye must not be lost behind a backlog of beats: the guard
    // would take it for a death.
    if (!gone_ && guard::sendLine(tie_, "bye", 500ms)) {
        // It ends at once; its end of the tie closing says it has.
        const auto until = guard::Clock::now() + 500ms;
        for (;;) {
            pollfd p{tie_, POLLIN, 0};
            const int r = ::poll(&p, 1, millisecondsLeft(until));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0 || !drain(tie_, lines_))
                break;
        }
    }
    ::close(tie_);
    tie_ = -1;
    gone_ = true;
    reap(200ms);
}

GuardNews HeaterGuardLink::poll(std::chrono::milliseconds timeout) {
    GuardNews news = GuardNews::None;
    if (!gone_) {
        pollfd p{tie_, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(timeout.count()));
        if (r > 0 && !drain(tie_, lines_))
            gone_ = true;
        while (const auto line = lines_.next()) {
            if (*line == "off") {
                news = GuardNews::SwitchedOff;
            } else if (line->starts_with("ack ")) {
                std::int64_t stamp = 0;
                const char* first = line->data() + 4;
                const char* last = line->data() + line->size();
                if (const auto [end, ec] = std::from_chars(first, last, stamp);
                    ec == std::errc() && end == last)
                    acknowledged(guard::MonoTime(stamp));
            }
        }
        // Everything the guard said is read: a beat still unanswered after
        // kAckTimeout was not read at all.
        if (!gone_ && ackOverdue(guard::monotonicNow()))
            giveUp();
    }
    if (gone_) {
        reap(0ms);
        return GuardNews::Gone;
    }
    return news;
}

std::string guardBesideProgram() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    // In a build tree the guard sits beside the programs; installed, it is a
    // helper nobody runs by hand, kept out of the PATH (/usr/libexec).
    const std::filesystem::path beside = self.parent_path() / "thermostand-guard";
    const std::filesystem::path installed =
        self.parent_path().parent_path() / "libexec" / "thermostand" / "thermostand-guard";
    if (!std::filesystem::exists(beside, ec) && std::filesystem::exists(installed, ec))
        return installed.string();
    return beside.string();
}

} // namespace thermo
