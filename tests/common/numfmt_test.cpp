// Expected strings follow the display rules of the program: fixed patterns
// round half away from zero on the decimal digits, the general form keeps 15
// significant digits. Each case runs under both decimal separators.
#include <charconv>
#include <clocale>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "common/numfmt.h"

using namespace thermo;

namespace {

std::string withSep(std::string s, char sep) {
    for (char& c : s)
        if (c == '.')
            c = sep;
    return s;
}

struct FixedCase {
    double value;
    const char* pattern;
    const char* expected; // written with '.'
};

class BothSeparators : public ::testing::TestWithParam<char> {};

TEST_P(BothSeparators, FixedPatternsRoundHalfAwayOnDecimalDigits) {
    const char sep = GetParam();
    const FixedCase cases[] = {
        {234 * 0.427, "0.00", "99.92"}, // full power shown in percent
        {117 * 0.427, "0.00", "49.96"}, // 49.959
        {0.125, "0.00", "0.13"},        // printf would give 0.12
        {-0.125, "0.00", "-0.13"},
        {2.5, "0", "3"},
        {0.005, "0.00", "0.01"},
        {0.004, "0.00", "0.00"},
        {-0.001, "0.00", "0.00"}, // no "-0.00"
        {0.0, "0.00", "0.00"},
        {9.995, "0.00", "9.99"}, // the double is 9.99499999999999957...: no tie
        {99.999, "0.00", "100.00"},
        {12.50, "0.##", "12.5"},
        {3.0, "0.##", "3"},
        {-2.456, "0.##", "-2.46"},
        {50.0, "0.#", "50"},
        {0.04, "0.#", "0"},
        {1234567.891, "0.00", "1234567.89"},
        {1e20, "0.00", "100000000000000000000.00"},
        {5.0, "00.00", "05.00"},
        {33.5, "0.00", "33.50"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatFixed(c.value, c.pattern, sep), withSep(c.expected, sep))
            << "value " << c.value << " pattern " << c.pattern;
    }
}

TEST_P(BothSeparators, GeneralFormKeepsFifteenDigits) {
    const char sep = GetParam();
    const std::pair<double, const char*> cases[] = {
        {0.0, "0"},
        {33.5, "33.5"},
        {0.12, "0.12"},
        {-3.3, "-3.3"},
        {0.1 + 0.2, "0.3"}, // 0.30000000000000004 at 17 digits
        {1.0 / 3.0, "0.333333333333333"},
        {2.0 / 3.0, "0.666666666666667"},
        {1e15, "1E15"},
        {1234567890123456.0, "1.23456789012346E15"},
        {999999999999999.0, "999999999999999"},
        {0.0001, "0.0001"},
        {0.0000442, "4.42E-5"},
        {-1.5e-7, "-1.5E-7"},
        {1e6, "1000000"},
        {444.6, "444.6"},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(formatGeneral(value, sep), withSep(expected, sep)) << value;
}

TEST_P(BothSeparators, GeneralFormReadsBackToTheSameNumber) {
    const char sep = GetParam();
    for (double v : {20.0, 0.2, 0.12, 22.0, 3.3, -1e-9, 123456.789, 1e300}) {
        const auto back = parseNumber(formatGeneral(v, sep), sep);
        ASSERT_TRUE(back) << v;
        EXPECT_DOUBLE_EQ(*back, v);
    }
}

TEST_P(BothSeparators, ParsingAcceptsOnlyTheLocalesNumbers) {
    const char sep = GetParam();
    const char other = sep == '.' ? ',' : '.';
    const std::string good[] = {"3.5", "-3.5", "+2", "  7 ", "1e3", "1.5E-2", ".5", "5.", "0"};
    const double values[] = {3.5, -3.5, 2, 7, 1000, 0.015, 0.5, 5, 0};
    for (size_t i = 0; i < std::size(good); ++i) {
        const auto v = parseNumber(withSep(good[i], sep), sep);
        ASSERT_TRUE(v) << good[i];
        EXPECT_DOUBLE_EQ(*v, values[i]) << good[i];
    }
    std::string otherMark = "3";
    otherMark += other;
    otherMark += "5";
    const std::string bad[] = {"",      " ",   "abc", "1e",  "e5",   "1.2.3", "1 000",
                               "12abc", "--1", ".",   "1e+", "0x10", "1e999", otherMark};
    for (const auto& b : bad)
        EXPECT_FALSE(parseNumber(b == otherMark ? b : withSep(b, sep), sep)) << "'" << b << "'";
}

INSTANTIATE_TEST_SUITE_P(Separators, BothSeparators, ::testing::Values('.', ','));

TEST(HeaterRounding, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(roundHalfEven(116.5), 116);
    EXPECT_EQ(roundHalfEven(117.5), 118);
    EXPECT_EQ(roundHalfEven(0.5), 0);
    EXPECT_EQ(roundHalfEven(233.5), 234);
    EXPECT_EQ(roundHalfEven(116.50000001), 117);
}

// Fixed messages tie their figures to constants with these (run/cycle.h).
static_assert(mentionsNumber("архив заполнен (65000 отсчётов)", 65000));
static_assert(mentionsNumber("0..64999", 64999) && mentionsNumber("0", 0));
static_assert(!mentionsNumber("(650001 отсчётов)", 65000) && !mentionsNumber("165000", 65000));
static_assert(mentionsRange("interval, 100..5000 ms", 100, 5000));
static_assert(!mentionsRange("1..100 %, 5000 ms", 100, 5000) &&
              !mentionsRange("100..50000", 100, 5000));

// What files and other programs read: the environment's locale is in force
// (ru_RU, decimal comma, in the .ru_RU run), and the texts keep a point. The
// shortest texts are worked out by hand from the binary64 values; each is
// also read back with from_chars.
class MachineNumbers : public ::testing::Test {
protected:
    void SetUp() override { std::setlocale(LC_ALL, ""); }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(MachineNumbers, ShortestTextReadsBackToTheSameDouble) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.1, "0.1"},       {0.1 + 0.2, "0.30000000000000004"}, // needs all 17 digits
        {-0.0, "0"},                                            // a membership edge's -0
        {-29.75, "-29.75"}, {2500000, "2500000"}, // plain form when no longer than "2.5e+06"
        {1e-7, "1e-07"},    {5e-324, "5e-324"},   // the smallest subnormal
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatRoundTrip(c.value), c.text);
        double back = 1;
        std::from_chars(c.text, c.text + std::strlen(c.text), back);
        EXPECT_EQ(back, c.value) << c.text;
    }
    std::string out = "x=";
    appendRoundTrip(out, 1.5);
    EXPECT_EQ(out, "x=1.5");
}

TEST_F(MachineNumbers, JsonHasNullForWhatItCannotHold) {
    EXPECT_EQ(formatJsonNumber(-0.0), "0");
    EXPECT_EQ(formatJsonNumber(0.30000000000000004), "0.30000000000000004");
    EXPECT_EQ(formatJsonNumber(std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(formatJsonNumber(-std::numeric_limits<double>::infinity()), "null");
}

TEST_F(MachineNumbers, SignificantDigitsAsPercentG) {
    EXPECT_EQ(formatSignificant(1234.5678, 5), "1234.6");
    EXPECT_EQ(formatSignificant(123456.0, 5), "1.2346e+05");
    EXPECT_EQ(formatSignificant(0.000012345, 2), "1.2e-05");
    EXPECT_EQ(formatSignificant(0.5, 5), "0.5"); // no trailing zeros
    EXPECT_EQ(formatSignificant(-0.0, 5), "0");
}

} // namespace
