#pragma once
// The parameter set of both regulators, the live values of the control
// cycle, and the intermediate results of one fuzzy evaluation.
//
// Units: temperatures, setpoint and error in degrees Celsius; heater commands
// in PWM counts (0 = off, 234 = full power); the fuzzy universes in tenths of
// a degree (33 means 3.3). A percentage p is p x 2.34 counts; counts are shown
// as percent with the factor 0.427 (exactly, not 1/2.34).

#include <array>
#include <cstdint>

namespace thermo {

inline constexpr double kPercentToCounts = 2.34;
inline constexpr double kCountsToPercent = 0.427;
inline constexpr double kIntegralLimit = 1'000'000.0;
inline constexpr double kFullPower = 234.0;
// Over-temperature: a reading above it raises the alarm and switches the
// heater off (degrees Celsius; the alarm panel's caption states it).
inline constexpr double kAlarmTemperature = 125.0;

// The field names are the settings file's keys.
struct TControlParams {
    // Regulator 1's add-ons (gains of error, Summa_1 and the error difference).
    double C0_1 = 20.0;
    double C1_1 = 0.2;
    double C2_1 = 2.0;
    // Regulator 2, the PID law.
    double C0_2 = 10.0;
    double C1_2 = 0.12;
    double C2_2 = 22.0;

    // Universe ends, in tenths: the deviation is clamped to
    // [-otkl_left/10, otkl_right/10], the rate likewise.
    double otkl_left = 33.0;
    double otkl_right = 33.0;
    double skor_left = 11.0;
    double skor_right = 11.0;

    // Term breakpoints in degrees (deviation) and degrees per tick (rate).
    // A1, B1 and A2 are magnitudes, used negated.
    double otkl_A1 = 3.0, otkl_B1 = 0.0;
    double otkl_A2 = 3.0, otkl_B2 = 0.0, otkl_C2 = 3.0;
    double otkl_A3 = 0.0, otkl_B3 = 3.0;
    double skor_A1 = 1.0, skor_B1 = 0.0;
    double skor_A2 = 1.0, skor_B2 = 0.0, skor_C2 = 1.0;
    double skor_A3 = 0.0, skor_B3 = 1.0;

    // vih[n-1] is output term n (`vih_n`), in percent of full power; values
    // above 100 are allowed and kept.
    std::array<std::uint8_t, 9> vih{5, 15, 50, 70, 90, 120, 155, 170, 190};
    // m[k-1] is the rule base entry `mk`: the output term that rule k fires.
    // Rule k = 3 (i - 1) + j for deviation term i and rate term j.
    std::array<std::uint8_t, 9> m{1, 2, 4, 2, 4, 6, 4, 6, 8};

    bool prop_1 = false, integ_1 = false, diff_1 = true;
    bool prop_2 = true, integ_2 = true, diff_2 = true;

    bool operator==(const TControlParams&) const = default;
};

struct TProcessState {
    double Zadan = 0;       // setpoint
    double Temper = 0;      // last measured temperature
    double Oshibka = 0;     // Zadan - Temper; positive when the plant is too cold
    std::uint16_t Takt = 1; // tick counter, wraps from 65535 to 0
    double OUT_Regul1 = 0;
    double OUT_Regul2 = 0;
    double OUT_Regul = 0;
    double Summa_1 = 0;
    double Summa_2 = 0;
    double Oshibka_pred_1 = 0;
    double Oshibka_pred_2 = 0;
    bool First_1 = true; // never re-armed during a run of the program
    bool First_2 = true;
};

// What an indicator of an add-on or PID term shows after a call: a value, or
// nothing when the indicator keeps its previous text.
struct TermIndicators {
    bool prop = false, integ = false, diff = false; // written on this call
    double propValue = 0, integValue = 0, diffValue = 0;
};

struct TFuzzyStep {
    double Addon_1 = 0;
    double Delta_1 = 0;
    double otkl = 0;
    double skor = 0;
    double mu_mal_otkl = 0, mu_norm_otkl = 0, mu_bol_otkl = 0;
    double mu_mal_skor = 0, mu_norm_skor = 0, mu_bol_skor = 0;
    std::array<double, 9> alfa{}; // alfa[k-1] is the strength of rule k
    std::uint32_t Rule_mask = 0;  // bit k-1 set when rule k fired
    double Fuzzy_out = 0;
    TermIndicators addonIndicators; // Ind_Reg1_Prop / _Integ / _Diff
};

} // namespace thermo
