#include "analysis/replay.h"

#include <stdexcept>
#include <string>

#include "control/fuzzy.h"
#include "control/pid.h"

namespace thermo {

namespace {

double limitSum(double s) {
    return s > kIntegralLimit ? kIntegralLimit : s;
}

} // namespace

ReplaySwitches switchesOf(const TConfigRecord& r) {
    return {r.params.integ_1, r.params.diff_1, r.params.prop_2, r.params.integ_2, r.params.diff_2};
}

ReplayInputs replayInputs(const TConfigRecord& record, const TArchiveRecord& sample,
                          const TArchiveRecord& before) {
    ReplayInputs in;
    in.e = record.Zadan - sample.Temper;
    in.e_prev = record.Zadan - before.Temper;
    in.d = in.e - in.e_prev;
    in.S1 = limitSum(sample.Summa_1);
    in.S2 = limitSum(sample.Summa_2);
    return in;
}

PidReplay Arhiv_Pid(const TConfigRecord& record, const TArchiveRecord& sample,
                    const TArchiveRecord& before, const ReplaySwitches& boxes) {
    const TControlParams& p = record.params;
    const ReplayInputs in = replayInputs(record, sample, before);
    const ThreeTermLaw law{p.C0_2, p.C1_2, p.C2_2, boxes.prop_2, boxes.integ_2, boxes.diff_2};
    const ThreeTermSum terms = threeTerms(law, in.e, in.S2, in.d);
    return {terms.sum, terms.indicators};
}

FuzzyReplay Arhiv_Fuzzy(const TConfigRecord& record, const TArchiveRecord& sample,
                        const TArchiveRecord& before, const ReplaySwitches& boxes) {
    const TControlParams& p = record.params;
    const ReplayInputs in = replayInputs(record, sample, before);
    FuzzyReplay r;
    TFuzzyStep& st = r.step;
    const ThreeTermLaw law{p.C0_1, p.C1_1, p.C2_1, p.prop_1, boxes.integ_1, boxes.diff_1};
    const ThreeTermSum terms = threeTerms(law, in.e, in.S1, in.d);
    st.Addon_1 = terms.sum;
    st.addonIndicators = terms.indicators;
    st.Delta_1 = in.d;
    // The archive averages the output terms as percentages.
    fuzzyPart(p, in.e, in.d, 1.0, st);
    r.out = (st.Fuzzy_out + st.Addon_1) * kCountsToPercent;
    return r;
}

std::array<bool, 9> Arhiv_Baza(std::uint32_t mask) {
    std::array<bool, 9> green{};
    for (std::size_t k = 0; k < green.size(); ++k)
        green[k] = (mask >> k) & 1u;
    return green;
}

ReplayView ShowReplay(const TConfigRecord& record, const TArchiveRecord& sample,
                      const TArchiveRecord& before, const ReplaySwitches& boxes) {
    ReplayView v;
    v.fuzzyShown = record.Fuzzy_on;
    if (record.Fuzzy_on) {
        v.fuzzy = Arhiv_Fuzzy(record, sample, before, boxes);
        v.R1 = v.fuzzy->out;
    }
    v.pidShown = record.PID_on;
    if (record.PID_on) {
        v.pid = Arhiv_Pid(record, sample, before, boxes);
        v.R2 = v.pid->out;
    }
    v.total = v.R1 + v.R2;
    return v;
}

ReplayView ShowReplay(const ArchiveReader& archive, std::size_t k, std::size_t i,
                      const ReplaySwitches& boxes) {
    if (k < 1 || k > archive.ConfigCount || i < 1 || i > archive.SampleCount)
        throw std::out_of_range("no configuration " + std::to_string(k) + " or sample " +
                                std::to_string(i) + " in the archive");
    return ShowReplay(archive.Configs[k], archive.Samples[i], archive.Samples[i - 1], boxes);
}

} // namespace thermo
