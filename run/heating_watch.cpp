#include "run/heating_watch.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace thermo {

namespace {

long long toMs(double seconds) {
    return std::llround(seconds * 1000);
}

} // namespace

std::string watchTripText(WatchTrip trip) {
    switch (trip) {
    case WatchTrip::None:
        break;
    case WatchTrip::NoRise:
        return std::string(kHeatingWithoutRiseText) + kHeatingWithoutRiseHint;
    case WatchTrip::Fell:
        return std::string(kReadingFellText) + kReadingFellHint;
    case WatchTrip::Frozen:
        return std::string(kReadingFrozenText) + kReadingFrozenHint;
    case WatchTrip::BelowSetpoint:
        return std::string(kBelowSetpointText) + kBelowSetpointHint;
    }
    return {};
}

void HeatingWatch::reset() {
    *this = HeatingWatch(s_);
}

// Within watch_fall of the plateau seen, a plant that rose to it once is
// trusted to be there still: from further below, a plant that reached the
// plateau rises watch_rise in a period again (for a first-order plant, as
// long as watch_fall is at least twice watch_rise, hence the margin).
bool HeatingWatch::nearLevel(double temper) const {
    return level_ && temper >= *level_ - std::max(s_.watchFall, 2 * s_.watchRise);
}

bool HeatingWatch::wantsApproach(const HeatingAim& aim, double temper) const {
    return !aim.regulated || (!reached_ && temper < aim.value - s_.hysteresis);
}

// A regulator's overshoot falls back to the setpoint while a wound-up
// integral still drives the heater hard: a fall counts from the setpoint.
double HeatingWatch::clipped(double temper) const {
    return aim_.regulated ? std::min(temper, aim_.value) : temper;
}

void HeatingWatch::settle(double temper) {
    peak_.reset();
    settling_ = true;
    settleRef_ = temper;
    settleMs_ = 0;
}

void HeatingWatch::startApproach(double temper) {
    approaching_ = true;
    // Starting at a plateau seen, the plant has shown that it follows the
    // heater; there, a reading that does not move is the plateau itself.
    fromLevel_ = followed_ = nearLevel(temper);
    ref_ = temper;
    periodMs_ = 0;
    stillMs_ = 0;
}

WatchTrip HeatingWatch::reading(double temper, int sinceLastMs, bool held) {
    const std::optional<double> previous = std::exchange(last_, temper);
    if (!hard_) {
        stillMs_ = 0;
        belowMs_ = 0;
        return WatchTrip::None;
    }
    const long long dt = sinceLastMs;
    const long long periodMs = toMs(s_.watchPeriod);

    if (settling_) {
        // Where the plant goes is not known yet: it may fall to where a lower
        // aim holds it. A rise, or a period without a fall, settles it.
        if (temper < settleRef_ - s_.watchRise) {
            settleRef_ = temper;
            settleMs_ = 0;
        } else if (temper >= settleRef_ + s_.watchRise || (settleMs_ += dt) >= periodMs) {
            settling_ = false;
            peak_ = clipped(temper);
        }
    } else if (peak_) {
        if (temper < *peak_ - s_.watchFall)
            return WatchTrip::Fell;
        peak_ = std::max(*peak_, clipped(temper));
    }

    if (approaching_ && !fromLevel_) {
        if (!held) {
            stillMs_ = previous && temper == *previous ? stillMs_ + dt : 0;
            const long long frozenMs = toMs(s_.frozenPeriod);
            if (stillMs_ >= (followed_ ? std::max(periodMs, frozenMs) : frozenMs))
                return WatchTrip::Frozen;
        }
    } else {
        stillMs_ = 0;
    }

    if (approaching_) {
        periodMs_ += dt;
        // A fixed heat that finds the plant hotter than it holds sees it fall
        // to its plateau: the plant follows the heater all the same.
        const bool fell = !aim_.regulated && ref_ - temper >= s_.watchRise;
        if (temper - ref_ >= s_.watchRise || fell) {
            followed_ = true;
            fromLevel_ = false;
            ref_ = temper;
            periodMs_ = 0;
        } else if (periodMs_ >= periodMs) {
            // Risen, then levelled off: its plateau. A regulator's plant that
            // fell back instead has stopped following it.
            if (!followed_ || (aim_.regulated && temper < ref_ - s_.watchRise))
                return WatchTrip::NoRise;
            approaching_ = false;
        }
        if (approaching_ && !wantsApproach(aim_, temper))
            approaching_ = false; // within the hysteresis of the setpoint
    }
    if (!approaching_)
        level_ = temper;

    if (full_ && aim_.regulated && reached_ && temper < aim_.value - s_.hysteresis) {
        // Only full power counts: below that the regulator has more to give,
        // and one recovering from its own undershoot may creep back for many
        // minutes. Climbing back, each rise of watch_rise above the lowest
        // reading starts the period again.
        if (belowMs_ == 0 || temper < belowRef_)
            belowRef_ = temper;
        if (temper >= belowRef_ + s_.watchRise) {
            belowRef_ = temper;
            belowMs_ = 0;
        }
        if ((belowMs_ += dt) >= toMs(s_.runawayPeriod))
            return WatchTrip::BelowSetpoint;
    } else {
        belowMs_ = 0;
    }
    return WatchTrip::None;
}

void HeatingWatch::command(std::uint8_t byte, double temper, HeatingAim aim) {
    if (aim.regulated && !(aim == aim_)) {
        reached_ = false;
        belowMs_ = 0;
    }
    if (aim.regulated && temper >= aim.value)
        reached_ = true;
    aim_ = aim;
    full_ = byte >= kFullPower;
    if (byte < kWatchCommand) {
        // The strong heating is over: the plant may cool before the next,
        // and a regulator that lets it undershoot is no fault of the sensor.
        hard_ = false;
        peak_.reset();
        return;
    }
    const bool resumed = !hard_;
    hard_ = true;
    const std::optional<HeatingAim> was = std::exchange(hardAim_, aim);
    if (!was) {
        if (wantsApproach(aim, temper))
            startApproach(temper);
        settle(temper); // a plant found hot may be above what this heat holds
        return;
    }
    const bool raised = aim.regulated == was->regulated && aim.value > was->value;
    const bool lowered = aim.regulated == was->regulated && aim.value < was->value;
    if (aim == *was && !resumed)
        return;
    if (aim == *was || raised) {
        if (resumed && !settling_)
            peak_ = clipped(temper);
        if (approaching_) {
            if (resumed) // it may have cooled while the heater was weak
                ref_ = std::min(ref_, temper);
        } else if (wantsApproach(aim, temper) && (raised || !nearLevel(temper))) {
            startApproach(temper);
        }
        return;
    }
    // A lower aim or another mode: where the plant settles is not known, and
    // it may well fall on the way.
    settle(temper);
    if (lowered && !aim.regulated)
        approaching_ = false;
    else if (!approaching_ && wantsApproach(aim, temper))
        startApproach(temper);
    else if (approaching_ && !wantsApproach(aim, temper))
        approaching_ = false;
}

} // namespace thermo
