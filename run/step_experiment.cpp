#include "run/step_experiment.h"

namespace thermo {

bool validStepPlan(const StepPlan& p) {
    auto percent = [](int v) { return v >= 0 && v <= 100; };
    return percent(p.fromPct) && percent(p.toPct) && p.fromPct != p.toPct && p.hold >= 1 &&
           p.ticks >= static_cast<long>(kMinFitSamples) && p.hold + p.ticks <= kMaxStepTicks;
}

StepExperiment::StepExperiment(StepPlan plan, std::size_t priorSamples)
    : plan_(plan), prior_(priorSamples) {}

bool StepExperiment::finished() const {
    return abandoned_ ? ticksRun_ > closingTick_ : ticksRun_ >= totalTicks();
}

void StepExperiment::abandon() {
    if (abandoned_ || finished())
        return;
    abandoned_ = true;
    closingTick_ = ticksRun_;
}

int StepExperiment::percentAt(long tick) const {
    if (abandoned_ && tick >= closingTick_)
        return 0;
    if (tick < plan_.hold)
        return plan_.fromPct;
    if (tick < plan_.hold + plan_.ticks)
        return plan_.toPct;
    return 0;
}

void StepExperiment::beforeTick(CycleControls& c) const {
    const int p = percentAt(ticksRun_);
    c.Check_shim = p > 0;
    c.UpDown2 = p > 0 ? p : 1; // the up-down's range starts at 1
    c.Check_Fuzzy = c.Check_PID = false;
    c.SpeedButton1 = false;
    c.stepExperiment = true;
}

void StepExperiment::afterTick(const TickReport& r, double temper) {
    const long tick = ticksRun_++;
    if (r.sampleAdded)
        ++added_;
    if (tick >= plan_.hold + plan_.ticks || (abandoned_ && tick >= closingTick_))
        return; // the closing tick: its heater is off
    if (tick == plan_.hold)
        first_ = prior_ + added_;
    last_ = prior_ + added_;
    times_.push_back(r.timeOfDay);
    measured_.push_back(!r.nothingMeasured);
    temper_.push_back(temper);
}

StepSpan StepExperiment::span(double intervalS) const {
    StepSpan s;
    s.intervalS = intervalS;
    s.first = first_;
    s.last = last_;
    const std::vector<double> t =
        secondsFromTimesOfDay(times_, static_cast<std::size_t>(plan_.hold));
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (measured_[i]) {
            s.t.push_back(t[i]);
            s.y.push_back(temper_[i]);
        }
    }
    return s;
}

} // namespace thermo
