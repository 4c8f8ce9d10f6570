// thermostand-sim: the whole stand without hardware. The DS18B20 adapter on a
// pseudo-terminal reached through a symbolic link, the parallel port as a
// simulated register file, and a thermal plant between the two.
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/options.h"
#include "io/sim_register_file.h"
#include "sim/ds18b20_emulator.h"
#include "sim/plant.h"
#include "sim/pty_sensor.h"

using namespace thermo;
using namespace thermo::sim;
namespace fs = std::filesystem;

namespace {

const char* kUsage = R"(usage: thermostand-sim --link PATH --lpt FILE [options]

Plays the lab stand for thermostand: a DS18B20 on a 1-Wire UART adapter
(a pseudo-terminal reached through PATH), the parallel port (the register
file FILE; point the program's [devices] LPT= at sim:FILE) and the heated
plant between them. The link appears once everything is ready, and a line
"ready" is printed; SIGINT or SIGTERM ends the simulation and removes it.

  --link PATH           symbolic link to create to the adapter's terminal
  --lpt FILE            simulated register file (created if missing)
  --speed K             plant time runs K times faster than wall time (1);
                        the sensor's 750 ms conversion stays real
  --ambient C           ambient temperature, °C (23)
  --gain C_PER_PERCENT  steady-state rise per percent of heater power (0.9)
  --tau SECONDS         time constant of heater and body (175)
  --sensor-tau SECONDS  lag of the sensor behind the body, 0 = none (10)
  --dead-time SECONDS   delay between heater command and effect (0)
  --start C             temperature at start (the ambient)
  --log FILE            log to FILE instead of standard output
  --fault KIND[:N]      inject a fault; may be repeated. KIND is one of
                          no-sensor   adapter without sensor (plain echo)
                          no-adapter  nothing answers (silence)
                          crc:N       every N-th reading has a bad check byte
                          lost:N      the sensor disappears after N readings
                          stuck85     readings stay at the 85 °C power-on value
                          stall:N     echoes stop after N characters
                          detached    the sensor is off the plant: it reads
                                      the ambient while the plant heats
                          detached:T  the same from T seconds of plant time on
  --latency MS          turnaround latency added to every echo (0)
  --uart-timing         pace the echoes like a real UART (10 bits per character)
  --help                this text

The log has one line per conversion and per heater write:
  HH:MM:SS.mmm conversion t=PLANT_S plant=C sensor=C reported=C heater=BYTE
  HH:MM:SS.mmm heater t=PLANT_S byte=BYTE write=N
)";

volatile std::sig_atomic_t g_stop = 0; // set by the signal handler only
void onSignal(int) {
    g_stop = 1;
}

struct Options {
    std::string link, lpt, log;
    double speed = 1;
    PlantParams plant;
    EmulatorFaults faults;
    double latencyMs = 0;
    bool uartTiming = false;
};

// Sets the faults named by each --fault KIND[:N]; an error text for one
// that names none.
std::optional<std::string> applyFaults(const std::vector<std::string>& faults, Options& o) {
    for (std::string kind : faults) {
        long n = 1;
        bool counted = false;
        if (const auto colon = kind.find(':'); colon != std::string::npos) {
            counted = true;
            char* end = nullptr;
            n = std::strtol(kind.c_str() + colon + 1, &end, 10);
            if (*end != '\0' || n < 1 || n > 1'000'000'000)
                return "--fault " + kind + ": N must be a whole number 1..1000000000";
            kind.resize(colon);
        }
        if (kind == "no-sensor")
            o.faults.noSensor = true;
        else if (kind == "no-adapter")
            o.faults.noAdapter = true;
        else if (kind == "crc")
            o.faults.crcErrorEvery = static_cast<unsigned>(n);
        else if (kind == "lost")
            o.faults.sensorLostAfter = static_cast<unsigned>(n);
        else if (kind == "stuck85")
            o.faults.stuckAtPowerOn = true;
        else if (kind == "stall")
            o.faults.echoStopAfter = static_cast<std::uint64_t>(n);
        else if (kind == "detached")
            o.plant.detachedAt = counted ? double(n) : 0.0;
        else
            return "--fault " + kind + ": unknown kind";
    }
    return std::nullopt;
}

// The options, or nothing with the exit status in `status`: 0 after --help,
// 2 after a usage error.
std::optional<Options> parse(int argc, char** argv, int& status) {
    Options o;
    std::vector<std::string> faults;
    OptionParser p("thermostand-sim", kUsage);
    p.text("--link", o.link, "a path");
    p.text("--lpt", o.lpt, "a path");
    p.text("--log", o.log, "a path");
    p.number("--speed", o.speed, {0}, "a number above 0");
    p.number("--ambient", o.plant.ambient);
    p.number("--gain", o.plant.gainPerPercent, {0});
    p.number("--tau", o.plant.tau, {0}, "a number above 0");
    p.number("--sensor-tau", o.plant.sensorTau, {0});
    p.number("--dead-time", o.plant.deadTime, {0});
    p.number("--start", o.plant.start);
    p.number("--latency", o.latencyMs, {0});
    p.flag("--uart-timing", o.uartTiming);
    p.texts("--fault", faults, "a kind");
    if (const auto end = p.parse(argc, argv)) {
        status = *end;
        return std::nullopt;
    }
    std::optional<std::string> why = applyFaults(faults, o);
    if (!why && (o.speed == 0 || o.plant.tau == 0))
        why = std::string(o.speed == 0 ? "--speed" : "--tau") + " needs a number above 0, not 0";
    if (!why && (o.link.empty() || o.lpt.empty()))
        why = "--link and --lpt are required";
    if (why) {
        status = p.fail(*why);
        return std::nullopt;
    }
    if (!p.given("--start"))
        o.plant.start = o.plant.ambient;
    return o;
}

std::string clockText(std::int64_t realNs) {
    const time_t secs = static_cast<time_t>(realNs / 1000000000);
    tm local{};
    localtime_r(&secs, &local);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>((realNs / 1000000) % 1000));
    return buf;
}

std::int64_t realNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Points `link` at `target`, replacing an older link but never a file.
std::optional<std::string> makeLink(const std::string& link, const std::string& target) {
    std::error_code ec;
    const auto st = fs::symlink_status(link, ec);
    if (fs::exists(st) && !fs::is_symlink(st))
        return link + " exists and is not a symbolic link; not replacing it";
    const std::string tmp = link + ".tmp" + std::to_string(getpid());
    fs::remove(tmp, ec);
    if (::symlink(target.c_str(), tmp.c_str()) != 0)
        return tmp + ": " + std::strerror(errno);
    if (::rename(tmp.c_str(), link.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        fs::remove(tmp, ec);
        return link + ": " + why;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    int parseStatus = 0;
    const auto opt = parse(argc - 1, argv + 1, parseStatus);
    if (!opt)
        return parseStatus;
    const Options& o = *opt;

    std::ofstream logFile;
    if (!o.log.empty()) {
        logFile.open(o.log, std::ios::app);
        if (!logFile) {
            std::cerr << "thermostand-sim: " << o.log << ": " << std::strerror(errno) << '\n';
            return 1;
        }
    }
    std::ostream& log = o.log.empty() ? std::cout : logFile;

    // Block the stop signals except while waiting, so none is lost between
    // a check of the flag and the wait.
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigset_t stopSignals, waitMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    // A reader of our log that goes away must not take the stand with it.
    std::signal(SIGPIPE, SIG_IGN);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);

    std::string why;
    auto regs = SimRegisterFile::open(o.lpt, &why);
    if (!regs) {
        std::cerr << "thermostand-sim: " << why << '\n';
        return 1;
    }

    ThermalPlant plant(o.plant);
    const Clock::time_point t0 = Clock::now();
    const std::int64_t real0 = realNow();
    auto plantTime = [&](Clock::time_point now) {
        return std::chrono::duration<double>(now - t0).count() * o.speed;
    };
    // Count the writes before reading the register: a write that lands in
    // between is then both in the register and replayed below, never lost.
    // Both happen before the link appears, since the program (or a test)
    // may write the heater as soon as it sees the link.
    std::uint64_t seen = regs->writeCount();
    int heaterByte = regs->read(0);
    plant.setHeater(0, std::min(heaterByte, 234) / 234.0);

    Ds18b20Emulator emulator([&] {
        plant.advanceTo(plantTime(Clock::now()));
        const double reported = emulator.faults().stuckAtPowerOn
                                    ? 85.0
                                    : Ds18b20Emulator::toRegister(plant.sensor()) / 16.0;
        char line[200];
        std::snprintf(line, sizeof line,
                      " conversion t=%.3f plant=%.4f sensor=%.4f reported=%.4f heater=%d",
                      plant.time(), plant.body(), plant.sensor(), reported, heaterByte);
        log << clockText(realNow()) << line << std::endl;
        return plant.sensor();
    });
    emulator.setFaults(o.faults);

    auto server = PtySensorServer::create(emulator, &why);
    if (!server) {
        std::cerr << "thermostand-sim: " << why << '\n';
        return 1;
    }
    server->setTiming({o.uartTiming, std::chrono::microseconds(std::llround(o.latencyMs * 1000))});
    if (auto err = makeLink(o.link, server->slavePath())) {
        std::cerr << "thermostand-sim: " << *err << '\n';
        return 1;
    }
    std::cout << "thermostand-sim: ready: sensor on " << o.link << " (" << server->slavePath()
              << "), parallel port sim:" << o.lpt << std::endl;
    if (!o.log.empty())
        log << clockText(realNow()) << " ready link=" << o.link << " pty=" << server->slavePath()
            << std::endl;

    auto logHeaterWrites = [&] {
        std::uint64_t lost = 0;
        for (const auto& w : regs->writesSince(seen, &lost)) {
            const double t = std::max(plant.time(), (w.timeNs - real0) * 1e-9 * o.speed);
            plant.advanceTo(t);
            heaterByte = w.value;
            // Bytes above 234 mean full power: the PWM saturates.
            plant.setHeater(t, std::min(heaterByte, 234) / 234.0);
            char line[100];
            std::snprintf(line, sizeof line, " heater t=%.3f byte=%d write=%llu", t, int(w.value),
                          static_cast<unsigned long long>(w.number + 1));
            log << clockText(w.timeNs) << line << std::endl;
            seen = w.number + 1;
        }
        if (lost > 0)
            log << clockText(realNow()) << " heater writes lost=" << lost << std::endl;
    };

    while (!g_stop) {
        auto now = Clock::now();
        // Heater writes carry their own time stamps, so an idle wait only
        // delays their log lines.
        std::chrono::nanoseconds wait = std::chrono::milliseconds(20);
        if (auto due = server->nextDue())
            wait = std::max(std::chrono::nanoseconds(0),
                            std::min(wait, std::chrono::nanoseconds(*due - now)));
        pollfd p{server->masterFd(), POLLIN, 0};
        timespec ts{0, static_cast<long>(wait.count())};
        const int r = ::ppoll(&p, 1, &ts, &waitMask);
        if (r < 0 && errno == EINTR)
            continue;
        logHeaterWrites(); // first, at the plant time they were made
        server->service(Clock::now(), r > 0 && (p.revents & POLLIN));
        plant.advanceTo(plantTime(Clock::now()));
    }

    // Remove the link only while it still points at our terminal.
    std::error_code ec;
    if (fs::is_symlink(o.link, ec) && fs::read_symlink(o.link, ec) == server->slavePath())
        fs::remove(o.link, ec);
    // The program switches the heater off as it ends, often just before the
    // stand is stopped: that last write belongs in the log, so the log's last
    // heater line is what the register holds.
    logHeaterWrites();
    log << clockText(realNow()) << " stopped byte=" << int(regs->read(0)) << std::endl;
    return 0;
}
