#include "control/pid.h"

namespace thermo {
namespace {

// A run's first call seeds the sum and the previous error with e (and has
// no difference to weigh); a later one adds e to the sum, limited above.
// True on the first call.
bool advanceSum(double& sum, double& previous, bool& first, double e) {
    if (first) {
        previous = e;
        sum = e;
        first = false;
        return true;
    }
    const double next = sum + e;
    sum = next > kIntegralLimit ? kIntegralLimit : next;
    return false;
}

} // namespace

ThreeTermSum threeTerms(const ThreeTermLaw& law, double e, double S, double d) {
    ThreeTermSum r;
    auto& ind = r.indicators;
    if (law.prop) {
        r.sum += law.C0 * e;
        ind.prop = true;
        ind.propValue = kCountsToPercent * law.C0 * e;
    }
    if (law.integ) {
        r.sum += law.C1 * S;
        ind.integ = true;
        ind.integValue = kCountsToPercent * law.C1 * S;
    }
    if (law.diff) {
        r.sum += law.C2 * d;
        ind.diff = true;
        ind.diffValue = kCountsToPercent * law.C2 * d;
    }
    return r;
}

PidResult Regul_Pid(const TControlParams& p, TProcessState& s, double e) {
    const bool first = advanceSum(s.Summa_2, s.Oshibka_pred_2, s.First_2, e);
    const ThreeTermLaw law{p.C0_2, p.C1_2, p.C2_2, p.prop_2, p.integ_2, p.diff_2 && !first};
    const ThreeTermSum terms = threeTerms(law, e, s.Summa_2, e - s.Oshibka_pred_2);
    s.Oshibka_pred_2 = e;
    PidResult r;
    r.out = kCountsToPercent * terms.sum;
    if (!first)
        r.indicators = terms.indicators;
    return r;
}

AddonResult regul1Addons(const TControlParams& p, TProcessState& s, double e) {
    const bool first = advanceSum(s.Summa_1, s.Oshibka_pred_1, s.First_1, e);
    AddonResult r;
    if (p.diff_1 && !first)
        r.Delta_1 = e - s.Oshibka_pred_1;
    const ThreeTermLaw law{p.C0_1, p.C1_1, p.C2_1, p.prop_1, p.integ_1, p.diff_1 && !first};
    const ThreeTermSum terms = threeTerms(law, e, s.Summa_1, r.Delta_1);
    r.Addon_1 = terms.sum;
    if (!first) {
        r.indicators = terms.indicators;
        if (!p.integ_1)
            s.Summa_1 = 0;
    }
    s.Oshibka_pred_1 = e;
    return r;
}

} // namespace thermo
