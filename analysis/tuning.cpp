#include "analysis/tuning.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/numfmt.h"

namespace thermo {

const char* tuningRuleName(TuningRule rule) {
    switch (rule) {
    case TuningRule::SimcPi:
        return "SIMC-PI";
    case TuningRule::SimcPid:
        return "SIMC-PID";
    case TuningRule::ImcPid:
        return "IMC-PID";
    }
    return "";
}

std::optional<TuningRule> tuningRuleFromName(std::string_view name) {
    for (TuningRule r : kTuningRules)
        if (name == tuningRuleName(r))
            return r;
    return std::nullopt;
}

namespace {

// Per-tick gains in percent of heater power: of e, of the sum of errors, of
// the error's change.
RegulatorCoefficients perTick(const PidGains& g, double h) {
    return {g.Kc, std::isfinite(g.Ti) && g.Ti > 0 ? g.Kc * h / g.Ti : 0.0, g.Kc * g.Td / h};
}

RegulatorCoefficients scaled(RegulatorCoefficients c, double f) {
    return {c.C0 * f, c.C1 * f, c.C2 * f};
}

} // namespace

RegulatorCoefficients regulator2Coefficients(const PidGains& g, double intervalS) {
    return scaled(perTick(g, intervalS), kPercentToCounts / kCountsToPercent);
}

RegulatorCoefficients regulator1Coefficients(const PidGains& g, double intervalS) {
    return scaled(perTick(g, intervalS), kPercentToCounts);
}

Tuning tune(TuningRule rule, const TuningRequest& req) {
    const double k = req.model.gain, tau = req.model.tau, theta = req.model.deadTime;
    const double h = req.intervalS;
    Tuning t;
    t.rule = rule;
    // Tight tuning: as fast as the dead time allows, but no faster than the
    // loop can act, once per interval.
    t.tauC = std::max(theta, h);
    switch (rule) {
    case TuningRule::SimcPi:
    case TuningRule::SimcPid: {
        const double kc = tau / (k * (t.tauC + theta));
        const double ti = std::min(tau, 4 * (t.tauC + theta));
        if (rule == TuningRule::SimcPi) {
            t.textbook = {kc, ti, 0.0};
        } else {
            // Series Kc (1 + 1/(Ti s)) (1 + Td s) in the parallel form.
            const double td = theta / 3;
            t.textbook = {kc * (1 + td / ti), ti + td, ti * td / (ti + td)};
        }
        break;
    }
    case TuningRule::ImcPid:
        t.textbook = {(tau + theta / 2) / (k * (t.tauC + theta / 2)), tau + theta / 2,
                      tau * theta / (2 * tau + theta)};
        break;
    }
    t.regulator2 = regulator2Coefficients(t.textbook, h);
    t.regulator1 = regulator1Coefficients(t.textbook, h);

    const PidGains& g = t.textbook;
    t.demandPct = req.basePct + g.Kc * req.stepC * (1 + h / g.Ti);
    t.kickPct = g.Kc * g.Td / h * req.stepC;
    t.saturates = t.demandPct > 100.0 || t.demandPct < 0.0;
    return t;
}

void applyTuning(TControlParams& p, const Tuning& t, int regulator) {
    if (regulator == 1) {
        p.C0_1 = t.regulator1.C0;
        p.C1_1 = t.regulator1.C1;
        p.C2_1 = t.regulator1.C2;
    } else {
        p.C0_2 = t.regulator2.C0;
        p.C1_2 = t.regulator2.C1;
        p.C2_2 = t.regulator2.C2;
    }
}

std::vector<int> termsSwitchedOff(const TControlParams& p, int regulator) {
    const bool r1 = regulator == 1;
    const bool on[3] = {r1 ? p.prop_1 : p.prop_2, r1 ? p.integ_1 : p.integ_2,
                        r1 ? p.diff_1 : p.diff_2};
    const double gain[3] = {r1 ? p.C0_1 : p.C0_2, r1 ? p.C1_1 : p.C1_2, r1 ? p.C2_1 : p.C2_2};
    std::vector<int> off;
    for (int k = 0; k < 3; ++k)
        if (gain[k] != 0 && !on[k])
            off.push_back(k);
    return off;
}

std::string saturationWarning(const Tuning& t, const TuningRequest& req, char sep) {
    if (!t.saturates)
        return {};
    auto num = [sep](double v) { return formatFixed(v, "0.#", sep); };
    std::string text = std::string(tuningRuleName(t.rule)) + ": при скачке задания на " +
                       num(req.stepC) + " °C регулятор сразу требует " + num(t.demandPct) +
                       " % мощности";
    if (t.kickPct != 0)
        text += " (и ещё " + num(t.kickPct) + " % на один такт от дифференциальной составляющей)";
    text += t.demandPct > 100 ? ": нагреватель будет работать на полной мощности (234)"
                              : ": нагреватель будет выключен";
    text += ", а интегральная сумма тем временем накапливается без ограничения. Ждите "
            "перерегулирования; уменьшите скачок задания или коэффициенты.";
    return text;
}

StepIdentification identifyStep(const StepSpan& span, double fromPct, double toPct, double stepC) {
    StepIdentification id;
    id.deltaPct = appliedPercent(toPct) - appliedPercent(fromPct);
    id.fit = fitStep(span.t, span.y, id.deltaPct);
    id.request = {id.fit.model, span.intervalS, stepC, appliedPercent(fromPct)};
    if (id.fit.refusal == FitRefusal::None)
        for (TuningRule r : kTuningRules)
            id.tunings.push_back(tune(r, id.request));
    return id;
}

} // namespace thermo
