// The run scorecard on hand-made runs whose figures are worked out by hand
// below each case. Samples are a second apart unless stated, so t of the
// k-th sample of a segment is k - 1 and every dt is 1: iae is then the sum
// of |e| over the samples after the first, ise the sum of e^2, itae the sum
// of t |e|.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "analysis/scorecard.h"
#include "storage/recorder.h"

using namespace thermo;

namespace {

using Opt = std::optional<double>;
const Opt null = std::nullopt;

struct Config {
    std::uint16_t Takt;
    double Zadan;
    double C0_1 = 20; // changed alone it must not start a segment
};

struct Expect {
    std::size_t first, last;
    double setpoint, start_temp, step, duration_s;
    Opt rise_time_s, overshoot_pct;
    double peak_temp, peak_time_s, band;
    Opt settling_time_s, steady_error;
    double iae, ise, itae;
};

struct Case {
    std::string name;
    std::vector<double> temper;
    std::vector<Config> configs;
    std::vector<Expect> expect;
    std::vector<double> vremya = {}; // default: 10:00:00 plus one second a sample
};

void fill(const Case& c, ArchiveReader& a) {
    a.SampleCount = c.temper.size();
    for (std::size_t p = 1; p <= c.temper.size(); ++p) {
        a.Samples[p].Temper = c.temper[p - 1];
        a.Samples[p].Vremya =
            c.vremya.empty() ? Vremya(10, 0, 0, 0) + (p - 1) / 86400.0 : c.vremya[p - 1];
    }
    a.ConfigCount = c.configs.size();
    for (std::size_t k = 1; k <= c.configs.size(); ++k) {
        a.Configs[k] = TConfigRecord{};
        a.Configs[k].Takt = c.configs[k - 1].Takt;
        a.Configs[k].Zadan = c.configs[k - 1].Zadan;
        a.Configs[k].params.C0_1 = c.configs[k - 1].C0_1;
    }
}

void expectNear(const char* field, Opt got, Opt want) {
    SCOPED_TRACE(field);
    ASSERT_EQ(got.has_value(), want.has_value()) << (got ? "got a value" : "got null");
    if (want) {
        EXPECT_NEAR(*got, *want, 1e-9);
    }
}

void expectSegment(const SegmentScore& s, const Expect& e) {
    EXPECT_EQ(s.first, e.first);
    EXPECT_EQ(s.last, e.last);
    expectNear("setpoint", s.setpoint, e.setpoint);
    expectNear("start_temp", s.start_temp, e.start_temp);
    expectNear("step", s.step, e.step);
    expectNear("duration_s", s.duration_s, e.duration_s);
    expectNear("rise_time_s", s.rise_time_s, e.rise_time_s);
    expectNear("overshoot_pct", s.overshoot_pct, e.overshoot_pct);
    expectNear("peak_temp", s.peak_temp, e.peak_temp);
    expectNear("peak_time_s", s.peak_time_s, e.peak_time_s);
    expectNear("band", s.band, e.band);
    expectNear("settling_time_s", s.settling_time_s, e.settling_time_s);
    expectNear("steady_error", s.steady_error, e.steady_error);
    expectNear("iae", s.iae, e.iae);
    expectNear("ise", s.ise, e.ise);
    expectNear("itae", s.itae, e.itae);
}

std::vector<double> longRun() {
    std::vector<double> t(110, 30.0);
    t[0] = 20;
    t[99] = 28;
    for (std::size_t i = 100; i < 110; ++i)
        t[i] = 29;
    return t;
}

const double kBeforeMidnight = Vremya(23, 59, 58, 0);

const std::vector<Case> kCases = {
    // 20 -> 30: (y - 20)/10 reaches 0.1 at sample 2 (t 1) and 0.9 at sample 7
    // (t 6): rise 5. Never above 30: overshoot 0, the peak is the first 30
    // (t 9). Band max(0.2, 0.5) = 0.5: 29.5 (t 7) is the first sample from
    // which all stay in. e after the first: 9 7 5 3 2 1 0.5 0.2 0, so iae
    // 27.7, ise 81+49+25+9+4+1+0.25+0.04 = 169.29, itae 9+14+15+12+10+6+3.5+1.6
    // = 71.1.
    {"StepUp",
     {20, 21, 23, 25, 27, 28, 29, 29.5, 29.8, 30},
     {{1, 30}},
     {{1, 10, 30, 20, 10, 9, 5, 0, 30, 9, 0.5, 7, null, 27.7, 169.29, 71.1}}},
    // 30 -> 20, s = -10: (y - 30)/-10 is 0.2 at t 1 and 1.0 at t 3: rise 2.
    // (y - 20) sign(s) peaks at 2 for 18 (t 4): overshoot 20 %. In the band
    // from 20.5 (t 6) on. e: -8 -4 0 2 1 -0.5 0: iae 15.5, ise 64+16+4+1+0.25
    // = 85.25, itae 8+8+0+8+5+3 = 32.
    {"StepDownWithOvershoot",
     {30, 28, 24, 20, 18, 19, 20.5, 20},
     {{1, 20}},
     {{1, 8, 20, 30, -10, 7, 2, 20, 18, 4, 0.5, 6, null, 15.5, 85.25, 32}}},
    // 20 -> 30 reaching only 25: 90 % never reached, never in the band; the
    // peak is the closest approach, 25 at t 3, no overshoot. e: 8 6 5.
    {"NeverSettling",
     {20, 22, 24, 25},
     {{1, 30}},
     {{1, 4, 30, 20, 10, 3, null, 0, 25, 3, 0.5, null, null, 19, 125, 35}}},
    // s = 0.25: a hold. The peak is the largest |e|, 0.5 for 29.5 (t 2).
    // e: -0.25 0.5 0: iae 0.75, ise 0.0625+0.25, itae 0.25+1.
    {"Hold",
     {29.75, 30.25, 29.5, 30},
     {{1, 30}},
     {{1, 4, 30, 29.75, 0.25, 3, null, null, 29.5, 2, 0.5, null, null, 0.75, 0.3125, 1.25}}},
    // 23:59:58, 23:59:59, 0:00:00, 0:00:01, 0:00:02: t 0 .. 4 across
    // midnight. Rise from t 1 (25) to t 2 (29); in the band from t 3. e: 5 1 0 0.
    {"AcrossMidnight",
     {20, 25, 29, 30, 30},
     {{1, 30}},
     {{1, 5, 30, 20, 10, 4, 1, 0, 30, 3, 0.5, 3, null, 6, 26, 7}},
     {kBeforeMidnight, Vremya(23, 59, 59, 0), Vremya(0, 0, 0, 0), Vremya(0, 0, 1, 0),
      Vremya(0, 0, 2, 0)}},
    // Records with Takt 1 (25), 6 (25 again, another gain: same segment), 8
    // (30) and 11 (22), acting from positions 1, 4, 6 and 9: segments 1-5,
    // 6-8 and 9-10, each with its own t from 0.
    //  1-5: 20 22 24 25 25, s 5: rise 0.4 at t 1, 0.8 at t 2, 1.0 at t 3: 2;
    //       in the band from t 3; e 3 1 0 0: iae 4, ise 10, itae 3+2 = 5.
    //  6-8: 25 28 30 at 30, s 5: 0.6 at t 1, 1.0 at t 2: rise 1; band from
    //       t 2; e 2 0: iae 2, ise 4, itae 2.
    //  9-10: 30 26 at 22, s -8: 0.5 at t 1, never 0.9; e -4: iae 4, ise 16,
    //       itae 4; (y - 22)(-1) is -8, then -4: the peak is 26 at t 1.
    {"SeveralSetpoints",
     {20, 22, 24, 25, 25, 25, 28, 30, 30, 26},
     {{1, 25}, {6, 25, 5}, {8, 30}, {11, 22}},
     {{1, 5, 25, 20, 5, 4, 2, 0, 25, 3, 0.5, 3, null, 4, 10, 5},
      {6, 8, 30, 25, 5, 2, 1, 0, 30, 2, 0.5, 2, null, 2, 4, 2},
      {9, 10, 22, 30, -8, 1, null, 0, 26, 1, 0.5, null, null, 4, 16, 4}}},
    // One sample: nothing moves, t is 0 throughout, 10 degrees short.
    {"SingleSample",
     {20},
     {{1, 30}},
     {{1, 1, 30, 20, 10, 0, null, 0, 20, 0, 0.5, null, null, 0, 0, 0}}},
    // 110 samples: the steady error is the mean over the last ceil(110/10) =
    // 11: one of e 2 and ten of e 1, 12/11. Rise 0 (sample 2 is at 30). e
    // after the first: 98 zeros, 2 at t 99, 1 at t 100 .. 109: iae 12, ise 14,
    // itae 198 + 1045.
    {"SteadyErrorOfALongRun",
     longRun(),
     {{1, 30}},
     {{1, 110, 30, 20, 10, 109, 0, 0, 30, 1, 0.5, null, 12.0 / 11.0, 12, 14, 1243}}},
};

TEST(Scorecard, HandMadeRuns) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ArchiveReader a;
        fill(c, a);
        const auto segments = scoreArchive(a);
        ASSERT_EQ(segments.size(), c.expect.size());
        for (std::size_t i = 0; i < segments.size(); ++i) {
            SCOPED_TRACE("segment " + std::to_string(i + 1));
            expectSegment(segments[i], c.expect[i]);
        }
    }
}

// A record with Takt N was written by the tick that took position N - 2 and
// had already acted on it. Scored from position N, a 10 degree step lost the
// two samples of its largest errors: IAE 7 % and ISE 13 % low on a student's
// run. Here 30 -> 40 with Takt 52: position 50 still reads 30 (the tick
// read before it switched), then the error halves each second from 10, so
// over positions 51..60 iae = 10 (1 - 2^-10) and ise = 100/3 (1 - 4^-10).
// A setpoint typed before "старт" is recorded with Takt 3 and acted on the
// whole run: no segment of the old setpoint opens it.
TEST(Scorecard, ASetpointChangeIsScoredFromTheSampleItActedOnNotTwoLater) {
    Case c{"Step", std::vector<double>(50, 30.0), {{1, 30}, {52, 40}}, {}};
    for (int k = 1; k <= 10; ++k)
        c.temper.push_back(40 - 10 * std::pow(2.0, -k));
    ArchiveReader a;
    fill(c, a);
    auto segments = scoreArchive(a);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].last, 49u);
    EXPECT_EQ(segments[1].first, 50u);
    EXPECT_EQ(segments[1].start_temp, 30);
    EXPECT_NEAR(segments[1].iae, 10 * (1 - std::pow(2.0, -10)), 1e-12);
    EXPECT_NEAR(segments[1].ise, 100.0 / 3 * (1 - std::pow(4.0, -10)), 1e-12);

    fill({"TypedBeforeStart", {20, 22, 25, 28}, {{1, 25}, {3, 40}}, {}}, a);
    segments = scoreArchive(a);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].first, 1u);
    EXPECT_EQ(segments[0].setpoint, 40);
}

TEST(Scorecard, ChartMarksSitOnTheirSamples) {
    ArchiveReader a;
    fill(kCases[0], a); // StepUp: 10 % at 2, 90 % at 7, peak 10, settled from 8
    SegmentScore s = scoreArchive(a).at(0);
    EXPECT_EQ(s.rise10, 2u);
    EXPECT_EQ(s.rise90, 7u);
    EXPECT_EQ(s.peak, 10u);
    EXPECT_EQ(s.settled, 8u);
    fill(kCases[1], a); // StepDownWithOvershoot: peak at 5
    s = scoreArchive(a).at(0);
    EXPECT_EQ(s.peak, 5u);
    EXPECT_EQ(s.settled, 7u);
}

TEST(Scorecard, WithoutConfigurationThereIsNoSetpointToScore) {
    ArchiveReader a;
    fill(kCases[0], a);
    a.ConfigCount = 0;
    EXPECT_TRUE(scoreArchive(a).empty());
}

// The main window scores its run from RunSamples and the records written so
// far; the figures must be those the archive of the same run gives later.
TEST(Scorecard, CurrentRunScoresAsItsArchive) {
    const Case& c = kCases[5]; // SeveralSetpoints
    std::vector<TArchiveRecord> runSamples(20);
    std::vector<TConfigRecord> configs;
    for (const Config& k : c.configs) {
        TConfigRecord r;
        r.Takt = k.Takt;
        r.Zadan = k.Zadan;
        r.params.C0_1 = k.C0_1;
        configs.push_back(r);
    }
    for (std::size_t p = 1; p <= c.temper.size(); ++p)
        runSamples[p + 2] = {c.temper[p - 1], 0, 0, Vremya(10, 0, 0, 0) + (p - 1) / 86400.0};
    ArchiveReader run, archive;
    runAsArchive(runSamples, static_cast<std::uint16_t>(c.temper.size() + 2), configs, run);
    fill(c, archive);
    EXPECT_EQ(scorecardCsv(scoreArchive(run)), scorecardCsv(scoreArchive(archive)));
}

} // namespace
