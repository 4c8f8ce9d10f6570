#include "run/step_experiment.h"

#include <algorithm>

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

void StepExperiment::afterTick(const TickReport& r, const TArchiveRecord& recorded) {
    const long tick = ticksRun_++;
    if (!r.sampleAdded)
        return; // nothing in the archive: the run's first tick, or no reading
    ++added_;
    if (tick >= plan_.hold + plan_.ticks || (abandoned_ && tick >= closingTick_))
        return; // the closing tick: its heater is off
    if (tick == plan_.hold) {
        first_ = prior_ + added_;
        beforeFirst_ = records_.size();
    }
    records_.push_back(recorded);
}

StepSpan StepExperiment::span(double intervalS) const {
    if (first_ == 0) {
        StepSpan none;
        none.intervalS = intervalS;
        return none;
    }
    const std::size_t baseline = std::min(beforeFirst_, kDefaultBaseline);
    const std::size_t from = beforeFirst_ - baseline;
    return stepSpan(std::span(records_).subspan(from), first_, baseline, intervalS);
}

} // namespace thermo
