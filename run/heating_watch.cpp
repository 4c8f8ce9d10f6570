#include "run/heating_watch.h"

namespace thermo {

bool HeatingWatch::reading(double temper, int sinceLastMs) {
    if (!watching_)
        return false;
    elapsedMs_ += sinceLastMs;
    if (temper - startTemper_ >= kWatchRise) {
        watching_ = false;
        return false;
    }
    if (elapsedMs_ < periodMs_)
        return false;
    reset();
    return true;
}

void HeatingWatch::command(std::uint8_t byte, double temper, double zadan) {
    const bool high = byte >= kWatchCommand;
    if (!high) {
        watching_ = false;
    } else if (!commandHigh_ && zadan - temper >= kWatchBelowSetpoint) {
        watching_ = true;
        startTemper_ = temper;
        elapsedMs_ = 0;
    }
    commandHigh_ = high;
}

void HeatingWatch::reset() {
    watching_ = false;
    commandHigh_ = false;
    elapsedMs_ = 0;
}

} // namespace thermo
