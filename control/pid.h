#pragma once
// Regulator 2 (a discrete PID law) and the add-on law that opens every call
// of Regulator 1. Both work in PWM counts and read the switches on every call,
// so a change made by the user acts from the next tick.

#include "control/params.h"

namespace thermo {

// One PID-shaped law: the gains of the error, of the integral sum and of the
// error difference, each term counted only when switched on.
struct ThreeTermLaw {
    double C0 = 0, C1 = 0, C2 = 0;
    bool prop = false, integ = false, diff = false;
};

struct ThreeTermSum {
    double sum = 0;            // C0 e + C1 S + C2 d over the terms switched on
    TermIndicators indicators; // each term switched on, as 0.427 x C x input
};

// The terms switched on, added to 0 in the order e, S, d. Regulator 2,
// Regulator 1's add-ons and the archive replay all sum here, so the replay's
// terms are the live ones to the bit for the same inputs: keep the
// operations and their order.
[[nodiscard]] ThreeTermSum threeTerms(const ThreeTermLaw& law, double e, double S, double d);

struct PidResult {
    double out = 0;            // counts, not clamped: the output stage clamps the total
    TermIndicators indicators; // Ind_Reg2_Prop / _Integ / _Diff
};

// One tick of Regulator 2 with error e. Output = 0.427 x (C0_2 e + C1_2 S +
// C2_2 (e - previous e)), each term only when switched on; S accumulates on
// every call (also while integ_2 is off) and is limited above to 1e6 with no
// lower limit. The first call of a run seeds S and the previous error with e,
// has no differential term and writes no indicator.
[[nodiscard]] PidResult Regul_Pid(const TControlParams& p, TProcessState& s, double e);

struct AddonResult {
    double Addon_1 = 0; // counts, added to the fuzzy output unscaled
    double Delta_1 = 0; // error difference; also the fuzzy rate input
    TermIndicators indicators;
};

// Regulator 1's add-ons: C0_1 e + C1_1 Summa_1 + C2_1 Delta_1, unscaled.
// Unlike Summa_2, Summa_1 is held at 0 while integ_1 is off; Delta_1 is 0
// while diff_1 is off and on the first call.
[[nodiscard]] AddonResult regul1Addons(const TControlParams& p, TProcessState& s, double e);

} // namespace thermo
