#include "guard/heater_guard.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <utility>

namespace thermo::guard {

GuardWatch::Action GuardWatch::onLine(std::string_view line, Clock::time_point now) {
    if (line == "bye") {
        bye_ = true;
        return Action::End;
    }
    if (line == "beat") {
        lastBeat_ = now;
        return Action::None;
    }
    if (line.starts_with("beat ")) {
        const std::string_view n = line.substr(5);
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), value);
        if (ec != std::errc() || end != n.data() + n.size() || value > 255)
            return Action::None; // not a heartbeat of ours: it proves nothing
        lastBeat_ = now;
        heaterOn_ = value != 0;
    }
    return Action::None;
}

GuardWatch::Action GuardWatch::onTieClosed() const {
    return bye_ ? Action::End : Action::SwitchOffAndEnd;
}

GuardWatch::Action GuardWatch::onTime(Clock::time_point now) {
    if (!heaterOn_ || now - lastBeat_ < kHangTimeout)
        return Action::None;
    heaterOn_ = false; // once: the program's next heater write tells us more
    return Action::SwitchOff;
}

std::optional<Clock::time_point> GuardWatch::deadline() const {
    if (!heaterOn_)
        return std::nullopt;
    return lastBeat_ + kHangTimeout;
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
    GuardWatch watch(Clock::now());
    LineReader lines;
    for (;;) {
        int timeoutMs = -1;
        if (const auto due = watch.deadline()) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now()).count();
            timeoutMs = static_cast<int>(std::max<decltype(left)>(left, 0));
        }
        pollfd p{tie, POLLIN, 0};
        const int ready = ::poll(&p, 1, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        const Clock::time_point now = Clock::now();
        GuardWatch::Action action = GuardWatch::Action::None;
        if (ready > 0) {
            char buf[512];
            const ssize_t n = ::recv(tie, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) {
                lines.feed(buf, static_cast<std::size_t>(n));
                std::optional<std::string> line;
                while (action == GuardWatch::Action::None && (line = lines.next()))
                    action = watch.onLine(*line, now);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                action = watch.onTieClosed();
            }
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
                    std::chrono::duration_cast<std::chrono::seconds>(kHangTimeout).count()));
            (void)sendLine(tie, "off");
            break;
        }
    }
}

} // namespace thermo::guard
