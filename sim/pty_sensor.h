#pragma once
// Serves the emulated adapter on a pseudo-terminal: the program opens the
// slave side like a serial port; the server reads what it sends on the
// master side, where tcgetattr returns the speed the program set, and sends
// the echoes back, optionally paced like a real UART and delayed by a
// turnaround latency (what a USB adapter's latency timer adds).

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim/ds18b20_emulator.h"

namespace thermo::sim {

struct UartTiming {
    bool characterTiming = false;         // each character takes 10 bit times on the wire
    std::chrono::microseconds latency{0}; // added before an echo comes back
};

class PtySensorServer {
public:
    // Opens a pseudo-terminal pair. Null with *error set on failure.
    static std::unique_ptr<PtySensorServer> create(Ds18b20Emulator& emulator, std::string* error);
    ~PtySensorServer();
    PtySensorServer(const PtySensorServer&) = delete;
    PtySensorServer& operator=(const PtySensorServer&) = delete;

    [[nodiscard]] const std::string& slavePath() const { return m_slavePath; }
    [[nodiscard]] int masterFd() const { return m_master; }
    void setTiming(UartTiming t) { m_timing = t; }

    // Takes in what the program sent (when readable) and sends the echoes
    // that are due by `now`.
    void service(Clock::time_point now, bool readable);
    // When the next echo is due, if any is waiting.
    [[nodiscard]] std::optional<Clock::time_point> nextDue() const;

private:
    PtySensorServer(Ds18b20Emulator& e, int master, int slave, std::string path)
        : m_emulator(e), m_master(master), m_slave(slave), m_slavePath(std::move(path)) {}
    int currentBaud() const;

    struct Echo {
        Clock::time_point due;
        std::uint8_t value;
    };
    Ds18b20Emulator& m_emulator;
    int m_master;
    int m_slave; // held open so the master never sees a hang-up between programs
    std::string m_slavePath;
    UartTiming m_timing;
    std::deque<Echo> m_pending;
    Clock::time_point m_wireFree{};
};

// A server on its own thread, for tests and benchmarks. The emulator is
// reached through withEmulator(), under the server's lock.
class PtySensorThread {
public:
    explicit PtySensorThread(std::function<double()> source, UartTiming timing = {});
    ~PtySensorThread();
    [[nodiscard]] bool ok() const { return m_server != nullptr; }
    [[nodiscard]] const std::string& error() const { return m_error; }
    [[nodiscard]] const std::string& path() const { return m_server->slavePath(); }
    void setTiming(UartTiming t) {
        std::lock_guard lock(m_mutex);
        m_server->setTiming(t);
    }
    template <class F> auto withEmulator(F f) {
        std::lock_guard lock(m_mutex);
        return f(m_emulator);
    }

private:
    void run();
    Ds18b20Emulator m_emulator;
    std::unique_ptr<PtySensorServer> m_server;
    std::string m_error;
    std::mutex m_mutex;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace thermo::sim
