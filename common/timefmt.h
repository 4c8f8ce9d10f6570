#pragma once
// Times of day as the program keeps them: a fraction of a day (0.5 is noon),
// milliseconds being the finest unit.

#include <string>

namespace thermo {

// The local time of day now, as a fraction of a day with millisecond
// resolution: hours, minutes, seconds and milliseconds summed in whole
// milliseconds and divided by 86 400 000, so 12:00:00.000 gives exactly 0.5.
[[nodiscard]] double localTimeOfDay();

// Whole milliseconds since midnight as the fraction of a day.
[[nodiscard]] double timeOfDayFromMs(long long msSinceMidnight);

// The long time format the displays use: the hour without a leading zero,
// minutes and seconds with two digits ("9:05:03"). Milliseconds are dropped,
// not rounded, as a clock shows them.
[[nodiscard]] std::string formatTimeOfDay(double dayFraction);

} // namespace thermo
