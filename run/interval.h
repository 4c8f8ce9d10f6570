#pragma once
// The measurement interval: Timer1's period, the time between two ticks of
// the control cycle. The interval window's arrows and `thermostand-cli run`
// and `identify` accept this range, in milliseconds.

namespace thermo {

inline constexpr int kMinIntervalMs = 100;
inline constexpr int kMaxIntervalMs = 5000;

} // namespace thermo
