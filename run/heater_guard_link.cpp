#include "run/heater_guard_link.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
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

std::unique_ptr<HeaterGuardLink> HeaterGuardLink::start(const std::string& exe,
                                                        const std::vector<GuardRegister>& registers,
                                                        std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return nullptr;
    };
    int tie[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, tie) != 0)
        return fail(std::string("heater guard: socketpair: ") + std::strerror(errno));

    // The guard's descriptors in its order: the tie, then the registers that
    // are reached through one. Every other descriptor of ours stays behind.
    std::vector<int> handed{tie[1]};
    std::vector<std::string> args{exe};
    for (const GuardRegister& r : registers) {
        switch (r.kind) {
        case GuardRegister::Kind::Ppdev:
        case GuardRegister::Kind::Sim:
            args.push_back(r.kind == GuardRegister::Kind::Ppdev ? "--ppdev" : "--sim");
            args.push_back(std::to_string(guard::kTieFd + static_cast<int>(handed.size())));
            handed.push_back(r.fd);
            break;
        case GuardRegister::Kind::PortIo:
            args.push_back("--port-io");
            args.push_back(std::to_string(r.base));
            break;
        }
    }
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
    // A process group of its own: Ctrl-C or Ctrl-Z at the terminal, or a
    // signal to the program's job, is meant for the program, not its guard.
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    bool copied = true;
    for (int c : copies)
        copied = copied && c >= 0;
    pid_t pid = -1;
    const int spawned =
        copied ? posix_spawn(&pid, exe.c_str(), &fa, &attr, argv.data(), environ) : errno;
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    for (int c : copies)
        if (c >= 0)
            ::close(c);
    ::close(tie[1]);
    if (spawned != 0) {
        ::close(tie[0]);
        return fail("heater guard " + exe + ": " + std::strerror(spawned));
    }

    std::unique_ptr<HeaterGuardLink> link(new HeaterGuardLink(tie[0], pid));
    const auto until = guard::Clock::now() + guard::kStartTimeout;
    std::string why;
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
            if (line->starts_with("fail "))
                why = "heater guard: " + line->substr(5);
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
    ::kill(pid, SIGKILL); // whatever it is doing, it is not guarding
    return fail(why);     // the destructor reaps it
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
