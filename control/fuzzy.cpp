#include "control/fuzzy.h"

#include <algorithm>

#include "control/membership.h"
#include "control/pid.h"

namespace thermo {

double clampToUniverse(double v, double left, double right) {
    if (v > right / 10.0)
        v = right / 10.0;
    if (v < -left / 10.0)
        v = -left / 10.0;
    return v;
}

void inferRules(const TControlParams& p, double otkl, double skor, double termScale,
                TFuzzyStep& step) {
    const TermBreakpoints dev = deviationTerms(p);
    const TermBreakpoints rate = rateTerms(p);
    const double muDev[3] = {mu(1, otkl, dev), mu(2, otkl, dev), mu(3, otkl, dev)};
    const double muRate[3] = {mu(1, skor, rate), mu(2, skor, rate), mu(3, skor, rate)};
    step.mu_mal_otkl = muDev[0];
    step.mu_norm_otkl = muDev[1];
    step.mu_bol_otkl = muDev[2];
    step.mu_mal_skor = muRate[0];
    step.mu_norm_skor = muRate[1];
    step.mu_bol_skor = muRate[2];

    struct Slot {
        std::uint8_t term;
        double strength;
    };
    Slot slots[4];
    int used = 0;  // slots taken
    int fired = 0; // fired rules seen, of which the first four count
    step.Rule_mask = 0;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const int k = 3 * i + j; // rule k + 1
            const bool fires = muDev[i] > 0 && muRate[j] > 0;
            step.alfa[k] = fires ? std::min(muDev[i], muRate[j]) : 0.0;
            if (!fires)
                continue;
            step.Rule_mask |= 1u << k;
            if (fired++ >= 4)
                continue;
            const std::uint8_t term = p.m[k];
            Slot* same =
                std::find_if(slots, slots + used, [&](const Slot& s) { return s.term == term; });
            if (same != slots + used)
                same->strength = std::max(same->strength, step.alfa[k]);
            else
                slots[used++] = {term, step.alfa[k]};
        }
    }

    double n = 0, d = 0;
    for (int i = 0; i < used; ++i) {
        if (slots[i].term >= 1 && slots[i].term <= 9)
            n += p.vih[slots[i].term - 1] * termScale * slots[i].strength;
        d += slots[i].strength;
    }
    step.Fuzzy_out = d != 0 ? n / d : 0.0;
}

void fuzzyPart(const TControlParams& p, double e, double rate, double termScale, TFuzzyStep& step) {
    step.otkl = clampToUniverse(e, p.otkl_left, p.otkl_right);
    step.skor = clampToUniverse(rate, p.skor_left, p.skor_right);
    inferRules(p, step.otkl, step.skor, termScale, step);
}

double Regul_Fuzzy(const TControlParams& p, TProcessState& s, double e, TFuzzyStep& step) {
    step = TFuzzyStep{};
    const AddonResult addons = regul1Addons(p, s, e);
    step.Addon_1 = addons.Addon_1;
    step.Delta_1 = addons.Delta_1;
    step.addonIndicators = addons.indicators;
    fuzzyPart(p, e, addons.Delta_1, kPercentToCounts, step);
    return step.Fuzzy_out + step.Addon_1;
}

} // namespace thermo
