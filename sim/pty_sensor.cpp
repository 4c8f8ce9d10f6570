#include "sim/pty_sensor.h"

#include "io/serial_port.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace thermo::sim {

std::unique_ptr<PtySensorServer> PtySensorServer::create(Ds18b20Emulator& emulator,
                                                         std::string* error) {
    auto fail = [&](const char* what) -> std::unique_ptr<PtySensorServer> {
        if (error)
            *error = std::string(what) + ": " + std::strerror(errno);
        return nullptr;
    };
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0)
        return fail("posix_openpt");
    if (grantpt(master) != 0 || unlockpt(master) != 0) {
        ::close(master);
        return fail("unlockpt");
    }
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) {
        ::close(master);
        return fail("ptsname");
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        ::close(master);
        return fail(name);
    }
    // Raw from the start: with the default line discipline the slave would
    // echo our own echoes back to us.
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    tcsetattr(slave, TCSANOW, &t);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    return std::unique_ptr<PtySensorServer>(new PtySensorServer(emulator, master, slave, name));
}

PtySensorServer::~PtySensorServer() {
    ::close(m_slave);
    ::close(m_master);
}

int PtySensorServer::currentBaud() const {
    termios t{};
    if (tcgetattr(m_master, &t) != 0)
        return 0;
    return speedValue(cfgetospeed(&t));
}

void PtySensorServer::service(Clock::time_point now, bool readable) {
    if (readable) {
        std::uint8_t buf[4096];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            // The program changes speed only after the echo it waits for,
            // so everything in one read was sent at the speed set now.
            const int baud = currentBaud();
            const auto charTime = std::chrono::nanoseconds(baud > 0 ? 10'000'000'000LL / baud : 0);
            for (ssize_t i = 0; i < n; ++i) {
                const auto echo = m_emulator.onChar(buf[i], baud, now);
                Clock::time_point done = now;
                if (m_timing.characterTiming) {
                    const Clock::time_point start = std::max(now, m_wireFree);
                    done = start + charTime;
                    m_wireFree = done;
                }
                if (echo)
                    m_pending.push_back({done + m_timing.latency, *echo});
            }
        }
    }
    std::uint8_t out[4096];
    std::size_t k = 0;
    while (!m_pending.empty() && m_pending.front().due <= now && k < sizeof out) {
        out[k++] = m_pending.front().value;
        m_pending.pop_front();
    }
    if (k > 0)
        (void)!::write(m_master, out,
                       k); // a full slave queue drops echoes, as a UART overrun would
}

std::optional<Clock::time_point> PtySensorServer::nextDue() const {
    if (m_pending.empty())
        return std::nullopt;
    return m_pending.front().due;
}

PtySensorThread::PtySensorThread(std::function<double()> source, UartTiming timing)
    : m_emulator(std::move(source)) {
    m_server = PtySensorServer::create(m_emulator, &m_error);
    if (!m_server)
        return;
    m_server->setTiming(timing);
    m_thread = std::thread([this] { run(); });
}

PtySensorThread::~PtySensorThread() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void PtySensorThread::run() {
    while (!m_stop) {
        auto now = Clock::now();
        std::chrono::nanoseconds wait = std::chrono::milliseconds(20);
        {
            std::lock_guard lock(m_mutex);
            if (auto due = m_server->nextDue())
                wait = std::max(std::chrono::nanoseconds(0),
                                std::min(wait, std::chrono::nanoseconds(*due - now)));
        }
        pollfd p{m_server->masterFd(), POLLIN, 0};
        timespec ts{0, static_cast<long>(wait.count())};
        const int r = ::ppoll(&p, 1, &ts, nullptr);
        std::lock_guard lock(m_mutex);
        m_server->service(Clock::now(), r > 0 && (p.revents & POLLIN));
    }
}

} // namespace thermo::sim
