#pragma once
// Times of day as the program keeps them: a fraction of a day (0.5 is noon),
// milliseconds being the finest unit.

#include <string>

namespace thermo {

// The long time format the displays use: the hour without a leading zero,
// minutes and seconds with two digits ("9:05:03"). Milliseconds are dropped,
// not rounded, as a clock shows them.
[[nodiscard]] std::string formatTimeOfDay(double dayFraction);

} // namespace thermo
