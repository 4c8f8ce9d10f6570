#pragma once
// Keeps the control cycle's ticks out of a command's own work. A command
// that lets events through while it works (the progress window does, to get
// itself drawn before an export holds the event loop) would otherwise run a
// tick, and the tick's message boxes, in its middle. A tick that falls due
// while held waits; when the last hold ends, one tick runs for all the
// intervals that passed, as timer events that wait are merged.

#include <functional>
#include <utility>

namespace thermo {

class TickGate {
public:
    // runWaiting: how a tick that waited is run once the gate opens; the
    // window queues it, so it runs after whatever released the gate.
    explicit TickGate(std::function<void()> runWaiting) : runWaiting_(std::move(runWaiting)) {}

    void hold() { ++holds_; }
    void release() {
        if (holds_ > 0 && --holds_ == 0 && waiting_)
            runWaiting_();
    }

    // Asked by the timer: true when the tick may run now. Otherwise the tick
    // is remembered until the gate opens.
    [[nodiscard]] bool admit() {
        waiting_ = holds_ > 0;
        return !waiting_;
    }
    [[nodiscard]] bool tickWaiting() const { return waiting_; }
    [[nodiscard]] bool held() const { return holds_ > 0; }

private:
    std::function<void()> runWaiting_;
    int holds_ = 0;
    bool waiting_ = false;
};

} // namespace thermo
