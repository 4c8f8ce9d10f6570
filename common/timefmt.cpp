#include "common/timefmt.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace thermo {

namespace {
constexpr long long kMsPerDay = 86'400'000;
}

double timeOfDayFromMs(long long msSinceMidnight) {
    return static_cast<double>(msSinceMidnight) / static_cast<double>(kMsPerDay);
}

double localTimeOfDay() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const long long ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    return timeOfDayFromMs(((local.tm_hour * 60LL + local.tm_min) * 60 + local.tm_sec) * 1000 + ms);
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
