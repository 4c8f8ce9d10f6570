#pragma once
// The program's end of the heater guard (heater_guard.h): starts the guard
// over the heater's registers, sends it heartbeats and heater bytes, and
// hears what it says. Qt-free: the main window watches descriptor() with its
// event loop, the headless run polls it while it waits for the next tick.

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "guard/heater_guard.h"
#include "io/register_device.h"

namespace thermo {

inline constexpr const char* kGuardSwitchedOffText = "Нагреватель выключен: программа не отвечала.";
inline constexpr const char* kGuardLostText = "Защита нагревателя не работает: запуск остановлен.";

enum class GuardNews {
    None,
    SwitchedOff, // the guard wrote 0 while the program did not answer
    Gone,        // the guard is not running, or no longer answers: nothing watches the heater
};

// Whether the user's service manager runs: its private socket in the runtime
// folder (`runtimeDir`, $XDG_RUNTIME_DIR; null: none).
[[nodiscard]] bool userManagerRunning(const char* runtimeDir);
// The systemd-run that puts the guard in a scope of its own under the user's
// service manager, when one runs (empty when not): a kill of the program's
// session, or of its cgroup by the out-of-memory daemon, then leaves the
// guard to switch the heater off.
[[nodiscard]] std::string userScopeRunner();
// The command that starts the guard's `argv`: itself, or through
// `systemdRun`. A scope (not a service) runs the command in place, in the
// process systemd-run was: the descriptors of the tie and the registers pass
// to the guard as they would directly.
[[nodiscard]] std::vector<std::string> guardCommand(const std::vector<std::string>& argv,
                                                    const std::string& systemdRun);

class HeaterGuardLink {
public:
    // Starts the guard executable `exe` over `registers` and waits until it
    // says it holds them all. Through `systemdRun` (userScopeRunner()) it
    // starts in a scope of its own under the user's service manager, and
    // directly when that fails; empty: directly. Either way in a session of
    // its own. Null with *error set when it cannot be started or cannot
    // reach a register.
    [[nodiscard]] static std::unique_ptr<HeaterGuardLink>
    start(const std::string& exe, const std::vector<GuardRegister>& registers, std::string* error,
          const std::string& systemdRun = userScopeRunner());

    // Without bye() the tie closes and the guard switches the heater off.
    ~HeaterGuardLink();
    HeaterGuardLink(const HeaterGuardLink&) = delete;
    HeaterGuardLink& operator=(const HeaterGuardLink&) = delete;

    [[nodiscard]] int descriptor() const { return tie_; }
    [[nodiscard]] pid_t pid() const { return pid_; }

    // Alive, and the heater byte is now `byte` (nothing: not known yet).
    // False once the guard is gone, which includes a guard that has left a
    // beat unanswered for kAckTimeout: it is killed (descriptor() then reads
    // the tie's end, so an event loop watching it calls poll()).
    // Async-signal-safe.
    bool beat(std::optional<std::uint8_t> byte);
    // A hang is `limit` without a beat (guard::hangLimitFor the interval at
    // which the program reads the plant).
    bool setHangLimit(std::chrono::milliseconds limit);
    // The program is ending in order with the heater as it should be: the
    // guard ends without writing. Waits briefly for it to go.
    void bye();
    // What the guard has said since the last call, waiting up to `timeout`
    // for something. Gone, once it is, stays.
    GuardNews poll(std::chrono::milliseconds timeout = std::chrono::milliseconds(0));
    [[nodiscard]] bool gone() const { return gone_; }

private:
    HeaterGuardLink(int tie, pid_t pid) : tie_(tie), pid_(pid) {}
    void reap(std::chrono::milliseconds patience);
    void acknowledged(guard::MonoTime stamp);
    // Stamps are whole milliseconds, cut down: only a difference beyond
    // kAckTimeout is sure to be a full kAckTimeout of real time.
    [[nodiscard]] bool ackOverdue(guard::MonoTime now) const {
        return unanswered_ > 0 && now - sent_[first_] > guard::kAckTimeout;
    }
    // A guard that does not answer guards nothing; killed, it also lets go
    // of the registers' descriptors it shares.
    void giveUp();

    int tie_;
    pid_t pid_;
    bool gone_ = false;
    guard::LineReader lines_;
    // The stamps of the beats sent and not yet acknowledged, oldest first (a
    // ring: no allocation in beat()). More at once only in a flood of beats,
    // whose oldest is what counts.
    std::array<guard::MonoTime, 32> sent_{};
    std::size_t first_ = 0;
    std::size_t unanswered_ = 0;
};

// The guard executable beside the running program's own.
[[nodiscard]] std::string guardBesideProgram();

} // namespace thermo
