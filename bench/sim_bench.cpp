// A reading seen from outside: thermostand-sim runs as its own process with
// realistic UART timing, and we read it as the program and the probe do.
// bus_ratio is the time over the bus's own 8.68 ms (one 9600-baud character
// and 88 at 115200). BM_ProbeCommand runs thermostand-cli probe itself and
// takes the reading times it prints.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <regex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "io/ds18b20.h"
#include "io/serial_port.h"
#include "tests/temp_dir.h"

extern char** environ;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr double kBusSeconds = 10.0 / 9600 + 88 * 10.0 / 115200;

struct SimProcess {
    thermo::testing::TempDir temp{"thermo-bench-sim"};
    const fs::path dir = temp.path();
    fs::path link;
    pid_t pid = -1;
    explicit SimProcess(const std::string& latencyMs) {
        link = dir / "tty";
        const std::string bin = std::string(THERMO_BIN_DIR) + "/thermostand-sim";
        const std::string lpt = (dir / "lpt").string(), log = (dir / "log").string(),
                          l = link.string();
        const char* argv[] = {bin.c_str(), "--link",          l.c_str(),   "--lpt",
                              lpt.c_str(), "--log",           log.c_str(), "--uart-timing",
                              "--latency", latencyMs.c_str(), nullptr};
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn(&pid, bin.c_str(), &fa, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&fa);
        for (int i = 0; i < 500 && !fs::is_symlink(link); ++i)
            std::this_thread::sleep_for(10ms);
    }
    ~SimProcess() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

} // namespace

static void BM_ReadTemperatureFromSimulator(benchmark::State& state) {
    SimProcess sim(std::to_string(state.range(0)));
    thermo::SerialPort port;
    if (!port.OpenCOM(sim.link.string())) {
        state.SkipWithError("thermostand-sim did not come up");
        return;
    }
    port.SetCOMTo(-1, 0, 0, 0, 0);
    double total = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const bool ok = thermo::ReadTemperature(port).ok();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (!ok) {
            state.SkipWithError("reading failed");
            return;
        }
    }
    state.counters["bus_ratio"] = total / static_cast<double>(state.iterations()) / kBusSeconds;
}
BENCHMARK(BM_ReadTemperatureFromSimulator)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("latency_ms")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

static void BM_ProbeCommand(benchmark::State& state) {
    SimProcess sim("0");
    const fs::path ini = sim.dir / "probe.ini";
    std::FILE* f = std::fopen(ini.c_str(), "w");
    std::fprintf(f, "[devices]\nCOM1=%s\nLPT=none\n", sim.link.c_str());
    std::fclose(f);
    const std::string cmd = std::string(THERMO_BIN_DIR) + "/thermostand-cli probe --settings " +
                            ini.string() + " --count 5";
    std::vector<double> ms;
    for (auto _ : state) {
        std::FILE* p = popen(cmd.c_str(), "r");
        char line[512];
        static const std::regex re(R"(°C \(([0-9.]+) ms\))");
        while (p && std::fgets(line, sizeof line, p)) {
            std::cmatch m;
            if (std::regex_search(line, m, re))
                ms.push_back(std::stod(m[1]));
        }
        if (!p || pclose(p) != 0) {
            state.SkipWithError("probe failed");
            return;
        }
    }
    if (ms.empty())
        return;
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    state.counters["reading_ms"] = median;
    state.counters["bus_ratio"] = median / 1000.0 / kBusSeconds;
}
BENCHMARK(BM_ProbeCommand)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
