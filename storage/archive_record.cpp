#include "storage/archive_record.h"

#include <bit>
#include <cstring>

namespace thermo {

namespace {

void putU16(std::uint8_t* at, std::uint16_t v) {
    at[0] = static_cast<std::uint8_t>(v & 0xFF);
    at[1] = static_cast<std::uint8_t>(v >> 8);
}

std::uint16_t getU16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

void putDouble(std::uint8_t* at, double v) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i)
        at[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

double getDouble(const std::uint8_t* at) {
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= static_cast<std::uint64_t>(at[i]) << (8 * i);
    return std::bit_cast<double>(bits);
}

using P = TControlParams;
constexpr double P::*kCoefficients[] = {&P::C0_1, &P::C1_1, &P::C2_1, &P::C0_2, &P::C1_2, &P::C2_2};
constexpr double P::*kUniverses[] = {&P::otkl_left, &P::otkl_right, &P::skor_left, &P::skor_right};
constexpr double P::*kDeviationTerms[] = {&P::otkl_A1, &P::otkl_B1, &P::otkl_A2, &P::otkl_B2,
                                          &P::otkl_C2, &P::otkl_A3, &P::otkl_B3};
constexpr double P::*kRateTerms[] = {&P::skor_A1, &P::skor_B1, &P::skor_A2, &P::skor_B2,
                                     &P::skor_C2, &P::skor_A3, &P::skor_B3};
constexpr bool P::*kSwitches[] = {&P::prop_1, &P::integ_1, &P::diff_1,
                                  &P::prop_2, &P::integ_2, &P::diff_2};

constexpr std::size_t kZadan = 8, kCoefficientsAt = 16, kUniversesAt = 64, kRulesAt = 96,
                      kDeviationAt = 112, kRateAt = 168, kOutputTermsAt = 224, kSwitchesAt = 234,
                      kFuzzyOnAt = 240, kPidOnAt = 241, kNagrevAt = 242, kIntervalAt = 244;

} // namespace

SampleBytes encodeSample(const TArchiveRecord& r) {
    SampleBytes b{};
    putDouble(&b[0], r.Temper);
    putDouble(&b[8], r.Summa_1);
    putDouble(&b[16], r.Summa_2);
    putDouble(&b[24], r.Vremya);
    return b;
}

TArchiveRecord decodeSample(const std::uint8_t* b) {
    return {getDouble(b), getDouble(b + 8), getDouble(b + 16), getDouble(b + 24)};
}

ConfigBytes encodeConfig(const TConfigRecord& r) {
    ConfigBytes b{}; // every padding byte 0
    const P& p = r.params;
    putU16(&b[0], r.Takt);
    putDouble(&b[kZadan], r.Zadan);
    for (std::size_t i = 0; i < 6; ++i)
        putDouble(&b[kCoefficientsAt + 8 * i], p.*kCoefficients[i]);
    for (std::size_t i = 0; i < 4; ++i)
        putDouble(&b[kUniversesAt + 8 * i], p.*kUniverses[i]);
    for (std::size_t i = 0; i < 9; ++i) {
        b[kRulesAt + i] = p.m[i];
        b[kOutputTermsAt + i] = p.vih[i];
    }
    for (std::size_t i = 0; i < 7; ++i) {
        putDouble(&b[kDeviationAt + 8 * i], p.*kDeviationTerms[i]);
        putDouble(&b[kRateAt + 8 * i], p.*kRateTerms[i]);
    }
    for (std::size_t i = 0; i < 6; ++i)
        b[kSwitchesAt + i] = p.*kSwitches[i] ? 1 : 0;
    b[kFuzzyOnAt] = r.Fuzzy_on ? 1 : 0;
    b[kPidOnAt] = r.PID_on ? 1 : 0;
    b[kNagrevAt] = r.Nagrev ? 1 : 0;
    putU16(&b[kIntervalAt], r.Interval);
    return b;
}

TConfigRecord decodeConfig(const std::uint8_t* b) {
    TConfigRecord r;
    P& p = r.params;
    r.Takt = getU16(b);
    r.Zadan = getDouble(b + kZadan);
    for (std::size_t i = 0; i < 6; ++i)
        p.*kCoefficients[i] = getDouble(b + kCoefficientsAt + 8 * i);
    for (std::size_t i = 0; i < 4; ++i)
        p.*kUniverses[i] = getDouble(b + kUniversesAt + 8 * i);
    for (std::size_t i = 0; i < 9; ++i) {
        p.m[i] = b[kRulesAt + i];
        p.vih[i] = b[kOutputTermsAt + i];
    }
    for (std::size_t i = 0; i < 7; ++i) {
        p.*kDeviationTerms[i] = getDouble(b + kDeviationAt + 8 * i);
        p.*kRateTerms[i] = getDouble(b + kRateAt + 8 * i);
    }
    for (std::size_t i = 0; i < 6; ++i)
        p.*kSwitches[i] = b[kSwitchesAt + i] != 0;
    r.Fuzzy_on = b[kFuzzyOnAt] != 0;
    r.PID_on = b[kPidOnAt] != 0;
    r.Nagrev = b[kNagrevAt] != 0;
    r.Interval = getU16(b + kIntervalAt);
    return r;
}

} // namespace thermo
