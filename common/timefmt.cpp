#include "common/timefmt.h"

#include <cmath>
#include <cstdio>

namespace thermo {

namespace {
constexpr long long kMsPerDay = 86'400'000;
}

std::string formatTimeOfDay(double dayFraction) {
    if (!std::isfinite(dayFraction))
        return "";
    double frac = dayFraction - std::floor(dayFraction);
    // Round to the millisecond first so 0.5 - 1 ulp still reads 12:00:00.
    long long ms = std::llround(frac * kMsPerDay);
    if (ms >= kMsPerDay)
        ms -= kMsPerDay;
    const long long s = ms / 1000;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return buf;
}

} // namespace thermo
