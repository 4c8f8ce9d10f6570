#include "guard/heater_guard.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/socket.h>
#include <utility>

namespace thermo::guard {

MonoTime monotonicNow() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return MonoTime(std::int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
}

std::size_t formatBeat(char* out, MonoTime at, int byte) {
    char* const end = out + kBeatChars;
    char* p = out;
    for (char c : std::string_view("beat "))
        *p++ = c;
    p = std::to_chars(p, end, at.count()).ptr;
    if (byte >= 0) {
        *p++ = ' ';
        p = std::to_chars(p, end, byte).ptr;
    }
    return static_cast<std::size_t>(p - out);
}

namespace {

// A decimal number of the protocol, all of `text`.
template <typename T> std::optional<T> number(std::string_view text) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

} // namespace

GuardWatch::Action GuardWatch::onLine(std::string_view line, MonoTime now) {
    if (line == "bye") {
        bye_ = true;
        return Action::End;
    }
    if (line.starts_with("limit ")) {
        if (const auto ms = number<std::int64_t>(line.substr(6)))
            hangLimit_ = std::clamp(MonoTime(*ms), kHangTimeout, kLongestHangLimit);
        return Action::None;
    }
    if (!line.starts_with("beat "))
        return Action::None;
    const std::string_view rest = line.substr(5);
    const std::size_t space = rest.find(' ');
    const auto stamp = number<std::int64_t>(rest.substr(0, space));
    std::optional<unsigned> byte;
    if (space != std::string_view::npos) {
        byte = number<unsigned>(rest.substr(space + 1));
        if (!byte || *byte > 255)
            return Action::None; // not a heartbeat of ours: it proves nothing
    }
    if (!stamp || *stamp < 0)
        return Action::None;
    ack_ = MonoTime(*stamp);
    // A stamp ahead of our own clock cannot be (one clock, one machine):
    // it counts as now, never later.
    lastBeat_ = std::max(lastBeat_, std::min(MonoTime(*stamp), now));
    // A beat sent before this guard wrote 0 says nothing about the register
    // since; the program's next beat does.
    if (!offAt_ || MonoTime(*stamp) > *offAt_)
        heaterOn_ = !byte || *byte != 0;
    return Action::None;
}

GuardWatch::Action GuardWatch::onTieClosed() const {
    return bye_ ? Action::End : Action::SwitchOffAndEnd;
}

GuardWatch::Action GuardWatch::onTime(MonoTime now) {
    if (!heaterOn_ || now - lastBeat_ < hangLimit_)
        return Action::None;
    heaterOn_ = false; // once: the program's next heater write tells us more
    offAt_ = now;
    return Action::SwitchOff;
}

std::optional<MonoTime> GuardWatch::deadline() const {
    if (!heaterOn_)
        return std::nullopt;
    return lastBeat_ + hangLimit_;
}

void LineReader::feed(const char* data, std::size_t size) {
    buffer_.append(data, size);
}

std::optional<std::string> LineReader::next() {
    for (;;) {
        const std::size_t nl = buffer_.find('\n');
        if (nl == std::string::npos) {
            if (buffer_.size() > kMaxLine) {
                buffer_.clear();
                skipping_ = true; // the rest of this line goes too
            }
            return std::nullopt;
        }
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        if (std::exchange(skipping_, false) || line.size() > kMaxLine)
            continue;
        return line;
    }
}

bool sendLine(int fd, std::string_view line, std::chrono::milliseconds patience) {
    char text[kMaxLine + 1];
    const std::size_t size = std::min(line.size(), kMaxLine);
    std::memcpy(text, line.data(), size);
    text[size] = '\n';
    const Clock::time_point until = Clock::now() + patience;
    for (;;) {
        const ssize_t n = ::send(fd, text, size + 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0)
            return true; // a line this short goes whole or not at all
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        // A full buffer means a peer that does not read (stopped, or busy),
        // not a dead one.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        pollfd p{fd, POLLOUT, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) == 0)
            return true; // that line is lost; the next may go
    }
}

int runGuard(int tie, const std::function<void()>& switchOff) {
    if (!sendLine(tie, "ready"))
        return 1;
    GuardWatch watch(monotonicNow());
    LineReader lines;
    for (;;) {
        int timeoutMs = -1;
        if (const auto due = watch.deadline())
            timeoutMs = static_cast<int>(std::max<MonoTime>(*due - monotonicNow(), {}).count());
        pollfd p{tie, POLLIN, 0};
        const int ready = ::poll(&p, 1, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        const MonoTime now = monotonicNow();
        GuardWatch::Action action = GuardWatch::Action::None;
        // Everything waiting is read before the clock is consulted: behind a
        // stale backlog (this guard was stopped) may sit the program's fresh
        // beats. A socket holds a few hundred lines at most; the bound keeps
        // a program that beats without pause from holding off the answer.
        for (int chunk = 0; ready > 0 && action == GuardWatch::Action::None && chunk < 64;
             ++chunk) {
            char buf[512];
            const ssize_t n = ::recv(tie, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) {
                lines.feed(buf, static_cast<std::size_t>(n));
                std::optional<std::string> line;
                while (action == GuardWatch::Action::None && (line = lines.next()))
                    action = watch.onLine(*line, now);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                action = watch.onTieClosed();
            } else {
                break;
            }
        }
        if (const auto stamp = watch.takeAck()) {
            char text[kBeatChars] = "ack ";
            const char* end = std::to_chars(text + 4, text + sizeof text, stamp->count()).ptr;
            // Lost when the program does not read: it is then busy or stopped
            // itself, and the next beat's answer says the same.
            (void)sendLine(tie, std::string_view(text, static_cast<std::size_t>(end - text)));
        }
        if (action == GuardWatch::Action::None)
            action = watch.onTime(now);
        switch (action) {
        case GuardWatch::Action::None:
            break;
        case GuardWatch::Action::End:
            return 0;
        case GuardWatch::Action::SwitchOffAndEnd:
            switchOff();
            std::fputs("thermostand-guard: the program ended without saying goodbye; "
                       "heater switched off\n",
                       stderr);
            return 0;
        case GuardWatch::Action::SwitchOff:
            switchOff();
            std::fprintf(
                stderr,
                "thermostand-guard: no heartbeat from the program for %lld s; "
                "heater switched off\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::seconds>(watch.hangLimit()).count()));
            (void)sendLine(tie, "off");
            break;
        }
    }
}

} // namespace thermo::guard
