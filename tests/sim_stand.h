#pragma once
// The project's programs as the end-to-end tests run them: found in the
// build's bin folder (THERMO_BIN_DIR overrides the one compiled in as
// THERMO_DEFAULT_BIN_DIR), their output in files; and a simulated stand on a
// link the test names, in a folder of the test's own (TempDir).
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/temp_dir.h"

extern char** environ;

namespace thermo::testing {

inline std::string binDir() {
    const char* env = std::getenv("THERMO_BIN_DIR");
    return env ? env : THERMO_DEFAULT_BIN_DIR;
}

inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A settings file for a stand: COM1 on the simulator's link, the heater on
// its register file.
inline void writeStandSettings(const std::filesystem::path& ini, const std::filesystem::path& link,
                               const std::filesystem::path& lpt) {
    std::ofstream(ini) << "[devices]\nCOM1=" << link.string() << "\nLPT=sim:" << lpt.string()
                       << "\n";
}

// Starts args[0] with its standard output in `out` and its standard error in
// `err`, or in `out` as well when no `err` is given.
inline pid_t spawn(const std::vector<std::string>& args, const std::filesystem::path& out,
                   const std::filesystem::path& err = {}) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err.empty())
        posix_spawn_file_actions_adddup2(&fa, 1, 2);
    else
        posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ), 0) << args[0];
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// The exit status, or 128 + the signal that ended it.
inline int waitExit(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// thermostand-sim serving `link` and the register file `lpt`, logging to
// `log`, its own output in `out`; stopped with SIGTERM when it goes.
class SimulatedStand {
public:
    SimulatedStand(const std::filesystem::path& link, const std::filesystem::path& lpt,
                   const std::filesystem::path& log, const std::filesystem::path& out,
                   const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{binDir() + "/thermostand-sim",
                                      "--link",
                                      link.string(),
                                      "--lpt",
                                      lpt.string(),
                                      "--log",
                                      log.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        pid_ = spawn(args, out);
        // The link appears only when the stand is ready.
        for (int i = 0; i < 500 && pid_ > 0 && !std::filesystem::is_symlink(link); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ready_ = std::filesystem::is_symlink(link);
    }
    ~SimulatedStand() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitExit(pid_);
        }
    }
    SimulatedStand(const SimulatedStand&) = delete;
    SimulatedStand& operator=(const SimulatedStand&) = delete;

    [[nodiscard]] bool ready() const { return ready_; }
    [[nodiscard]] pid_t pid() const { return pid_; }
    // Stops it now with `sig`; its exit status.
    int stop(int sig = SIGTERM) {
        kill(pid_, sig);
        const int status = waitExit(pid_);
        pid_ = -1;
        return status;
    }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

} // namespace thermo::testing
