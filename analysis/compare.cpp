#include "analysis/compare.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

#include "analysis/acting_config.h"
#include "analysis/identify.h"
#include "common/numfmt.h"

namespace thermo {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::size_t fieldIndex(const char* name) {
    const auto& names = scoreFieldNames();
    for (std::size_t f = 0; f < names.size(); ++f)
        if (std::string_view(names[f]) == name)
            return f;
    return names.size();
}

// The record that acted on the sample at position p: at a step's first
// sample, the one that brought its setpoint (the scorecard starts a segment
// where the change acted); at position 1, what a run without a step ran
// with, a change made before "старт" included.
std::optional<TConfigRecord> recordActingOn(const ArchiveReader& a, std::size_t p) {
    const auto k = configActingOn(a, p);
    if (!k)
        return std::nullopt;
    return a.Configs[*k];
}

std::string stem(const std::filesystem::path& p) {
    return p.stem().string();
}

// Labels: the stem, with the folder in front where stems collide, the path
// as given where even that collides.
std::vector<std::string> labels(const std::vector<CompareInput>& inputs) {
    namespace fs = std::filesystem;
    std::vector<std::string> out;
    for (const CompareInput& in : inputs)
        out.push_back(stem(in.path));
    auto collides = [&](std::size_t i) { return std::count(out.begin(), out.end(), out[i]) > 1; };
    std::vector<bool> clash(out.size());
    for (std::size_t i = 0; i < out.size(); ++i)
        clash[i] = collides(i);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (!clash[i])
            continue;
        const fs::path p(inputs[i].path);
        const std::string folder = p.parent_path().filename().string();
        out[i] = folder.empty() ? stem(p) : folder + "/" + stem(p);
    }
    for (std::size_t i = 0; i < out.size(); ++i)
        clash[i] = collides(i);
    for (std::size_t i = 0; i < out.size(); ++i)
        if (clash[i])
            out[i] = inputs[i].path;
    return out;
}

ComparedRun compareOne(const CompareInput& in, CompareAlign align, std::size_t stepNumber) {
    const ArchiveReader& a = *in.archive;
    ComparedRun run;
    run.path = in.path;
    run.segments = scoreArchive(a);
    std::size_t steps = 0;
    for (const SegmentScore& s : run.segments) {
        if (!s.hold && ++steps == stepNumber) {
            run.step = s;
            break;
        }
    }
    run.regulators = recordActingOn(a, run.step ? run.step->first : 1);

    const std::size_t n = a.SampleCount;
    std::vector<double> tod(n);
    for (std::size_t p = 1; p <= n; ++p)
        tod[p - 1] = a.Samples[p].Vremya;
    run.t = secondsFromTimesOfDay(tod, 0);
    if (align == CompareAlign::Step && run.step && run.step->first >= 1 && run.step->first <= n)
        run.t0 = run.t[run.step->first - 1];
    for (double& t : run.t)
        t -= run.t0;
    run.temper.resize(n);
    for (std::size_t p = 1; p <= n; ++p)
        run.temper[p - 1] = a.Samples[p].Temper;
    run.zadan = scoredSetpoints(run.segments, n);
    return run;
}

void markBest(std::vector<ComparedRun>& runs) {
    for (std::size_t f : comparedFields()) {
        auto key = [f](const ComparedRun& r) -> std::optional<double> {
            if (!r.step)
                return std::nullopt;
            const auto v = scoreField(*r.step, f);
            if (!v || !std::isfinite(*v))
                return std::nullopt;
            return f == fieldIndex("steady_error") ? std::fabs(*v) : *v;
        };
        std::optional<double> best;
        std::size_t having = 0;
        for (const ComparedRun& r : runs) {
            if (const auto v = key(r)) {
                ++having;
                if (!best || *v < *best)
                    best = v;
            }
        }
        // A figure only one run has is no comparison.
        if (having < 2)
            continue;
        for (ComparedRun& r : runs)
            if (key(r) == best)
                r.best |= 1u << f;
    }
}

void putCsvText(std::string& out, const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) {
        out += s;
        return;
    }
    out += '"';
    for (char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void putJsonText(std::string& out, const std::string& s) {
    static const char* const hex = "0123456789abcdef";
    out += '"';
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

std::vector<std::string> bestNames(const ComparedRun& r) {
    std::vector<std::string> out;
    for (std::size_t f : comparedFields())
        if (r.isBest(f))
            out.emplace_back(scoreFieldNames()[f]);
    return out;
}

} // namespace

std::vector<double> scoredSetpoints(const std::vector<SegmentScore>& segments, std::size_t n) {
    std::vector<double> out(n, kNaN);
    for (const SegmentScore& s : segments)
        for (std::size_t p = s.first; p <= s.last && p <= n; ++p)
            out[p - 1] = s.setpoint;
    return out;
}

const std::vector<std::size_t>& comparedFields() {
    static const std::vector<std::size_t> fields = {
        fieldIndex("rise_time_s"),  fieldIndex("overshoot_pct"), fieldIndex("settling_time_s"),
        fieldIndex("steady_error"), fieldIndex("iae"),           fieldIndex("ise"),
        fieldIndex("itae")};
    return fields;
}

Comparison compareRuns(const std::vector<CompareInput>& inputs, CompareAlign align,
                       std::size_t stepNumber) {
    Comparison c;
    c.align = align;
    c.stepNumber = std::max<std::size_t>(1, stepNumber);
    const std::vector<std::string> names = labels(inputs);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        c.runs.push_back(compareOne(inputs[i], align, c.stepNumber));
        c.runs.back().label = names[i];
    }
    markBest(c.runs);
    return c;
}

std::string regulatorsName(const std::optional<TConfigRecord>& record, char sep) {
    if (!record)
        return "нет конфигурации";
    const TControlParams& p = record->params;
    std::string fuzzy, pid;
    if (record->Fuzzy_on) {
        fuzzy = "fuzzy";
        const std::pair<bool, const char*> addOns[] = {
            {p.prop_1, "П"}, {p.integ_1, "И"}, {p.diff_1, "Д"}};
        for (const auto& [on, letter] : addOns)
            if (on)
                fuzzy += std::string(" + ") + letter;
    }
    if (record->PID_on) {
        const std::pair<bool, const char*> letters[] = {
            {p.prop_2, "П"}, {p.integ_2, "И"}, {p.diff_2, "Д"}};
        const double gains[] = {p.C0_2, p.C1_2, p.C2_2};
        std::string coefficients;
        for (std::size_t t = 0; t < 3; ++t) {
            if (!letters[t].first)
                continue;
            pid += letters[t].second;
            coefficients += (coefficients.empty() ? "" : " / ") + formatGeneral(gains[t], sep);
        }
        pid = pid.empty() ? "ПИД без звеньев" : pid + " " + coefficients;
    }
    if (!fuzzy.empty() && !pid.empty())
        return fuzzy + " и " + pid;
    if (!fuzzy.empty())
        return fuzzy;
    if (!pid.empty())
        return pid;
    return record->Nagrev ? "нагрев" : "ручной";
}

std::string runName(const ComparedRun& run, char sep) {
    return run.label + " — " + regulatorsName(run.regulators, sep);
}

std::string comparisonCsv(const Comparison& c) {
    std::string out = "name";
    for (const char* f : scoreFieldNames()) {
        out += ',';
        out += f;
    }
    out += ",t0_s,best\n";
    for (const ComparedRun& r : c.runs) {
        putCsvText(out, runName(r, '.'));
        for (std::size_t f = 0; f < scoreFieldNames().size(); ++f) {
            out += ',';
            if (r.step)
                if (const auto v = scoreField(*r.step, f); v && std::isfinite(*v))
                    appendRoundTrip(out, *v);
        }
        out += ',';
        appendRoundTrip(out, r.t0);
        out += ',';
        const auto best = bestNames(r);
        for (std::size_t i = 0; i < best.size(); ++i)
            out += (i ? " " : "") + best[i];
        out += '\n';
    }
    return out;
}

std::string comparisonJson(const Comparison& c) {
    std::string out = "{\"align\": \"";
    out += c.align == CompareAlign::Step ? "step" : "start";
    out += "\", \"step_number\": " + std::to_string(c.stepNumber) + ", \"runs\": [";
    for (std::size_t i = 0; i < c.runs.size(); ++i) {
        const ComparedRun& r = c.runs[i];
        out += i == 0 ? "\n  {\"name\": " : ",\n  {\"name\": ";
        putJsonText(out, runName(r, '.'));
        out += ", \"file\": ";
        putJsonText(out, r.path);
        out += ", \"t0_s\": " + formatJsonNumber(r.t0) + ", \"segment\": ";
        if (r.step) {
            out += '{';
            for (std::size_t f = 0; f < scoreFieldNames().size(); ++f) {
                out += f ? ", \"" : "\"";
                out += scoreFieldNames()[f];
                out += "\": ";
                const auto v = scoreField(*r.step, f);
                out += v ? formatJsonNumber(*v) : "null";
            }
            out += '}';
        } else {
            out += "null";
        }
        out += ", \"best\": [";
        const auto best = bestNames(r);
        for (std::size_t b = 0; b < best.size(); ++b) {
            out += b ? ", " : "";
            putJsonText(out, best[b]);
        }
        out += "]}";
    }
    out += c.runs.empty() ? "]}\n" : "\n]}\n";
    return out;
}

} // namespace thermo
