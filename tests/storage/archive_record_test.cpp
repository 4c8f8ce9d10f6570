// Record layouts against golden bytes written out by hand: 1.0 is
// 00 00 00 00 00 00 F0 3F in little-endian binary64, 0.5 is ... E0 3F,
// 20.0 is ... 34 40, -2.0 is ... 00 C0.
#include <gtest/gtest.h>

#include <cstring>

#include "storage/archive_record.h"

using namespace thermo;

namespace {

const std::uint8_t kOne[8] = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F};
const std::uint8_t kHalf[8] = {0, 0, 0, 0, 0, 0, 0xE0, 0x3F};
const std::uint8_t kTwenty[8] = {0, 0, 0, 0, 0, 0, 0x34, 0x40};
const std::uint8_t kMinusTwo[8] = {0, 0, 0, 0, 0, 0, 0x00, 0xC0};

bool bytesAt(const std::uint8_t* record, std::size_t offset, const std::uint8_t (&golden)[8]) {
    return std::memcmp(record + offset, golden, 8) == 0;
}

TEST(ArchiveRecord, SampleLayout) {
    const TArchiveRecord r{20.0, 1.0, -2.0, 0.5};
    const SampleBytes b = encodeSample(r);
    EXPECT_TRUE(bytesAt(b.data(), 0, kTwenty));
    EXPECT_TRUE(bytesAt(b.data(), 8, kOne));
    EXPECT_TRUE(bytesAt(b.data(), 16, kMinusTwo));
    EXPECT_TRUE(bytesAt(b.data(), 24, kHalf));
    EXPECT_EQ(decodeSample(b.data()), r);
}

TEST(ArchiveRecord, ConfigLayoutFieldByField) {
    TConfigRecord r;
    r.Takt = 0x1234;
    r.Zadan = 20.0;
    TControlParams& p = r.params;
    // A distinct value per double so a swapped pair of fields shows up.
    p.C0_1 = 1, p.C1_1 = 2, p.C2_1 = 3, p.C0_2 = 4, p.C1_2 = 5, p.C2_2 = 6;
    p.otkl_left = 7, p.otkl_right = 8, p.skor_left = 9, p.skor_right = 10;
    p.otkl_A1 = 11, p.otkl_B1 = 12, p.otkl_A2 = 13, p.otkl_B2 = 14, p.otkl_C2 = 15;
    p.otkl_A3 = 16, p.otkl_B3 = 17;
    p.skor_A1 = 18, p.skor_B1 = 19, p.skor_A2 = 20, p.skor_B2 = 21, p.skor_C2 = 22;
    p.skor_A3 = 23, p.skor_B3 = 24;
    p.m = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    p.vih = {10, 20, 30, 40, 50, 60, 70, 80, 200};
    p.prop_1 = true, p.integ_1 = false, p.diff_1 = true;
    p.prop_2 = false, p.integ_2 = true, p.diff_2 = false;
    r.Fuzzy_on = true, r.PID_on = false, r.Nagrev = true;
    r.Interval = 0xABCD;
    const ConfigBytes b = encodeConfig(r);

    EXPECT_EQ(b[0], 0x34);
    EXPECT_EQ(b[1], 0x12);
    EXPECT_TRUE(bytesAt(b.data(), 8, kTwenty));
    const double expectedDoubles[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    for (std::size_t i = 0; i < 10; ++i) {
        double v;
        std::memcpy(&v, &b[16 + 8 * i], 8); // the test host is little-endian
        EXPECT_EQ(v, expectedDoubles[i]) << "offset " << 16 + 8 * i;
    }
    for (std::size_t i = 0; i < 14; ++i) {
        const std::size_t at = (i < 7 ? 112 : 168) + 8 * (i % 7);
        double v;
        std::memcpy(&v, &b[at], 8);
        EXPECT_EQ(v, 11.0 + static_cast<double>(i)) << "offset " << at;
    }
    EXPECT_TRUE(bytesAt(b.data(), 16, kOne));
    for (std::size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(b[96 + i], i + 1);
        EXPECT_EQ(b[224 + i], p.vih[i]);
    }
    const std::uint8_t switches[] = {1, 0, 1, 0, 1, 0, /*Fuzzy_on*/ 1, /*PID_on*/ 0, /*Nagrev*/ 1};
    for (std::size_t i = 0; i < 9; ++i)
        EXPECT_EQ(b[234 + i], switches[i]) << "offset " << 234 + i;
    EXPECT_EQ(b[244], 0xCD);
    EXPECT_EQ(b[245], 0xAB);
    for (std::size_t at : {2, 3, 4, 5, 6, 7, 105, 106, 107, 108, 109, 110, 111, 233, 243, 246, 247})
        EXPECT_EQ(b[at], 0) << "padding byte " << at;
    EXPECT_EQ(decodeConfig(b.data()), r);
}

TEST(ArchiveRecord, AnyNonZeroSwitchByteReadsAsOn) {
    ConfigBytes b{};
    b[234] = 2;
    b[240] = 0xFF;
    const TConfigRecord r = decodeConfig(b.data());
    EXPECT_TRUE(r.params.prop_1);
    EXPECT_TRUE(r.Fuzzy_on);
    EXPECT_FALSE(r.PID_on);
}

} // namespace
