#pragma once
// The archive window's replay: how both regulators stood at a recorded
// sample, recomputed from the sample, the sample before it and the
// configuration record in force. It shares the membership function and the
// rule inference with the live controller and differs from it only where the
// archive holds less than the live cycle knows:
//
// - the error is the record's setpoint minus the sample's temperature, and
//   its difference d = T(i - 1) - T(i) uses that one setpoint for both;
// - the recorded integral sums stand in for the accumulated ones, limited
//   above to 1,000,000;
// - the fuzzy rate input is d always (the live regulator feeds 0 while its
//   differential add-on is off);
// - the weighted average is over the output terms in percent (no factor
//   2.34), and Regulator 1's result is (F + add-ons) x 0.427, while
//   Regulator 2's result is its plain sum;
// - prop_1 comes from the record, the other five add-on switches from the
//   archive window's check boxes.
//
// Everything here is a function of its arguments: no live state is read or
// written. The window draws what the results say (the "0.00" pattern for
// every number, the term curves through membershipCurve with the record's
// universes and breakpoints).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "control/params.h"
#include "storage/archive_record.h"
#include "storage/reader.h"

namespace thermo {

// The archive window's add-on check boxes that the replay reads.
struct ReplaySwitches {
    bool integ_1 = false; // Check_Reg1_Integ
    bool diff_1 = true;   // Check_Reg1_Diff
    bool prop_2 = true;   // Check_Reg2_Prop
    bool integ_2 = true;  // Check_Reg2_Integ
    bool diff_2 = true;   // Check_Reg2_Diff
};

// The boxes as the sample display sets them from a record.
[[nodiscard]] ReplaySwitches switchesOf(const TConfigRecord& record);

struct ReplayInputs {
    double e = 0;      // Zadan - T(i)
    double e_prev = 0; // Zadan - T(i - 1)
    double d = 0;      // e - e_prev
    double S1 = 0;     // Summa_1, at most 1,000,000
    double S2 = 0;     // Summa_2, at most 1,000,000
};

[[nodiscard]] ReplayInputs replayInputs(const TConfigRecord& record, const TArchiveRecord& sample,
                                        const TArchiveRecord& before);

struct PidReplay {
    double out = 0;            // counts, unscaled
    TermIndicators indicators; // Ind_Reg2_*: term x 0.427; unset ones keep their text
};

struct FuzzyReplay {
    double out = 0; // (F + Addon_1) x 0.427
    // otkl/skor: the clamped inputs (the chart markers); the six memberships
    // (ind_*_otkl, ind_*_skor); alfa and Rule_mask (the rule cells);
    // Fuzzy_out = F (0 when no rule fires); Addon_1; addonIndicators
    // (Ind_Reg1_*: term x 0.427).
    TFuzzyStep step;
};

// `before` is the sample at position i - 1 (a record of zeros for i = 1).
[[nodiscard]] PidReplay Arhiv_Pid(const TConfigRecord& record, const TArchiveRecord& sample,
                                  const TArchiveRecord& before, const ReplaySwitches& boxes);
[[nodiscard]] FuzzyReplay Arhiv_Fuzzy(const TConfigRecord& record, const TArchiveRecord& sample,
                                      const TArchiveRecord& before, const ReplaySwitches& boxes);

// The colour of the nine rule cells: true (green, RGB 0 128 0) where bit
// k - 1 of the mask is set, false (the window colour) elsewhere.
[[nodiscard]] std::array<bool, 9> Arhiv_Baza(std::uint32_t mask);

struct ReplayView {
    bool fuzzyShown = false; // P_Fuzzy shown; when hidden, Regulator 1's
                             // displays keep what they showed
    bool pidShown = false;   // P_Pid
    std::optional<FuzzyReplay> fuzzy;
    std::optional<PidReplay> pid;
    double R1 = 0, R2 = 0, total = 0; // Ind_OUT_Regul1, Ind_OUT_Regul2, Ind_OUT_Regul
};

[[nodiscard]] ReplayView ShowReplay(const TConfigRecord& record, const TArchiveRecord& sample,
                                    const TArchiveRecord& before, const ReplaySwitches& boxes);

// Configuration record k (1 .. ConfigCount) and sample i (1 .. SampleCount)
// of an archive read into memory. Positions outside the counts throw
// std::out_of_range rather than show stale records of an earlier archive.
[[nodiscard]] ReplayView ShowReplay(const ArchiveReader& archive, std::size_t k, std::size_t i,
                                    const ReplaySwitches& boxes);

} // namespace thermo
