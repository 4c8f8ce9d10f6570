#pragma once
// Regulator 1: a two-input fuzzy controller (deviation and its change per
// tick, three terms each), min inference, a 3x3 rule base naming one of nine
// singleton output terms, weighted-average defuzzification, plus the
// proportional, integral and differential add-ons of pid.h.

#include "control/params.h"

namespace thermo {

// Clamps v to [-left/10, right/10]: first the upper end, then the lower, so
// with crossed ends the lower one wins.
[[nodiscard]] double clampToUniverse(double v, double left, double right);

// Memberships, rule strengths, fired-rule mask and the defuzzified output for
// given (already clamped) inputs; fills those fields of `step`.
//
// Rule k = 3 (i - 1) + j fires when deviation term i and rate term j both
// have a membership above 0, with the smaller one as its strength. Only the
// first four fired rules (by k) count; those naming the same output term
// merge into one slot with the largest strength. Fuzzy_out = N / D with
// N = sum of vih_n x termScale x strength over slots with n in 1..9 and
// D = sum of all slots' strengths (a term number 0 or above 9 only pulls the
// average towards 0). The live controller works in counts (termScale 2.34);
// the archive replay averages the percentages themselves (termScale 1).
//
// When no rule fires (D = 0) the average has no value; the fuzzy part then
// contributes 0, so the regulator's output is its add-ons alone and the
// heater is never driven from a NaN.
void inferRules(const TControlParams& p, double otkl, double skor, double termScale,
                TFuzzyStep& step);

// The fuzzy part alone, for any inputs: e and rate clamped into their
// universes (into step.otkl, step.skor), then inferRules. The live
// controller, the archive replay and the control surface all go through it,
// so a surface drawn for the students is what the controller computes.
void fuzzyPart(const TControlParams& p, double e, double rate, double termScale, TFuzzyStep& step);

// One tick of Regulator 1 with error e: the add-on stage, the clamped inputs
// (rate = Delta_1, so 0 on the first call and while diff_1 is off) and the
// inference. Returns Fuzzy_out + Addon_1 in counts, not clamped.
double Regul_Fuzzy(const TControlParams& p, TProcessState& s, double e, TFuzzyStep& step);

} // namespace thermo
