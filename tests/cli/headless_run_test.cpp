// thermostand-cli run against thermostand-sim, both real executables, through
// the real pseudo-terminal and register file: the run a script of an
// instructor makes, and the safety stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "io/sim_register_file.h"
#include "run/session.h"
#include "tests/sim_stand.h"

namespace fs = std::filesystem;
using thermo::testing::binDir;
using thermo::testing::SimulatedStand;
using thermo::testing::slurp;
using thermo::testing::TempDir;
using thermo::testing::writeStandSettings;

namespace {

struct HeadlessRun : ::testing::Test {
    TempDir temp{"thermo-headless"};
    const fs::path dir = temp.path();
    std::optional<SimulatedStand> sim;

    void SetUp() override { writeStandSettings(dir / "s.ini", dir / "adapter", dir / "lpt"); }

    void startSim(const std::vector<std::string>& extra) {
        sim.emplace(dir / "adapter", dir / "lpt", dir / "sim.log", dir / "sim.out", extra);
        ASSERT_TRUE(sim->ready()) << slurp(dir / "sim.out");
    }

    // Runs the headless cycle; returns its exit status.
    int run(const std::string& options) {
        const std::string cmd =
            binDir() + "/thermostand-cli run --settings " + (dir / "s.ini").string() +
            " --port COM1 --no-alarm-sound --archive " + (dir / "run.txt").string() + " " +
            options + " >" + (dir / "out").string() + " 2>" + (dir / "err").string();
        const int st = std::system(cmd.c_str());
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    int lastHeater() {
        std::string err;
        auto f = thermo::SimRegisterFile::open((dir / "lpt").string(), &err);
        return f ? f->read(0) : -1;
    }
    // The heating watch's figures for this stand, in the settings file.
    void safety(const std::string& keys) {
        std::ofstream(dir / "s.ini", std::ios::app) << "[safety]\n" << keys;
    }
    // The readings of the ticks the run printed.
    std::vector<double> readings() {
        std::istringstream out(slurp(dir / "out"));
        std::vector<double> t;
        for (std::string line; std::getline(out, line);) {
            double takt = 0, temper = 0;
            if (line.rfind('#', 0) != 0 && std::istringstream(line) >> takt >> temper)
                t.push_back(temper);
        }
        return t;
    }
    bool told(const char* text) { return slurp(dir / "err").find(text) != std::string::npos; }
    // The simulator's last conversion: the plant and what the sensor reported.
    std::pair<double, double> lastConversion() {
        const std::string log = slurp(dir / "sim.log");
        const auto last = log.rfind(" conversion ");
        double plant = 0, reported = 0;
        if (last != std::string::npos) {
            std::sscanf(log.c_str() + log.find("plant=", last), "plant=%lf", &plant);
            std::sscanf(log.c_str() + log.find("reported=", last), "reported=%lf", &reported);
        }
        return {plant, reported};
    }
};

TEST_F(HeadlessRun, TenTicksWriteTheArchiveTheWindowWould) {
    startSim({"--speed", "10"});
    ASSERT_EQ(run("--ticks 10 --pid"), 0) << slurp(dir / "err");
    std::istringstream out(slurp(dir / "out"));
    std::string line;
    std::getline(out, line);
    EXPECT_EQ(line.rfind("# Takt", 0), 0u);
    int lines = 0, takt = 0;
    while (std::getline(out, line)) {
        std::istringstream f(line);
        f >> takt;
        ++lines;
    }
    EXPECT_EQ(lines, 10);
    EXPECT_EQ(takt, 11);
    EXPECT_EQ(fs::file_size(dir / "run.txt"), 288u);
    EXPECT_EQ(fs::file_size(dir / "run.txtUST"), 248u);
    // The plant warmed: the first reading is a real one, not 85 °C.
    EXPECT_EQ(slurp(dir / "out").find(" 85 "), std::string::npos);
    EXPECT_NE(slurp(dir / "sim.log").find("heater"), std::string::npos);
    EXPECT_EQ(lastHeater(), 0); // switched off at the end
}

// Every safety stop reaches the command line this way (their cases are the
// session's and the cycle's): exit status 3, the session's message on
// standard error, the heater on the port off.
TEST_F(HeadlessRun, SensorLostEndsTheRunWithTheHeaterOff) {
    startSim({"--fault", "lost:4"});
    EXPECT_EQ(run("--ticks 10 --heat"), 3);
    EXPECT_NE(slurp(dir / "err").find("Датчик  не обнаружен."), std::string::npos)
        << slurp(dir / "err");
    EXPECT_EQ(lastHeater(), 0);
}

// A setpoint less than 5 °C above the room started no watch at all, and the
// plant went on to 110 °C under forced heat with the sensor in the room.
TEST_F(HeadlessRun, ASensorOffThePlantStopsForcedHeatAfterTheWatchPeriodWhateverTheSetpoint) {
    // The plant 20 times faster than wall time, the watch 20 times shorter:
    // the 120 s of a real plant, in 60 ticks of 100 ms.
    startSim({"--fault", "detached", "--speed", "20"});
    EXPECT_EQ(run("--ticks 200 --heat --setpoint 27 --interval 100 --watch-period 6"), 3)
        << slurp(dir / "err");
    EXPECT_TRUE(told("Нагрев без роста температуры: проверьте датчик и нагреватель."))
        << slurp(dir / "err");
    EXPECT_EQ(readings().size(), 60u)
        << "the first tick starts the watch; the one at 6 s stops the run";
    EXPECT_EQ(lastHeater(), 0);
    // The witness: full heat went to a plant that warmed while the sensor did not.
    EXPECT_NE(slurp(dir / "sim.log").find("byte=234"), std::string::npos);
    const auto [plant, reported] = lastConversion();
    EXPECT_GT(plant - reported, 20.0);
}

// The sensor came off after the rise: the old watch had ended with the first
// 2 °C and the PID drove full power on into a plant at 88 °C and rising,
// while the sensor read the room.
TEST_F(HeadlessRun, ASensorThatComesOffAfterTheRiseStopsThePidWithinSeconds) {
    startSim({"--fault", "detached:200", "--speed", "20"});
    EXPECT_EQ(run("--ticks 400 --pid --setpoint 90 --interval 100 --watch-period 6"), 3)
        << slurp(dir / "err");
    EXPECT_TRUE(told("Температура падает при работающем нагревателе")) << slurp(dir / "err");
    EXPECT_EQ(lastHeater(), 0);
    // Off at 200 s of plant time; the last conversion before the stop came
    // within 30 s of it, the plant hot, the sensor near the room.
    const std::string log = slurp(dir / "sim.log");
    const auto last = log.rfind(" conversion ");
    ASSERT_NE(last, std::string::npos) << log;
    double t = 0;
    std::sscanf(log.c_str() + last, " conversion t=%lf", &t);
    EXPECT_GT(t, 200.0);
    EXPECT_LT(t, 230.0);
    const auto [plant, reported] = lastConversion();
    EXPECT_GT(plant - reported, 30.0);
    const std::vector<double> seen = readings();
    ASSERT_FALSE(seen.empty());
    EXPECT_GT(*std::max_element(seen.begin(), seen.end()), 70.0) << "it had risen";
}

// The DS18B20's power-on 85 °C went unnoticed under forced heat: 85 °C is
// far above the setpoint, where the old watch did not look.
TEST_F(HeadlessRun, AReadingStuckAtThePowerOnValueStopsForcedHeat) {
    safety("frozen_period=3\n"); // 60 s at --speed 20
    startSim({"--fault", "stuck85", "--speed", "20"});
    EXPECT_EQ(run("--ticks 200 --heat --interval 100 --watch-period 6"), 3) << slurp(dir / "err");
    EXPECT_TRUE(told("Показание датчика не меняется при работающем нагревателе"))
        << slurp(dir / "err");
    EXPECT_EQ(readings().size(), 30u) << "3 s of ticks reading 85 °C";
    EXPECT_EQ(lastHeater(), 0);
    EXPECT_LT(lastConversion().first, 60.0);
}

// Thirty times the lab's time constant: the old watch stopped it after
// 1.94 °C in its first 120 s, and nothing could lengthen the watch.
TEST_F(HeadlessRun, ASlowPlantIsNotStoppedWithTheDefaultWatch) {
    // Eight minutes of plant time, four watch periods, in 240 ticks (the
    // sensor's conversion stays 750 ms of wall time: a faster plant would
    // see its readings come too late for the watch). Once the plant has
    // risen, a period without a rise is its plateau, never a stop.
    startSim({"--speed", "20", "--tau", "5000"});
    EXPECT_EQ(run("--ticks 240 --heat --interval 100 --watch-period 6"), 0) << slurp(dir / "err");
    ASSERT_FALSE(readings().empty());
    EXPECT_GT(readings().back(), 29.0);
}

// Full heat takes the plant to ambient + 90 °C and holds it there, read to
// the bit for as long as it runs, as a plateau on the stand reads for
// minutes: with every period of the defaults passed over, no check may take
// it for a sensor off the plant or a frozen one.
TEST_F(HeadlessRun, APlantAtItsPlateauUnderFullHeatRunsOn) {
    // The defaults at --speed 40. The plant starts at its plateau, cools
    // while the run starts, and climbs back.
    safety("watch_period=3\nfrozen_period=1.5\nrunaway_period=3\n");
    startSim({"--speed", "40", "--tau", "60", "--sensor-tau", "0", "--start", "113"});
    EXPECT_EQ(run("--ticks 180 --heat --setpoint 200 --interval 100"), 0) << slurp(dir / "err");
    const std::vector<double> t = readings();
    ASSERT_FALSE(t.empty());
    const auto still = std::find_if(t.rbegin(), t.rend(), [&](double v) { return v != t.back(); });
    EXPECT_EQ(t.back(), 113.0);
    EXPECT_GE(still - t.rbegin(), 45) << "4.5 s of ticks at 113 °C, 180 s of the plant: the watch "
                                         "period and the frozen one together";
}

TEST_F(HeadlessRun, OverTemperatureForcesTheHeaterOffEvenUnderForcedHeat) {
    startSim({"--start", "126"});
    ASSERT_EQ(run("--ticks 2 --heat"), 0) << slurp(dir / "err");
    const std::string out = slurp(dir / "out");
    EXPECT_NE(out.find(" 0 ALARM"), std::string::npos) << out;
    EXPECT_EQ(out.find(" 234"), std::string::npos) << out;
}

TEST_F(HeadlessRun, TerminationSwitchesTheHeaterOff) {
    startSim({});
    const std::string base = binDir() + "/thermostand-cli run --settings " +
                             (dir / "s.ini").string() +
                             " --port COM1 --no-alarm-sound --heat --interval 5000 --ticks 100" +
                             " --archive " + (dir / "run.txt").string();
    // Terminated or its terminal closed: it ends at once, not at the next
    // tick five seconds on.
    for (const char* sig : {"TERM", "HUP"}) {
        const std::string cmd = base + " >/dev/null 2>" + (dir / "err").string() +
                                " & pid=$!; sleep 2; kill -" + sig +
                                " $pid; start=$(date +%s%N); wait $pid; st=$?;" +
                                " echo $(( ($(date +%s%N) - start) / 1000000 )) >" +
                                (dir / "ms").string() + "; exit $st";
        const int st = std::system(cmd.c_str());
        EXPECT_EQ(WEXITSTATUS(st), 3) << sig << ": " << slurp(dir / "err");
        EXPECT_EQ(lastHeater(), 0) << sig;
        EXPECT_LT(std::stoi(slurp(dir / "ms")), 1000) << sig;
    }
    // It did heat before the signal.
    EXPECT_NE(slurp(dir / "sim.log").find("byte=234"), std::string::npos);
    // Its output's reader gone (`run | head`): it ends in order too.
    const std::string piped = "bash -c '" + base + " 2>" + (dir / "err").string() +
                              " | head -c 1 >/dev/null; exit ${PIPESTATUS[0]}'";
    EXPECT_EQ(WEXITSTATUS(std::system(piped.c_str())), 3) << slurp(dir / "err");
    EXPECT_NE(slurp(dir / "err").find("run: interrupted"), std::string::npos);
    EXPECT_EQ(lastHeater(), 0);
    // Started with hang-ups ignored (`nohup`), a closed terminal does not end it.
    const std::string nohup = "(trap '' HUP; exec " + base + " >/dev/null 2>/dev/null) & pid=$!;" +
                              " sleep 2; kill -HUP $pid; sleep 0.5; kill -0 $pid && echo alive;" +
                              " kill -TERM $pid; wait $pid";
    const std::string alive = (dir / "alive").string();
    (void)std::system(("{ " + nohup + "; } >" + alive).c_str());
    EXPECT_EQ(slurp(alive), "alive\n");
    EXPECT_EQ(lastHeater(), 0);
}

TEST_F(HeadlessRun, TicksOnlyAsManyAsTheArchiveHolds) {
    // Position 65000 is the archive's last: a run of 65000 ticks could never end well.
    EXPECT_EQ(run("--ticks 65000"), 2);
    EXPECT_NE(slurp(dir / "err").find("--ticks out of range"), std::string::npos);
    EXPECT_EQ(run("--ticks 64999"), 1); // accepted; no stand is running here
    EXPECT_EQ(slurp(dir / "err").find("out of range"), std::string::npos) << slurp(dir / "err");
}

// Regression: with no parallel port answering, a run drove nothing and said
// nothing until the heating watch tripped minutes later.
TEST_F(HeadlessRun, NoHeaterPortRefusesTheRunUnlessAskedForTheSensorOnly) {
    startSim({});
    std::ofstream(dir / "s.ini") << "[devices]\nCOM1=" << (dir / "adapter").string()
                                 << "\nLPT=none\n";
    EXPECT_EQ(run("--ticks 2 --heat"), 1);
    EXPECT_TRUE(told(thermo::kNoHeaterText)) << slurp(dir / "err");
    EXPECT_TRUE(told("LPT=none")) << slurp(dir / "err");
    EXPECT_FALSE(fs::exists(dir / "run.txt"));
    EXPECT_EQ(run("--ticks 2 --heat --no-heater"), 0) << slurp(dir / "err");
    EXPECT_EQ(readings().size(), 2u);
}

TEST_F(HeadlessRun, NoSensorIsReportedBeforeAnythingIsRecorded) {
    startSim({"--fault", "no-sensor"});
    EXPECT_EQ(run("--ticks 3"), 1);
    EXPECT_NE(slurp(dir / "err").find("Датчик на COM1 порту не обнаружен."), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "run.txt"));
}

} // namespace
