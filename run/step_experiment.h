#pragma once
// The step experiment, tick by tick: manual mode at P0 for N0 ticks, at P1
// for N1 ticks, then one tick at 0 that switches the heater off. It runs in
// the ordinary control cycle (every safety stop of a run applies, since it
// is the same tick); this class only says what each tick's controls are,
// keeps the positions of the step in the archive and the readings the fit
// takes. The main window's "опыт со ступенькой" and `thermostand-cli
// identify` drive it alike. The readings it keeps are the records the
// archive got, so its span fits exactly as the same span of the archive.

#include <cstddef>
#include <vector>

#include "analysis/identify.h"
#include "analysis/step_span.h"
#include "run/cycle.h"
#include "run/stand.h"
#include "storage/archive_record.h"

namespace thermo {

struct StepPlan {
    int fromPct = 0; // P0, whole percent 0..100
    int toPct = 0;   // P1, different from P0; below it for a cooling step
    long hold = 0;   // N0 ticks at P0, 1 or more (kMinHoldTicks for a fit)
    long ticks = 0;  // N1 ticks at P1, kMinFitSamples or more
};

// The fewest N0 that leave the fit its level (kMinLevelSamples with the
// switching tick's reading): the run's first tick records nothing. The
// window and the command line ask for as many.
inline constexpr long kMinHoldTicks = static_cast<long>(kMinLevelSamples);

// The archive holds positions 1 .. kMaxSamplePosition and a run's first
// tick records nothing.
inline constexpr long kMaxStepTicks = kMaxSamplePosition - 1; // N0 + N1

[[nodiscard]] bool validStepPlan(const StepPlan& plan);

class StepExperiment {
public:
    // priorSamples: samples the archive already holds (the run appends).
    StepExperiment(StepPlan plan, std::size_t priorSamples);

    [[nodiscard]] const StepPlan& plan() const { return plan_; }
    // N0 + N1 + the closing tick.
    [[nodiscard]] long totalTicks() const { return plan_.hold + plan_.ticks + 1; }
    [[nodiscard]] long ticksRun() const { return ticksRun_; }
    [[nodiscard]] bool finished() const;
    // Cut short by the user: the next tick is the closing one, at 0, and
    // there is nothing to fit after it.
    void abandon();
    [[nodiscard]] bool abandoned() const { return abandoned_; }
    // The manual value of tick n (from 0): P0, P1, then 0.
    [[nodiscard]] int percentAt(long tick) const;

    // Before the next tick: its controls. 0 % is no manual mode, and with
    // both regulators and forced heat off that is the command 0.
    void beforeTick(CycleControls& c) const;
    // After a tick that ran to its end, with the record it appended to the
    // archive (read only when r.sampleAdded).
    void afterTick(const TickReport& r, const TArchiveRecord& recorded);

    // The step as recorded so far, as stepSpan builds it: the switching tick
    // and the last tick at P1, with up to kDefaultBaseline of the recorded
    // samples before the switch as the level. intervalS is the caller's.
    // Nothing (positions 0) before the switching tick was recorded.
    [[nodiscard]] StepSpan span(double intervalS) const;

private:
    StepPlan plan_;
    std::size_t prior_;
    long ticksRun_ = 0;
    bool abandoned_ = false;
    long closingTick_ = 0;
    std::size_t added_ = 0;
    std::size_t first_ = 0;               // the switching tick's position, 0 until recorded
    std::size_t beforeFirst_ = 0;         // records_ before the switching tick's
    std::vector<TArchiveRecord> records_; // of the ticks at P0 and P1
};

} // namespace thermo
