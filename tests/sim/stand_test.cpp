// thermostand-sim and thermostand-cli probe, run as the real executables,
// talking through the real pseudo-terminal and register file.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <optional>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <stdlib.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "io/serial_port.h"
#include "io/sim_register_file.h"
#include "tests/sim_stand.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

using thermo::testing::binDir;
using thermo::testing::SimulatedStand;
using thermo::testing::slurp;
using thermo::testing::spawn;
using thermo::testing::TempDir;
using thermo::testing::waitExit;

namespace {

struct Outcome {
    int status;
    std::string out;
};

Outcome run(const std::vector<std::string>& args, const fs::path& out) {
    const pid_t pid = spawn(args, out);
    const int st = waitExit(pid);
    return {st, slurp(out)};
}

// One simulated stand in a folder of its own, stopped with SIGTERM at the end.
struct Stand {
    TempDir temp{"thermo-stand"};
    fs::path dir = temp.path();
    fs::path link, lpt, log, ini;
    std::optional<SimulatedStand> sim;

    explicit Stand(const std::vector<std::string>& extra) {
        link = dir / "ttyStand";
        lpt = dir / "lpt";
        log = dir / "sim.log";
        ini = dir / "thermostand.INI";
        std::ofstream(ini) << "[General]\nCOM port=1\n[devices]\nCOM1=" << link.string()
                           << "\nLPT=sim:" << lpt.string() << "\n";
        sim.emplace(link, lpt, log, dir / "sim.out", extra);
        EXPECT_TRUE(sim->ready()) << slurp(dir / "sim.out");
    }
    Outcome probe(int count) {
        return run({binDir() + "/thermostand-cli", "probe", "--settings", ini.string(), "--count",
                    std::to_string(count)},
                   dir / "probe.out");
    }
    std::string logText() { return slurp(log); }
};

struct Conversion {
    double t, plant, sensor, reported;
    int heater;
};

std::vector<Conversion> conversions(const std::string& log) {
    static const std::regex re(
        R"(conversion t=([-0-9.]+) plant=([-0-9.]+) sensor=([-0-9.]+) reported=([-0-9.]+) heater=(\d+))");
    std::vector<Conversion> out;
    for (std::sregex_iterator it(log.begin(), log.end(), re), end; it != end; ++it)
        out.push_back({std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]),
                       std::stod((*it)[4]), std::stoi((*it)[5])});
    return out;
}

std::vector<double> readings(const std::string& out) {
    static const std::regex re(R"(reading \d+: ([-0-9.]+) °C)");
    std::vector<double> v;
    for (std::sregex_iterator it(out.begin(), out.end(), re), end; it != end; ++it)
        v.push_back(std::stod((*it)[1]));
    return v;
}

thermo::SimRegisterFile registers(const fs::path& p) {
    std::string why;
    auto f = thermo::SimRegisterFile::open(p.string(), &why);
    EXPECT_TRUE(f) << why;
    return std::move(*f);
}

} // namespace

TEST(SimulatedStand, ProbeReadingsFollowThePlant) {
    Stand s({"--speed", "50", "--tau", "60", "--gain", "1.0"});
    auto regs = registers(s.lpt);
    regs.write(0, 234); // full heat: the temperature moves between readings
    const Outcome r = s.probe(3);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("sensor answered"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("$378: present via sim:" + s.lpt.string()), std::string::npos) << r.out;
    const auto values = readings(r.out);
    ASSERT_EQ(values.size(), 3u) << r.out;
    const auto conv = conversions(s.logText());
    ASSERT_GE(conv.size(), 3u) << s.logText();
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(values[i], conv[i].reported) << "reading " << i + 1;
        EXPECT_LE(std::abs(conv[i].reported - conv[i].sensor), 1.0 / 32 + 1e-4)
            << "the register holds the sensor's temperature to 1/16 °C";
        EXPECT_EQ(conv[i].heater, 234);
    }
    EXPECT_GT(values[2], values[0] + 1.0) << "the plant heated between readings";
}

TEST(SimulatedStand, EveryHeaterWriteIsLogged) {
    Stand s({});
    auto regs = registers(s.lpt);
    for (std::uint8_t v : {0, 117, 117, 234})
        regs.write(0, v);
    static const std::regex re(R"(heater t=[0-9.]+ byte=(\d+) write=(\d+))");
    std::vector<int> bytes;
    for (int i = 0; i < 200 && bytes.size() < 4; ++i) {
        std::this_thread::sleep_for(10ms);
        bytes.clear();
        const std::string log = s.logText();
        for (std::sregex_iterator it(log.begin(), log.end(), re), end; it != end; ++it)
            bytes.push_back(std::stoi((*it)[1]));
    }
    EXPECT_EQ(bytes, (std::vector<int>{0, 117, 117, 234})) << s.logText();
}

TEST(SimulatedStand, StepResponseIsTheFirstOrderLag) {
    Stand s(
        {"--speed", "100", "--tau", "50", "--gain", "1", "--ambient", "20", "--sensor-tau", "0"});
    auto regs = registers(s.lpt);
    regs.write(0, 234);
    const Outcome r = s.probe(2);
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string log = s.logText();
    std::smatch m;
    ASSERT_TRUE(std::regex_search(log, m, std::regex(R"(heater t=([0-9.]+) byte=234)"))) << log;
    const double th = std::stod(m[1]);
    const auto conv = conversions(log);
    ASSERT_GE(conv.size(), 2u);
    for (const auto& c : conv) {
        const double expected = 20.0 + 100.0 * (1.0 - std::exp(-(c.t - th) / 50.0));
        EXPECT_NEAR(c.plant, expected, 0.01) << "t=" << c.t;
        EXPECT_EQ(c.sensor, c.plant);
    }
}

TEST(SimulatedStand, EachFaultGetsItsDiagnosis) {
    struct Row {
        std::vector<std::string> fault;
        const char* diagnosis;
        int status;
    };
    const Row rows[] = {
        {{"--fault", "no-sensor"}, "echo but no presence: check the sensor", 1},
        {{"--fault", "no-adapter"}, "no echo: check the adapter", 1},
        {{"--fault", "crc:1"}, "reading 1: check byte mismatch", 1},
        {{"--fault", "stuck85"}, "reading 1: 85.0000 °C", 0},
        {{"--fault", "lost:1"}, "reading 2: no presence", 0},
        {{"--fault", "lost:1"}, "echo but no presence: check the sensor", 0},
        {{"--fault", "stall:90"},
         "reading 2: no presence when starting the conversion, no echo: check the adapter",
         1},
    };
    for (const auto& row : rows) {
        Stand s(row.fault);
        const Outcome r = s.probe(2);
        EXPECT_EQ(r.status, row.status) << row.fault[1] << '\n' << r.out;
        EXPECT_NE(r.out.find(row.diagnosis), std::string::npos) << row.fault[1] << '\n' << r.out;
    }
}

TEST(SimulatedStand, LatencyShowsInTheReadingTime) {
    Stand s({"--latency", "20"});
    const Outcome r = s.probe(1);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.out, m, std::regex(R"(°C \(([0-9.]+) ms\))"))) << r.out;
    EXPECT_GE(std::stod(m[1]), 40.0) << "two turnarounds: the reset and the slots";
}

TEST(SimulatedStand, StopsCleanlyAndRemovesTheLink) {
    for (int sig : {SIGINT, SIGTERM}) {
        Stand s({});
        ASSERT_TRUE(fs::is_symlink(s.link));
        EXPECT_EQ(s.sim->stop(sig), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(s.link)));
        EXPECT_NE(s.logText().find("stopped"), std::string::npos);
    }
}

// The program writes the heater off as it ends, often just before the stand
// is stopped: those writes were dropped from the log, whose last heater line
// then showed the heater still on.
TEST(SimulatedStand, WritesMadeJustBeforeTheStopAreLogged) {
    Stand s({});
    std::string why;
    auto regs = thermo::SimRegisterFile::open(s.lpt.string(), &why);
    ASSERT_TRUE(regs) << why;
    regs->write(0, 200);
    regs->write(0, 0);
    EXPECT_EQ(s.sim->stop(), 0);
    const std::string log = s.logText();
    const auto lastHeater = log.rfind(" heater ");
    ASSERT_NE(lastHeater, std::string::npos) << log;
    EXPECT_NE(log.find("byte=200 write=1\n"), std::string::npos) << log;
    const std::string line = log.substr(lastHeater, log.find('\n', lastHeater) - lastHeater);
    EXPECT_TRUE(line.ends_with(" byte=0 write=2")) << log;
    EXPECT_EQ(log.substr(log.rfind(" stopped")), " stopped byte=0\n") << log;
}

TEST(SimulatedStand, CommandLine) {
    const TempDir temp("thermo-sim-cli");
    const fs::path out = temp.path() / "out";
    const Outcome help = run({binDir() + "/thermostand-sim", "--help"}, out);
    EXPECT_EQ(help.status, 0);
    for (const char* opt : {"--link", "--lpt", "--speed", "--ambient", "--gain", "--tau", "--start",
                            "--log", "--fault", "--latency", "--uart-timing", "no-sensor",
                            "no-adapter", "crc:N", "lost:N", "stuck85"})
        EXPECT_NE(help.out.find(opt), std::string::npos) << opt;
    for (std::vector<std::string> bad : {std::vector<std::string>{"--link", "/tmp/x"},
                                         {"--link", "a", "--lpt", "b", "--speed", "0"},
                                         {"--link", "a", "--lpt", "b", "--fault", "melt"},
                                         {"--link", "a", "--lpt", "b", "--tau"},
                                         {"--bogus"}}) {
        bad.insert(bad.begin(), binDir() + "/thermostand-sim");
        EXPECT_EQ(run(bad, out).status, 2) << bad[1] << ' ' << bad.back();
    }
    // A file where the link should go is never replaced.
    const fs::path notes = out.string() + ".notes";
    std::ofstream(notes) << "keep me\n";
    const Outcome refused = run(
        {binDir() + "/thermostand-sim", "--link", notes.string(), "--lpt", out.string() + ".lpt"},
        out);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(slurp(notes), "keep me\n");
}

TEST(Probe, LeavesTheHeaterAloneWhileAnotherProgramHoldsTheStand) {
    Stand s({});
    thermo::SerialPort program;
    ASSERT_TRUE(program.OpenCOM(s.link.string())) << program.lastError();
    auto regs = registers(s.lpt);
    const std::uint64_t before = regs.writeCount();
    const Outcome r = s.probe(1);
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("in use by another program"), std::string::npos) << r.out;
    EXPECT_EQ(regs.writeCount(), before) << "no test patterns on the heater during a run";

    // Probing another port while the program runs on COM1: the parallel
    // ports are still left alone.
    const Outcome other = run({binDir() + "/thermostand-cli", "probe", "--settings", s.ini.string(),
                               "--port", "/nonexistent/ttyS7"},
                              s.dir / "probe2.out");
    EXPECT_EQ(other.status, 2) << other.out;
    EXPECT_NE(other.out.find("not probed while another program uses the stand"), std::string::npos)
        << other.out;
    EXPECT_EQ(regs.writeCount(), before) << "no test patterns on the heater during a run";
}

TEST(Probe, PortThatCannotBeOpened) {
    const TempDir temp("thermo-probe");
    const fs::path out = temp.path() / "out";
    const Outcome r = run({binDir() + "/thermostand-cli", "probe", "--port", "/nonexistent/ttyS7",
                           "--settings", "/nonexistent/thermostand.INI"},
                          out);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("cannot open"), std::string::npos) << r.out;
}

namespace {

// A simulated stand whose link goes where the test says (a device tree of
// its own), stopped with SIGTERM at the end.
struct SimAt : SimulatedStand {
    SimAt(const fs::path& link, const fs::path& dir)
        : SimulatedStand(link, dir / (link.filename().string() + ".lpt"),
                         dir / (link.filename().string() + ".log"),
                         dir / (link.filename().string() + ".out")) {
        EXPECT_TRUE(ready()) << slurp(dir / (link.filename().string() + ".out"));
    }
};

} // namespace

// USB adapters take their ttyUSBn names in the order they were plugged in:
// the scan finds each sensor and names it by its stable by-id link.
TEST(ProbeScan, FindsTheSensorsAndWritesTheirDevicesSection) {
    const TempDir temp("thermo-scan");
    const fs::path& dir = temp.path();
    const fs::path dev = dir / "dev", sys = dir / "sys", byId = dev / "serial" / "by-id";
    fs::create_directories(byId);
    // An FTDI adapter at its driver's default latency, a CDC ACM one, one
    // that another program holds, and a pseudo-terminal nobody answers on.
    SimAt ftdi(dev / "ttyUSB0", dir), acm(dev / "ttyACM0", dir), held(dev / "ttyUSB1", dir);
    const fs::path ftdiId = byId / "usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0";
    const fs::path acmId = byId / "usb-Arduino_Uno_7543-if00";
    fs::create_symlink("../../ttyUSB0", ftdiId);
    fs::create_symlink("../../ttyACM0", acmId);
    const fs::path latency = sys / "bus" / "usb-serial" / "devices" / "ttyUSB0" / "latency_timer";
    fs::create_directories(latency.parent_path());
    std::ofstream(latency) << "16\n";
    thermo::SerialPort program;
    ASSERT_TRUE(program.OpenCOM((dev / "ttyUSB1").string())) << program.lastError();
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
    fs::create_symlink(ptsname(master), dev / "ttyUSB2");
    // No UART behind this one: not a device to try.
    std::ofstream(dev / "ttyS0") << "";
    fs::create_directories(sys / "class" / "tty" / "ttyS0");
    std::ofstream(sys / "class" / "tty" / "ttyS0" / "type") << "0\n";

    const fs::path ini = dir / "machine.INI";
    const std::string before = "; the instructor's notes\n[General]\nCOM port=2\n"
                               "[devices]\nCOM1=/dev/ttyUSB7\nLPT=/dev/parport0\nCOM4=/dev/ttyS0\n"
                               "[koof]\nC0_1=20\n";
    std::ofstream(ini) << before;
    const Outcome r =
        run({binDir() + "/thermostand-cli", "probe", "--scan", "--dev-root", dev.string(),
             "--sys-root", sys.string(), "--write-settings", ini.string()},
            dir / "scan.out");
    ::close(master);
    EXPECT_EQ(r.status, 0) << r.out;
    const std::string d = dev.string();
    for (const std::string& line :
         {"serial devices under " + d + ": 4\n", d + "/ttyUSB1: busy: in use by another program\n",
          d + "/ttyUSB2: opens; no echo: check the adapter\n", "  by-id: " + ftdiId.string() + "\n",
          "  by-id: " + acmId.string() + "\n",
          "  FTDI latency timer 16 ms: lower it to 1 ms: echo 1 | sudo tee " + latency.string(),
          "\n[devices]\nCOM1=" + ftdiId.string() + "\nCOM2=" + acmId.string() + "\nLPT=none\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n---\n" << r.out;
    for (const char* sim : {"ttyUSB0", "ttyACM0"}) {
        const std::regex reading(
            d + "/" + sim +
            R"(: opens; adapter echoes; sensor: 2[0-9]\.[0-9]{4} °C \([0-9.]+ ms\)\n)");
        EXPECT_TRUE(std::regex_search(r.out, reading)) << sim << '\n' << r.out;
    }
    EXPECT_EQ(r.out.find("ttyS0"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("latency timer"), r.out.rfind("latency timer"))
        << "one adapter has a latency timer";
    // The COM and LPT keys change in place or join the section's end;
    // nothing else moves. The mapping found replaces the old one: COM4 named
    // an adapter no longer there, and no parallel port answers here, which
    // LPT=none says (a run then knows it drives no heater).
    EXPECT_EQ(slurp(ini), "; the instructor's notes\n[General]\nCOM port=2\n[devices]\nCOM1=" +
                              ftdiId.string() + "\nLPT=none\nCOM2=" + acmId.string() +
                              "\n[koof]\nC0_1=20\n");
    program.CloseCOM();
}

// The heater's register device as Debian makes /dev/parport0, root:lp 0660,
// and a user outside the group: the run does not start (it would drive a
// heater it could not switch off), and the run and the probe say what to do.
TEST(Probe, RegisterDeviceTheUserMayNotOpenRefusesTheRun) {
    const group* lp = getgrnam("lp");
    if (geteuid() != 0 || !fs::exists("/usr/bin/setpriv") || lp == nullptr)
        GTEST_SKIP() << "needs root, setpriv and the group lp to run as nobody";
    const TempDir temp("thermo-lp");
    const fs::path& dir = temp.path();
    fs::permissions(dir, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec |
                             fs::perms::group_read | fs::perms::others_read);
    const fs::path lpt = dir / "parport0.sim", ini = dir / "thermostand.INI";
    auto regs = registers(lpt);
    regs.write(0, 0);
    ASSERT_EQ(chown(lpt.c_str(), 0, lp->gr_gid), 0);
    fs::permissions(lpt, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                             fs::perms::group_write);
    std::ofstream(ini) << "[devices]\nCOM1=" << (dir / "ttyStand").string()
                       << "\nLPT=sim:" << lpt.string() << "\n";
    const std::uint64_t writes = regs.writeCount();
    const std::vector<std::string> asNobody{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                            "--clear-groups", binDir() + "/thermostand-cli"};
    auto cli = [&](std::vector<std::string> args, const char* out) {
        args.insert(args.begin(), asNobody.begin(), asNobody.end());
        return run(args, dir / out);
    };
    const std::string advice = "permission denied: add the user to group " +
                               std::string(lp->gr_name) + " (sudo usermod -aG " + lp->gr_name +
                               " nobody), then log in again\n";

    const Outcome r = cli({"run", "--settings", ini.string(), "--archive", (dir / "run").string(),
                           "--ticks", "2", "--port", "COM1"},
                          "run.out");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Ошибка при создании объекта Lpt,  драйвер ERROR,  код = 13"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("  " + advice), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("run: not started"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir / "run")) << "no archive: the run never started";

    const Outcome p =
        cli({"probe", "--settings", ini.string(), "--port", "/nonexistent/ttyS7"}, "probe.out");
    EXPECT_EQ(p.status, 2) << p.out;
    EXPECT_NE(p.out.find("parallel port (LPT=sim:" + lpt.string() + "): not ready: "),
              std::string::npos)
        << p.out;
    EXPECT_NE(p.out.find("\n" + advice), std::string::npos) << p.out;
    EXPECT_EQ(regs.writeCount(), writes) << "nothing reached the heater's register";
}
