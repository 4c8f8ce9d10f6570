// The entry logic behind the term window's and the rule grid's "Ok" buttons.
#include <gtest/gtest.h>

#include "common/scripted_dialogs.h"
#include "control/term_entry.h"

namespace thermo {
namespace {

using Texts = std::array<std::string, 9>;
using Stop = ApplyOutcome::Stop;

// Field order of a term group: from, to, A1, B1, A2, B2, C2, A3, B3.
std::array<double, 9> deviationValues(const TControlParams& p) {
    return {p.otkl_left, p.otkl_right, p.otkl_A1, p.otkl_B1, p.otkl_A2,
            p.otkl_B2,   p.otkl_C2,    p.otkl_A3, p.otkl_B3};
}
std::array<double, 9> rateValues(const TControlParams& p) {
    return {p.skor_left, p.skor_right, p.skor_A1, p.skor_B1, p.skor_A2,
            p.skor_B2,   p.skor_C2,    p.skor_A3, p.skor_B3};
}

TEST(TermEntry, DeviationGroupStoresEveryFieldRangeTimesTen) {
    TControlParams p;
    const TControlParams before = p;
    ScriptedDialogs d;
    const Texts t{"3,5", "2", "2,5", "-0,5", "1", "0,25", "4", " 0,1 ", "1E1"};
    const ApplyOutcome r = applyTermFields(TermGroup::Deviation, t, p, d, ',');
    EXPECT_TRUE(r.complete());
    const std::array<double, 9> want{35, 20, 2.5, -0.5, 1, 0.25, 4, 0.1, 10};
    EXPECT_EQ(deviationValues(p), want);
    EXPECT_EQ(rateValues(p), rateValues(before));
    EXPECT_TRUE(d.messages.empty());
}

TEST(TermEntry, RateGroupWritesOnlyRateParameters) {
    TControlParams p;
    const TControlParams before = p;
    ScriptedDialogs d;
    const Texts t{"2", "0.5", "1", "2", "3", "4", "5", "6", "7"};
    ASSERT_TRUE(applyTermFields(TermGroup::Rate, t, p, d, '.').complete());
    const std::array<double, 9> want{20, 5, 1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(rateValues(p), want);
    EXPECT_EQ(deviationValues(p), deviationValues(before));
}

// Where each malformed or empty field stops the group: the fields before it
// are stored, it and those after it keep their old values.
TEST(TermEntry, StopsAtTheFirstBadFieldKeepingEarlierOnes) {
    struct Case {
        const char* what;
        Texts texts;
        char sep;
        Stop stop;
        int field;
        const char* message; // nullptr: no message
    };
    const Case cases[] = {
        {"letters in Edit5",
         {"3,5", "2", "1", "0,5", "abc", "9", "9", "9", "9"},
         ',',
         Stop::Malformed,
         4,
         "Ошибочная запись числа: abc"},
        {"empty Edit2",
         {"3,5", "", "1", "1", "1", "1", "1", "1", "1"},
         ',',
         Stop::EmptyField,
         1,
         nullptr},
        {"the other decimal mark",
         {"1.5", "2", "1", "1", "1", "1", "1", "1", "1"},
         ',',
         Stop::Malformed,
         0,
         "Ошибочная запись числа: 1.5"},
        {"blanks are part of the text shown",
         {"1", "2", " 4x ", "1", "1", "1", "1", "1", "1"},
         '.',
         Stop::Malformed,
         2,
         "Ошибочная запись числа:  4x "},
        {"blanks only is not empty",
         {"1", "  ", "1", "1", "1", "1", "1", "1", "1"},
         '.',
         Stop::Malformed,
         1,
         "Ошибочная запись числа:   "},
        {"a universe end overflowing when taken x 10",
         {"1", "1E308", "1", "1", "1", "1", "1", "1", "1"},
         '.',
         Stop::Malformed,
         1,
         "Ошибочная запись числа: 1E308"},
        {"thousands separator",
         {"1 000", "1", "1", "1", "1", "1", "1", "1", "1"},
         ',',
         Stop::Malformed,
         0,
         "Ошибочная запись числа: 1 000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TControlParams p;
        const auto old = deviationValues(p);
        ScriptedDialogs d;
        const ApplyOutcome r = applyTermFields(TermGroup::Deviation, c.texts, p, d, c.sep);
        EXPECT_EQ(r.stop, c.stop);
        EXPECT_EQ(r.field, c.field);
        const auto now = deviationValues(p);
        for (int k = 0; k < 9; ++k) {
            SCOPED_TRACE(k);
            if (k >= c.field)
                EXPECT_EQ(now[static_cast<size_t>(k)], old[static_cast<size_t>(k)]);
            else
                EXPECT_NE(now[static_cast<size_t>(k)], old[static_cast<size_t>(k)]);
        }
        if (c.message) {
            ASSERT_EQ(d.messages.size(), 1u);
            EXPECT_EQ(d.messages[0].text, c.message);
            EXPECT_EQ(d.messages[0].kind, MessageKind::Plain);
        } else {
            EXPECT_TRUE(d.messages.empty());
        }
    }
}

TEST(TermEntry, BreakpointsInAnyOrderAndSignAreAccepted) {
    TControlParams p;
    ScriptedDialogs d;
    const Texts t{"-1", "0", "-3", "5", "0", "-2", "-1", "9", "-9"};
    ASSERT_TRUE(applyTermFields(TermGroup::Deviation, t, p, d, ',').complete());
    EXPECT_EQ(p.otkl_left, -10);
    EXPECT_EQ(p.otkl_B3, -9);
}

// Bytes: the low eight bits of the typed whole number are kept.
TEST(TermEntry, OutputTermsKeepTheLowEightBits) {
    const struct {
        const char* typed;
        int stored;
    } cases[] = {{"300", 44}, {"190", 190}, {"0", 0},    {"256", 0}, {"255", 255},
                 {" 7 ", 7},  {"-1", 255},  {"+12", 12}, {"007", 7}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        TControlParams p;
        ScriptedDialogs d;
        Texts t{c.typed, "1", "2", "3", "4", "5", "6", "7", "8"};
        ASSERT_TRUE(applyOutputTerms(t, p, d).complete());
        EXPECT_EQ(p.vih[0], c.stored);
        EXPECT_EQ(p.vih[8], 8);
        EXPECT_EQ(outputTermTexts(p)[0], std::to_string(c.stored));
    }
}

TEST(TermEntry, OutputTermsStopAtMalformedOrEmpty) {
    TControlParams p;
    const auto old = p.vih;
    ScriptedDialogs d;
    ApplyOutcome r = applyOutputTerms({"10", "20", "1,5", "40", "", "", "", "", ""}, p, d);
    EXPECT_EQ(r.stop, Stop::Malformed);
    EXPECT_EQ(r.field, 2);
    EXPECT_EQ(p.vih[0], 10);
    EXPECT_EQ(p.vih[1], 20);
    EXPECT_EQ(p.vih[2], old[2]);
    EXPECT_EQ(p.vih[3], old[3]);
    ASSERT_EQ(d.messages.size(), 1u);
    EXPECT_EQ(d.messages[0].text, "Ошибочная запись числа: 1,5");

    r = applyOutputTerms({"11", "", "33", "44", "55", "66", "77", "88", "99"}, p, d);
    EXPECT_EQ(r.stop, Stop::EmptyField);
    EXPECT_EQ(r.field, 1);
    EXPECT_EQ(p.vih[0], 11);
    EXPECT_EQ(p.vih[2], old[2]);
    EXPECT_EQ(d.messages.size(), 1u);
}

TEST(TermEntry, RuleBaseStoresZeroAndStopsAtAnEmptyCell) {
    TControlParams p;
    ScriptedDialogs d;
    ASSERT_TRUE(applyRuleBase({"0", "9", "3", "3", "3", "3", "3", "3", "0"}, p, d).complete());
    const std::array<std::uint8_t, 9> want{0, 9, 3, 3, 3, 3, 3, 3, 0};
    EXPECT_EQ(p.m, want);
    EXPECT_EQ(ruleBaseTexts(p)[0], "0");

    const ApplyOutcome r = applyRuleBase({"5", "5", "", "5", "5", "5", "5", "5", "5"}, p, d);
    EXPECT_EQ(r.stop, Stop::EmptyField);
    EXPECT_EQ(p.m[1], 5);
    EXPECT_EQ(p.m[2], 3);
    EXPECT_TRUE(d.messages.empty());
}

// What the user types comes back unchanged after the x 10 / 10 round trip.
TEST(TermEntry, TypedRangeReadsBackAsTyped) {
    for (const char* typed : {"3,5", "0,25", "1,15", "0,1", "12,7", "-0,3", "100"}) {
        SCOPED_TRACE(typed);
        TControlParams p;
        ScriptedDialogs d;
        ASSERT_TRUE(applyTermFields(TermGroup::Rate,
                                    {typed, typed, "1", "0", "1", "0", "1", "0", "1"}, p, d, ',')
                        .complete());
        const Texts shown = termFieldTexts(TermGroup::Rate, p, ',');
        EXPECT_EQ(shown[0], typed);
        EXPECT_EQ(shown[1], typed);
    }
}

TEST(TermEntry, WholeNumberParsing) {
    const struct {
        const char* text;
        std::optional<std::int32_t> want;
    } cases[] = {
        {"0", 0},
        {"-2147483648", INT32_MIN},
        {"2147483647", INT32_MAX},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"1 2", std::nullopt},
        {"1e2", std::nullopt},
        {"$10", std::nullopt},
        {"\t42 ", 42},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseWholeNumber(c.text), c.want);
    }
}

} // namespace
} // namespace thermo
