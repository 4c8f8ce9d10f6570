// thermostand-cli identify against thermostand-sim, both real executables:
// the step experiment recovers the simulated plant's figures. The plant runs
// five times faster than wall time, with a time constant short enough for
// three of them to pass in a test's 16 s; each reading lags its conversion by
// up to one interval, which the fit counts as dead time.
#include <gtest/gtest.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "io/sim_register_file.h"
#include "storage/settings.h"
#include "tests/sim_stand.h"

namespace fs = std::filesystem;
using thermo::testing::binDir;
using thermo::testing::SimulatedStand;
using thermo::testing::slurp;
using thermo::testing::TempDir;
using thermo::testing::writeStandSettings;

namespace {

// The number after `"key": ` following `after` in a JSON text; NaN when absent.
double jsonValue(const std::string& json, const std::string& key, const std::string& after = "") {
    std::size_t from = after.empty() ? 0 : json.find(after);
    if (from == std::string::npos)
        return NAN;
    const auto k = json.find("\"" + key + "\": ", from);
    if (k == std::string::npos)
        return NAN;
    const char* p = json.c_str() + k + key.size() + 4;
    double v = NAN;
    std::from_chars(p, json.c_str() + json.size(), v);
    return v;
}

struct IdentifyRun : ::testing::Test {
    TempDir temp{"thermo-identify"};
    const fs::path dir = temp.path();
    std::optional<SimulatedStand> sim;

    void SetUp() override { writeStandSettings(dir / "s.ini", dir / "adapter", dir / "lpt"); }

    void startSim(std::vector<std::string> extra) {
        extra.insert(extra.begin(), {"--speed", "5", "--sensor-tau", "0"});
        sim.emplace(dir / "adapter", dir / "lpt", dir / "sim.log", dir / "sim.out", extra);
        ASSERT_TRUE(sim->ready()) << slurp(dir / "sim.out");
    }

    // Returns the exit status; stdout in `out`, stderr in `err`.
    int cli(const std::string& args) {
        const std::string cmd = binDir() + "/thermostand-cli " + args + " >" +
                                (dir / "out").string() + " 2>" + (dir / "err").string();
        const int st = std::system(cmd.c_str());
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    int identify(const std::string& args) {
        return cli("identify --settings " + (dir / "s.ini").string() +
                   " --port COM1 --no-alarm-sound --archive " + (dir / "step.txt").string() +
                   " --from 0 --to 50 --hold 3 " + args);
    }
    int lastHeater() {
        std::string err;
        auto f = thermo::SimRegisterFile::open((dir / "lpt").string(), &err);
        return f ? f->read(0) : -1;
    }
};

// The interval was taken for N1 as well: a 5 s interval made a step of 5000
// ticks, hours of heating instead of the ticks asked for.
TEST_F(IdentifyRun, TheIntervalIsNotTakenForTheTicks) {
    EXPECT_EQ(identify("--ticks 64998 --interval 200"), 2) << slurp(dir / "err");
    EXPECT_NE(slurp(dir / "err").find("together at most 64999"), std::string::npos)
        << slurp(dir / "err");
}

TEST_F(IdentifyRun, RecoversTheSimulatedPlantAndWritesTheTuning) {
    // Plant: 0.9 °C per percent (the default --gain), tau 20 s / 5 = 4 s of wall time.
    startSim({"--tau", "20"});
    ASSERT_EQ(identify("--ticks 14 --json --write-settings " + (dir / "s.ini").string()), 0)
        << slurp(dir / "err");
    const std::string json = slurp(dir / "out");
    EXPECT_NEAR(jsonValue(json, "gain_c_per_pct"), 0.9, 0.09) << json;
    EXPECT_NEAR(jsonValue(json, "tau_s"), 4.0, 0.4) << json;
    EXPECT_EQ(lastHeater(), 0); // switched off before the fit
    // The settings file keeps its devices and takes SIMC-PID's C0_2, in the
    // decimal mark of the locale the program runs in.
    const std::string ini = slurp(dir / "s.ini");
    EXPECT_NE(ini.find("COM1=" + (dir / "adapter").string()), std::string::npos) << ini;
    const auto at = ini.find("C0_2=");
    ASSERT_NE(at, std::string::npos) << ini;
    std::string c02 = ini.substr(at + 5, ini.find('\n', at) - at - 5);
    for (char& c : c02)
        c = c == ',' ? '.' : c;
    EXPECT_NEAR(std::stod(c02), jsonValue(json, "C0_2", "\"SIMC-PID\""), 1e-9) << ini;
    // Whatever the locale of the window that opens it next: a file written
    // under C lost its coefficients in a Russian window, silently.
    for (const char windowMark : {'.', ','}) {
        const thermo::TControlParams p =
            thermo::LoadSettings((dir / "s.ini").string(), windowMark).params;
        EXPECT_NEAR(p.C0_2, jsonValue(json, "C0_2", "\"SIMC-PID\""), 1e-9) << windowMark;
        EXPECT_NEAR(p.C1_2, jsonValue(json, "C1_2", "\"SIMC-PID\""), 1e-9) << windowMark;
        EXPECT_NEAR(p.C2_2, jsonValue(json, "C2_2", "\"SIMC-PID\""), 1e-9) << windowMark;
    }

    // The span printed fits the same from the archive, to the last bit. They
    // differed: the archive's fit took the switching tick alone as the level,
    // the run's every reading of the hold stamped at the tick's start, not
    // as recorded (K 0.996 against 0.977 on a plant with the sensor's lag).
    const int first = int(jsonValue(json, "first")), last = int(jsonValue(json, "last"));
    EXPECT_EQ(first, 3) << json; // the run's first tick records nothing
    EXPECT_EQ(jsonValue(json, "baseline"), 2) << json;
    auto archived = [&](int a, int b, const std::string& more) {
        return cli("archive identify " + (dir / "step.txt").string() + " --step 0:50 --json" +
                   " --first " + std::to_string(a) + " --last " + std::to_string(b) + more);
    };
    ASSERT_EQ(archived(first, last, " --baseline 2"), 0) << slurp(dir / "err");
    EXPECT_EQ(slurp(dir / "out"), json);
    // No span given: the one the experiment noted beside its archive.
    ASSERT_EQ(cli("archive identify " + (dir / "step.txt").string() + " --json"), 0)
        << slurp(dir / "err");
    EXPECT_EQ(slurp(dir / "out"), json);
    // A start two ticks late: the response had begun. Too short a span.
    EXPECT_EQ(archived(first + 2, last, ""), 4);
    EXPECT_NE(slurp(dir / "out").find("\"reason\": \"response_begun\""), std::string::npos)
        << slurp(dir / "out");
    EXPECT_EQ(archived(first, first + 5, ""), 4);
    EXPECT_NE(slurp(dir / "out").find("\"reason\": \"too_short\""), std::string::npos)
        << slurp(dir / "out");
}

TEST_F(IdentifyRun, DeadTimeWithinOneAndAHalfIntervals) {
    // 20 s of dead time at speed 5: 4 s of wall time; tau 4 s as above.
    startSim({"--tau", "20", "--dead-time", "20"});
    ASSERT_EQ(identify("--ticks 16 --json"), 0) << slurp(dir / "err");
    const std::string json = slurp(dir / "out");
    EXPECT_NEAR(jsonValue(json, "dead_time_s"), 4.0, 1.5) << json;
    EXPECT_NEAR(jsonValue(json, "gain_c_per_pct"), 0.9, 0.09) << json;
}

} // namespace
