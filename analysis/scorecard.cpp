#include "analysis/scorecard.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/numfmt.h"

namespace thermo {

namespace {

constexpr double kMsPerDay = 86'400'000.0;

// Times since the segment's first sample, in seconds. Vremya holds whole
// milliseconds; rounding to them takes off the noise of the binary
// fractions, so samples a second apart are exactly a second apart.
void segmentTimes(const ScoredSample* x, std::size_t n, std::vector<double>& t) {
    t.assign(n, 0.0);
    double days = 0;
    for (std::size_t k = 1; k < n; ++k) {
        if (x[k].Vremya - x[k - 1].Vremya < -0.5)
            days += 1; // midnight passed: the time of day starts again at 0
        t[k] = std::round((x[k].Vremya - x[0].Vremya + days) * kMsPerDay) / 1000.0;
    }
}

SegmentScore scoreSegment(const ScoredSample* x, std::size_t n, std::size_t firstPosition,
                          std::vector<double>& t) {
    segmentTimes(x, n, t);
    SegmentScore sc;
    sc.first = firstPosition;
    sc.last = firstPosition + n - 1;
    const double r = x[0].Zadan;
    const double y0 = x[0].Temper;
    const double s = r - y0;
    sc.setpoint = r;
    sc.start_temp = y0;
    sc.step = s;
    sc.duration_s = t[n - 1];
    sc.hold = std::fabs(s) < kHoldStep;
    sc.band = std::max(kBandFraction * std::fabs(s), kMinBand);
    const double sign = s > 0 ? 1.0 : -1.0;

    double peak = -std::numeric_limits<double>::infinity();
    std::size_t peakAt = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const double y = x[k].Temper;
        const double e = r - y;
        const double v = sc.hold ? std::fabs(e) : (y - r) * sign;
        if (v > peak) {
            peak = v;
            peakAt = k;
        }
        if (!sc.hold) {
            const double reached = (y - y0) / s;
            if (!sc.rise10 && reached >= 0.1)
                sc.rise10 = firstPosition + k;
            if (!sc.rise90 && reached >= 0.9) {
                sc.rise90 = firstPosition + k;
                sc.rise_time_s = t[k] - t[*sc.rise10 - firstPosition];
            }
        }
        if (k > 0) {
            const double dt = t[k] - t[k - 1];
            const double ae = std::fabs(e);
            sc.iae += ae * dt;
            sc.ise += e * e * dt;
            sc.itae += t[k] * ae * dt;
        }
    }
    sc.peak = firstPosition + peakAt;
    sc.peak_temp = x[peakAt].Temper;
    sc.peak_time_s = t[peakAt];

    if (!sc.hold) {
        sc.overshoot_pct = 100.0 * std::max(0.0, peak) / std::fabs(s);
        if (std::fabs(x[n - 1].Temper - r) <= sc.band) {
            std::size_t k = n - 1;
            while (k > 0 && std::fabs(x[k - 1].Temper - r) <= sc.band)
                --k;
            sc.settled = firstPosition + k;
            sc.settling_time_s = t[k];
        }
    }

    if (n >= kSteadyMinSamples) {
        const std::size_t m = std::max<std::size_t>(10, (n + 9) / 10);
        double sum = 0;
        for (std::size_t k = n - m; k < n; ++k)
            sum += r - x[k].Temper;
        sc.steady_error = sum / static_cast<double>(m);
    }
    return sc;
}

// A field for JSON: a number, or null for none and for what JSON cannot
// hold (a damaged record's NaN or infinity).
void putJson(std::string& out, std::optional<double> v) {
    out += v ? formatJsonNumber(*v) : "null";
}

void putCsv(std::string& out, std::optional<double> v) {
    if (v && std::isfinite(*v))
        appendRoundTrip(out, *v);
}

} // namespace

std::vector<SegmentScore> scoreSamples(const std::vector<ScoredSample>& samples,
                                       std::size_t firstPosition) {
    std::vector<SegmentScore> out;
    std::vector<double> t;
    std::size_t a = 0;
    while (a < samples.size()) {
        std::size_t b = a + 1;
        while (b < samples.size() && samples[b].Zadan == samples[b - 1].Zadan)
            ++b;
        out.push_back(scoreSegment(samples.data() + a, b - a, firstPosition + a, t));
        a = b;
    }
    return out;
}

std::vector<SegmentScore> scoreArchive(const ArchiveReader& archive) {
    if (archive.ConfigCount == 0)
        return {};
    std::vector<ScoredSample> samples(archive.SampleCount);
    for (std::size_t p = 1; p <= archive.SampleCount; ++p) {
        const TArchiveRecord& s = archive.Samples[p];
        const std::size_t k = configActingOn(archive, p).value_or(1);
        samples[p - 1] = {s.Temper, s.Vremya, archive.Configs[k].Zadan};
    }
    return scoreSamples(samples, 1);
}

void runAsArchive(const std::vector<TArchiveRecord>& runSamples, std::uint16_t takt,
                  const std::vector<TConfigRecord>& runConfigs, ArchiveReader& out) {
    const std::size_t last =
        std::min<std::size_t>(takt, runSamples.empty() ? 0 : runSamples.size() - 1);
    const std::size_t count = last >= 3 ? last - 2 : 0;
    if (out.Samples.size() < count + 1)
        out.Samples.resize(count + 1);
    out.Samples[0] = TArchiveRecord{};
    for (std::size_t p = 1; p <= count; ++p)
        out.Samples[p] = runSamples[p + 2];
    out.SampleCount = count;
    if (out.Configs.size() < runConfigs.size() + 1)
        out.Configs.resize(runConfigs.size() + 1);
    std::copy(runConfigs.begin(), runConfigs.end(), out.Configs.begin() + 1);
    out.ConfigCount = runConfigs.size();
}

const std::vector<const char*>& scoreFieldNames() {
    static const std::vector<const char*> names = {
        "first",        "last",          "setpoint",  "start_temp",  "step", "duration_s",
        "rise_time_s",  "overshoot_pct", "peak_temp", "peak_time_s", "band", "settling_time_s",
        "steady_error", "iae",           "ise",       "itae"};
    return names;
}

std::optional<double> scoreField(const SegmentScore& s, std::size_t f) {
    switch (f) {
    case 0:
        return static_cast<double>(s.first);
    case 1:
        return static_cast<double>(s.last);
    case 2:
        return s.setpoint;
    case 3:
        return s.start_temp;
    case 4:
        return s.step;
    case 5:
        return s.duration_s;
    case 6:
        return s.rise_time_s;
    case 7:
        return s.overshoot_pct;
    case 8:
        return s.peak_temp;
    case 9:
        return s.peak_time_s;
    case 10:
        return s.band;
    case 11:
        return s.settling_time_s;
    case 12:
        return s.steady_error;
    case 13:
        return s.iae;
    case 14:
        return s.ise;
    case 15:
        return s.itae;
    default:
        return std::nullopt;
    }
}

std::string scorecardCsv(const std::vector<SegmentScore>& segments) {
    const auto& names = scoreFieldNames();
    std::string out;
    for (std::size_t f = 0; f < names.size(); ++f) {
        if (f > 0)
            out += ',';
        out += names[f];
    }
    out += '\n';
    for (const SegmentScore& s : segments) {
        for (std::size_t f = 0; f < names.size(); ++f) {
            if (f > 0)
                out += ',';
            putCsv(out, scoreField(s, f));
        }
        out += '\n';
    }
    return out;
}

std::string scorecardJson(const std::vector<SegmentScore>& segments) {
    const auto& names = scoreFieldNames();
    std::string out = "{\"segments\": [";
    for (std::size_t i = 0; i < segments.size(); ++i) {
        out += i == 0 ? "\n  {" : ",\n  {";
        for (std::size_t f = 0; f < names.size(); ++f) {
            if (f > 0)
                out += ", ";
            out += '"';
            out += names[f];
            out += "\": ";
            putJson(out, scoreField(segments[i], f));
        }
        out += '}';
    }
    out += segments.empty() ? "]}\n" : "\n]}\n";
    return out;
}

} // namespace thermo
