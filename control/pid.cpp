#include "control/pid.h"

namespace thermo {
namespace {

double addLimited(double sum, double e) {
    const double next = sum + e;
    return next > kIntegralLimit ? kIntegralLimit : next;
}

} // namespace

PidResult Regul_Pid(const TControlParams& p, TProcessState& s, double e) {
    PidResult r;
    if (s.First_2) {
        s.Oshibka_pred_2 = e;
        s.Summa_2 = e;
        s.First_2 = false;
        double sum = 0;
        if (p.prop_2)
            sum += p.C0_2 * e;
        if (p.integ_2)
            sum += p.C1_2 * s.Summa_2;
        r.out = kCountsToPercent * sum;
        return r;
    }

    double sum = 0;
    s.Summa_2 = addLimited(s.Summa_2, e);
    auto& ind = r.indicators;
    if (p.prop_2) {
        sum += p.C0_2 * e;
        ind.prop = true;
        ind.propValue = kCountsToPercent * p.C0_2 * e;
    }
    if (p.integ_2) {
        sum += p.C1_2 * s.Summa_2;
        ind.integ = true;
        ind.integValue = kCountsToPercent * p.C1_2 * s.Summa_2;
    }
    if (p.diff_2) {
        const double de = e - s.Oshibka_pred_2;
        sum += p.C2_2 * de;
        ind.diff = true;
        ind.diffValue = kCountsToPercent * p.C2_2 * de;
    }
    s.Oshibka_pred_2 = e;
    r.out = kCountsToPercent * sum;
    return r;
}

AddonResult regul1Addons(const TControlParams& p, TProcessState& s, double e) {
    AddonResult r;
    if (s.First_1) {
        s.Oshibka_pred_1 = e;
        s.Summa_1 = e;
        if (p.prop_1)
            r.Addon_1 += p.C0_1 * e;
        if (p.integ_1)
            r.Addon_1 += p.C1_1 * s.Summa_1;
        r.Delta_1 = 0;
        s.First_1 = false;
        return r;
    }

    s.Summa_1 = addLimited(s.Summa_1, e);
    auto& ind = r.indicators;
    if (p.prop_1) {
        r.Addon_1 += p.C0_1 * e;
        ind.prop = true;
        ind.propValue = kCountsToPercent * p.C0_1 * e;
    }
    if (p.integ_1) {
        ind.integ = true;
        ind.integValue = kCountsToPercent * p.C1_1 * s.Summa_1;
        r.Addon_1 += p.C1_1 * s.Summa_1;
    } else {
        s.Summa_1 = 0;
    }
    if (p.diff_1) {
        r.Delta_1 = e - s.Oshibka_pred_1;
        r.Addon_1 += p.C2_1 * r.Delta_1;
        ind.diff = true;
        ind.diffValue = kCountsToPercent * p.C2_1 * r.Delta_1;
    }
    s.Oshibka_pred_1 = e;
    return r;
}

} // namespace thermo
