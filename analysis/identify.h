#pragma once
// A first-order-plus-dead-time model fitted to the plant's response to a
// step of heater power, the classic first exercise on the stand:
//
//   y(t) = y0                                      for t <= theta
//   y(t) = y0 + K dP (1 - exp(-(t - theta) / tau))  for t >  theta
//
// t in seconds from the tick that switched the heater (its own reading was
// taken before the switch, so it belongs to y0), y in °C, dP the step in
// percent of full power, K in °C per percent. The reading of a tick is the
// conversion started at the end of the tick before, so theta includes up to
// one measurement interval of that lag; for tuning that is right, since the
// regulators see the same lag.

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace thermo {

struct FopdtModel {
    double gain = 0;     // K, °C per percent of heater power
    double tau = 0;      // s
    double deadTime = 0; // theta, s, >= 0
    double y0 = 0;       // °C before the response
};

// The model's temperature t seconds after a step of deltaPct percent.
[[nodiscard]] double fopdtResponse(const FopdtModel& m, double deltaPct, double t);

enum class FitRefusal {
    None,
    NoStep,         // the step of power is 0
    TooFlat,        // the temperature changed by less than kMinChange
    WrongDirection, // it moved against the heater step
    TooShort,       // less than kMinResponseTaus time constants observed
    PoorFit,        // residual above kMaxRmsShare of the change
    ShortLevel,     // fewer than kMinLevelSamples samples at t <= 0
    NotSteady,      // the level moved against the step by more than the noise allows
    ResponseBegun,  // it moved the step's way: the response began before t = 0
};

inline constexpr double kMinChange = 1.0;        // °C
inline constexpr double kMinResponseTaus = 1.5;  // tau after the response starts
inline constexpr double kMaxRmsShare = 0.05;     // of the change
inline constexpr std::size_t kMinFitSamples = 6; // four parameters and some to spare

// The level before the step: the samples at t <= 0, the switching tick's
// reading among them. The model holds y0 there, so a level that moves biases
// every parameter: a start picked after the response began gave K 0.59 and
// then 0.43 for a plant of 0.70, and a dead time of 0. A line through the
// level samples gives the drift across them; it is more than noise when it
// exceeds kLevelSigmas standard errors of itself and kLevelFloor. The noise
// comes from the level's own second differences (by their median, so the
// bend where a response begins does not pass for noise: taken from the
// scatter about the line, it hid a start picked three samples late on a
// plant of 30 s). The floor is two steps of the DS18B20's
// 12-bit reading: a steady temperature between two codes reads as either, so
// a drift of one step can be nothing at all. The direction tells which
// refusal: moving the step's way, the response has begun (or, with the
// switch picked right, the plant was still heading that way at P0); moving
// against it, the plant had not settled.
// Three samples are the fewest whose line has a scatter to judge it by.
inline constexpr double kReadingStep = 0.0625; // °C, one code at 12 bits
inline constexpr double kLevelFloor = 2 * kReadingStep;
inline constexpr double kLevelSigmas = 3.0;
inline constexpr std::size_t kMinLevelSamples = 3;

struct FopdtFit {
    FitRefusal refusal = FitRefusal::None;
    // What the fit found; set for TooShort and PoorFit as well, so a window
    // can draw the curve it refused.
    FopdtModel model;
    double rms = 0; // °C, root mean square of the residuals
    // Approximate 95 % half-widths (linearised at the optimum, Student's t).
    double gainCi = 0, tauCi = 0, deadTimeCi = 0, y0Ci = 0;
    double change = 0;   // °C, from the level before the step to the level at the end
    double observed = 0; // s of response seen: last sample's time - theta
    std::size_t samples = 0;
    // The level's check: its samples, how long it lasted, how far its line
    // moved across it (positive upwards) and how far noise could move it.
    std::size_t levelSamples = 0;
    double levelSeconds = 0, levelDrift = 0, levelTolerance = 0; // s, °C, °C
};

// Least squares over all samples (t ascending; samples at t <= 0 pin y0).
// Refuses, with the reason, a level before the step too short to judge or
// not steady, a step too small to see, a record too short for tau, and a
// response the model does not describe.
[[nodiscard]] FopdtFit fitStep(std::span<const double> t, std::span<const double> y,
                               double deltaPct);

// The reason in the program's language, numbers with the given separator;
// empty when the fit was not refused.
[[nodiscard]] std::string fitRefusalText(const FopdtFit& fit, char decimalSep);

// The samples of a step's response as fitStep takes them, and where they
// lie in the archive.
struct StepSpan {
    std::vector<double> t, y; // s from the switching tick, °C
    double intervalS = 1.0;   // the measurement interval in force
    // Positions of the tick that switched the heater (its reading is the
    // level before the step) and of the last sample of the response.
    std::size_t first = 0, last = 0;
    // Samples before `first` that t and y begin with: with the switching
    // tick's, the level before the step (positions first - baseline .. first).
    std::size_t baseline = 0;
};

// Times of day as the archive stamps its samples (fractions of a day),
// carried over midnight, in seconds from the one at index `origin`: the t
// that fitStep takes.
[[nodiscard]] std::vector<double> secondsFromTimesOfDay(std::span<const double> timeOfDay,
                                                        std::size_t origin);

// The share of full power, in percent, that the heater gets for a manual
// value of p percent: the byte is p x 2.34 rounded half to even, so 33 %
// is 77 counts, 32.9 %.
[[nodiscard]] double appliedPercent(double p);

} // namespace thermo
