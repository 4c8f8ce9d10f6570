#pragma once
// Regulator coefficients from a first-order-plus-dead-time model by named
// rules, and their translation into this program's units.
//
// The rules give an ideal (parallel) PID in percent of heater power per °C:
//   u = Kc (e + (1/Ti) integral of e dt + Td de/dt)
// Per tick of h seconds that is Kc e + (Kc h/Ti) S + (Kc Td/h) de, S the
// running sum of errors (this tick's included) and de the change of the
// error since the previous tick: exactly the sums the regulators keep.
// Regulator 2 outputs 0.427 (C0_2 e + C1_2 S + C2_2 de) counts and 234
// counts are 100 %, so each per-tick gain is multiplied by 2.34 / 0.427;
// Regulator 1's add-ons enter its output unscaled, in counts, so by 2.34.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/identify.h"
#include "control/params.h"

namespace thermo {

enum class TuningRule {
    // Skogestad, "Simple analytic rules for model reduction and PID
    // controller tuning", J. Process Control 13 (2003) 291-309:
    // Kc = tau / (K (tauc + theta)), Ti = min(tau, 4 (tauc + theta)).
    SimcPi,
    // The same with Td = theta/3 in the series form, the "improved SIMC" of
    // Grimholt and Skogestad, "Optimal PI and PID control of first-order plus
    // delay processes and evaluation of the original and improved SIMC
    // rules", J. Process Control 70 (2018) 36-46.
    SimcPid,
    // Rivera, Morari and Skogestad, "Internal model control. 4. PID
    // controller design", Ind. Eng. Chem. Process Des. Dev. 25 (1986)
    // 252-265: Kc = (tau + theta/2) / (K (lambda + theta/2)),
    // Ti = tau + theta/2, Td = tau theta / (2 tau + theta).
    ImcPid,
};
inline constexpr std::array<TuningRule, 3> kTuningRules{TuningRule::SimcPi, TuningRule::SimcPid,
                                                        TuningRule::ImcPid};

[[nodiscard]] const char* tuningRuleName(TuningRule rule); // "SIMC-PI", "SIMC-PID", "IMC-PID"
[[nodiscard]] std::optional<TuningRule> tuningRuleFromName(std::string_view name);

// Ideal (parallel) form; Ti infinite for no integral action, Td 0 for none.
struct PidGains {
    double Kc = 0; // percent of heater power per °C
    double Ti = 0; // s
    double Td = 0; // s
};

struct RegulatorCoefficients {
    double C0 = 0, C1 = 0, C2 = 0; // gains of e, the sum of errors, the error's change
};

[[nodiscard]] RegulatorCoefficients regulator2Coefficients(const PidGains& g, double intervalS);
[[nodiscard]] RegulatorCoefficients regulator1Coefficients(const PidGains& g, double intervalS);

struct TuningRequest {
    FopdtModel model;       // gain > 0 and tau > 0
    double intervalS = 1.0; // measurement interval h
    double stepC = 10.0;    // setpoint step the saturation check assumes
    double basePct = 0.0;   // heater power held before that step
};

struct Tuning {
    TuningRule rule = TuningRule::SimcPid;
    double tauC = 0; // closed-loop time constant (lambda of IMC): max(theta, h)
    PidGains textbook;
    RegulatorCoefficients regulator2; // C0_2, C1_2, C2_2
    RegulatorCoefficients regulator1; // C0_1, C1_1, C2_1
    // Heater power the first tick after the setpoint step asks for, without
    // the one-tick derivative kick (kickPct), which comes on top.
    double demandPct = 0;
    double kickPct = 0;
    // The demand leaves 0..100 %: the output stage clamps it to 0..234
    // counts, and meanwhile the integral sum, which has no lower limit and
    // a far upper one, winds up.
    bool saturates = false;
};

[[nodiscard]] Tuning tune(TuningRule rule, const TuningRequest& request);

// Writes the coefficients as the main window's fields would: Regulator 2's
// C0_2..C2_2, or Regulator 1's add-on gains C0_1..C2_1. Switches untouched.
void applyTuning(TControlParams& params, const Tuning& tuning, int regulator);

// The terms of `regulator` (0 proportional, 1 integral, 2 derivative) that
// have a gain but are switched off: the rule counts on them, and the user
// should hear of it.
[[nodiscard]] std::vector<int> termsSwitchedOff(const TControlParams& params, int regulator);

// The warning to show when tuning.saturates, in the program's language;
// empty otherwise.
[[nodiscard]] std::string saturationWarning(const Tuning& tuning, const TuningRequest& request,
                                            char decimalSep);

// The whole exercise on a recorded step: the manual value went from fromPct
// to toPct at span.first. The fit, and when it was not refused, the proposal
// of every rule for a setpoint step of stepC from the power held before.
struct StepIdentification {
    double deltaPct = 0; // the step of power the heater really got
    FopdtFit fit;
    TuningRequest request;
    std::vector<Tuning> tunings; // in the order of kTuningRules; empty when refused
};

[[nodiscard]] StepIdentification identifyStep(const StepSpan& span, double fromPct, double toPct,
                                              double stepC);

} // namespace thermo
