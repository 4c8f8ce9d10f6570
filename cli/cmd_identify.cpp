// thermostand-cli identify: the step experiment on the stand (a run in manual
// mode whose value changes once), the model fitted to its response and the
// coefficients the tuning rules propose; `archive identify` does the same
// for a span of a recorded archive.
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "run/interval.h"
#include "run/step_experiment.h"
#include "analysis/step_span.h"
#include "cli/commands.h"
#include "cli/run_observer.h"
#include "cli/settings_sep.h"
#include "common/numfmt.h"
#include "common/scripted_dialogs.h"
#include "analysis/identify.h"
#include "analysis/tuning.h"
#include "storage/archive_record.h"
#include "storage/io_error.h"
#include "storage/reader.h"
#include "storage/settings.h"

namespace thermo::cli {

namespace {

constexpr const char* kIdentifyUsage =
    R"(usage: thermostand-cli identify --archive FILE --from P0 --to P1 --hold N0
                                --ticks N1 [options]

The step experiment: the control cycle of `run` in manual mode, N0 ticks at
P0 % of heater power, then N1 ticks at P1 %, recorded as an ordinary
archive; then the heater goes to 0 and a first-order-plus-dead-time model is
fitted to the response, and coefficients for both regulators are proposed.
Every safety stop of `run` applies. The ticks are logged on stderr.

  --archive FILE       the archive to record (appended to when it exists)
  --from P0, --to P1   whole percent, 0..100, different; P0 > P1 is a cooling step
  --hold N0            ticks at P0 before the step, 1 or more
  --ticks N1           ticks at P1, 6 or more; N0 + N1 at most 64999. The fit
                       needs 1.5 time constants of response: a plant of 175 s
                       wants N1 of 300 s or more
  --interval MS, --port COMn|PATH, --settings FILE, --setpoint T,
  --watch-period S, --no-alarm-sound     as for `run`
)";
static_assert(mentionsNumber(kIdentifyUsage, kMaxStepTicks));

const char* kArchiveUsage =
    R"(usage: thermostand-cli archive identify FILE --first A --last B --step P0:P1
                                        [options]

Fits a first-order-plus-dead-time model to the samples A..B of the archive
FILE and proposes coefficients for both regulators. The archive does not
record the manual value, so the step is given: A is the position of the
tick that switched the heater from P0 % to P1 % (its reading, taken before
the switch, is the level before the step), and the power stays at P1 % up
to B. Times come from the samples' time stamps, the interval from the
configuration in force at A.

  --first A, --last B  sample positions, 1-based as in `archive dump`
  --step P0:P1         manual values in percent, 0..100, before and after
)";

const char* kReportUsage =
    R"(
Report options:
  --json               print {"model": {...}, "tuning": {...}} instead of text
  --step-size C        setpoint step in °C the saturation warning assumes,
                       from the plant held at P0 (default 10)
  --write-settings F   write the chosen rule's coefficients into the settings
                       file F (every other key and section kept)
  --rule NAME          the rule --write-settings takes: SIMC-PI, SIMC-PID
                       (default) or IMC-PID
  --regulator N        2 (default): C0_2, C1_2, C2_2; 1: Regulator 1's
                       add-ons C0_1, C1_1, C2_1 (its fuzzy part adds its own
                       output)

The model: y(t) = y0 + K dP (1 - exp(-(t - theta)/tau)) for t > theta, with
approximate 95 % intervals. Rules: SIMC (Skogestad 2003) PI and PID (Td =
theta/3 in the series form, Grimholt and Skogestad 2018) with the closed-
loop time constant max(theta, interval); IMC-PID (Rivera, Morari and
Skogestad 1986) with lambda the same. Kc is in % of heater power per °C; the
program's coefficients are per tick: Regulator 2's output is 0.427 x (C0_2 e
+ C1_2 S + C2_2 de) counts, Regulator 1's add-ons C0_1 e + C1_1 S + C2_1 de
counts, 234 counts being 100 %.

Exit status: 0 with a model; 1 when the run or the archive could not start
or be read; 2 for a usage error; 3 when the run ended early with the heater
off; 4 when the response does not allow a fit (too short, too flat, poor
fit: the message says which).
)";

struct ReportOptions {
    bool json = false;
    double stepC = 10;
    std::string writeSettings;
    TuningRule rule = TuningRule::SimcPid;
    int regulator = 2;
};

std::optional<double> number(const char* s) {
    return parseNumber(s ? s : "", '.');
}

// Consumes a report option at argv[i]; nothing when argv[i] is not one, an
// error text when it is one given wrongly.
std::optional<std::string> reportOption(int argc, char** argv, int& i, ReportOptions& o,
                                        bool& taken) {
    const std::string a = argv[i];
    const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
    taken = true;
    if (a == "--json") {
        o.json = true;
        return std::nullopt;
    }
    if (a != "--step-size" && a != "--write-settings" && a != "--rule" && a != "--regulator") {
        taken = false;
        return std::nullopt;
    }
    if (!next)
        return a + " needs a value";
    ++i;
    if (a == "--write-settings") {
        o.writeSettings = next;
    } else if (a == "--rule") {
        const auto r = tuningRuleFromName(next);
        if (!r)
            return std::string("--rule: unknown rule ") + next;
        o.rule = *r;
    } else if (a == "--regulator") {
        if (std::strcmp(next, "1") != 0 && std::strcmp(next, "2") != 0)
            return "--regulator needs 1 or 2";
        o.regulator = next[0] - '0';
    } else {
        const auto v = number(next);
        if (!v || *v == 0 || std::fabs(*v) > 200)
            return "--step-size needs a number of °C, not 0, within +-200";
        o.stepC = *v;
    }
    return std::nullopt;
}

bool wantsHelp(int argc, char** argv) {
    for (int i = 0; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    return false;
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<int>(c), 16);
            out += "\\u" + std::string(4 - (r.ptr - buf), '0') + std::string(buf, r.ptr);
        } else {
            out += c;
        }
    }
    return out + '"';
}

// Five significant digits (two for an interval), a point whatever the
// locale: what a student types into the coefficient fields.
std::string shown(double v, int digits = 5) {
    return std::isfinite(v) ? formatSignificant(v, digits) : "-";
}

const char* refusalKey(FitRefusal r) {
    switch (r) {
    case FitRefusal::None:
        return "none";
    case FitRefusal::NoStep:
        return "no_step";
    case FitRefusal::TooFlat:
        return "too_flat";
    case FitRefusal::WrongDirection:
        return "wrong_direction";
    case FitRefusal::TooShort:
        return "too_short";
    case FitRefusal::PoorFit:
        return "poor_fit";
    }
    return "";
}

// The step: its samples and the manual values before and after it.
struct Step {
    StepSpan span;
    double fromPct = 0, toPct = 0;
};

int writeSettings(const ReportOptions& o, const Tuning& tuning) {
    const char sep = settingsDecimalSeparator();
    TSettings s = LoadSettings(o.writeSettings, sep);
    applyTuning(s.params, tuning, o.regulator);
    try {
        SaveSettings(o.writeSettings, s, sep);
    } catch (const IoError& e) {
        std::cerr << "identify: " << e.what() << '\n';
        return 1;
    }
    std::cerr << "identify: " << tuningRuleName(o.rule) << " written to " << o.writeSettings
              << (o.regulator == 1 ? " (C0_1, C1_1, C2_1)\n" : " (C0_2, C1_2, C2_2)\n");
    // The switches are the user's; a term the rule counts on but that is
    // off deserves a word.
    const char* names[3] = {"prop", "integ", "diff"};
    for (int k : termsSwitchedOff(s.params, o.regulator))
        std::cerr << "identify: note: " << names[k] << '_' << o.regulator
                  << " is off in that file; the rule counts on that term\n";
    return 0;
}

int report(const Step& step, const ReportOptions& o) {
    const StepSpan& span = step.span;
    const StepIdentification id = identifyStep(span, step.fromPct, step.toPct, o.stepC);
    const double delta = id.deltaPct;
    const FopdtFit& fit = id.fit;
    if (fit.refusal != FitRefusal::None) {
        const std::string why = fitRefusalText(fit, '.');
        std::cerr << "identify: " << why << '\n';
        if (o.json)
            std::cout << "{\"error\": {\"reason\": \"" << refusalKey(fit.refusal)
                      << "\", \"message\": " << jsonString(why) << "}}\n";
        return 4;
    }
    const FopdtModel& m = fit.model;
    const TuningRequest& request = id.request;
    const std::vector<Tuning>& tunings = id.tunings;

    if (o.json) {
        std::string out = "{\"model\": {\"gain_c_per_pct\": " + formatJsonNumber(m.gain) +
                          ", \"tau_s\": " + formatJsonNumber(m.tau) +
                          ", \"dead_time_s\": " + formatJsonNumber(m.deadTime) +
                          ", \"y0\": " + formatJsonNumber(m.y0) +
                          ", \"rms_c\": " + formatJsonNumber(fit.rms) +
                          ", \"ci95\": {\"gain_c_per_pct\": " + formatJsonNumber(fit.gainCi) +
                          ", \"tau_s\": " + formatJsonNumber(fit.tauCi) +
                          ", \"dead_time_s\": " + formatJsonNumber(fit.deadTimeCi) +
                          ", \"y0\": " + formatJsonNumber(fit.y0Ci) + "}}";
        out += ", \"step\": {\"from_pct\": " + formatJsonNumber(step.fromPct) +
               ", \"to_pct\": " + formatJsonNumber(step.toPct) +
               ", \"interval_s\": " + formatJsonNumber(span.intervalS) +
               ", \"first\": " + std::to_string(span.first) +
               ", \"last\": " + std::to_string(span.last) + "}, \"tuning\": {";
        for (std::size_t k = 0; k < tunings.size(); ++k) {
            const Tuning& t = tunings[k];
            out += std::string(k ? ", " : "") + '"' + tuningRuleName(t.rule) + "\": {";
            out += "\"Kc\": " + formatJsonNumber(t.textbook.Kc) +
                   ", \"Ti_s\": " + formatJsonNumber(t.textbook.Ti) +
                   ", \"Td_s\": " + formatJsonNumber(t.textbook.Td) +
                   ", \"C0_2\": " + formatJsonNumber(t.regulator2.C0) +
                   ", \"C1_2\": " + formatJsonNumber(t.regulator2.C1) +
                   ", \"C2_2\": " + formatJsonNumber(t.regulator2.C2) +
                   ", \"C0_1\": " + formatJsonNumber(t.regulator1.C0) +
                   ", \"C1_1\": " + formatJsonNumber(t.regulator1.C1) +
                   ", \"C2_1\": " + formatJsonNumber(t.regulator1.C2) +
                   ", \"saturates\": " + (t.saturates ? "true" : "false") + '}';
        }
        std::cout << out << "}}\n";
    } else {
        std::cout << "step " << shown(step.fromPct) << " -> " << shown(step.toPct) << " %"
                  << " (" << shown(delta) << " % of full power), positions " << span.first << ".."
                  << span.last << ", interval " << shown(span.intervalS) << " s\n"
                  << "model: K " << shown(m.gain) << " °C/% ±" << shown(fit.gainCi, 2) << ", tau "
                  << shown(m.tau) << " s ±" << shown(fit.tauCi, 2) << ", theta "
                  << shown(m.deadTime) << " s ±" << shown(fit.deadTimeCi, 2) << ", y0 "
                  << shown(m.y0) << " °C ±" << shown(fit.y0Ci, 2) << ", rms " << shown(fit.rms)
                  << " °C\n"
                  << "rule       Kc(%/°C) Ti(s)    Td(s)    | C0_2     C1_2     C2_2     "
                     "| C0_1     C1_1     C2_1\n";
        auto col = [](double v) {
            std::string s = shown(v);
            return s + std::string(s.size() < 9 ? 9 - s.size() : 1, ' ');
        };
        for (const Tuning& t : tunings) {
            std::string name = tuningRuleName(t.rule);
            name.resize(11, ' ');
            std::cout << name << col(t.textbook.Kc) << col(t.textbook.Ti) << col(t.textbook.Td)
                      << "| " << col(t.regulator2.C0) << col(t.regulator2.C1)
                      << col(t.regulator2.C2) << "| " << col(t.regulator1.C0)
                      << col(t.regulator1.C1) << shown(t.regulator1.C2) << '\n';
        }
        for (const Tuning& t : tunings)
            if (t.saturates)
                std::cout << "warning: " << saturationWarning(t, request, '.') << '\n';
    }
    for (const Tuning& t : tunings)
        if (!o.writeSettings.empty() && t.rule == o.rule)
            return writeSettings(o, t);
    return 0;
}

// The run's ticks handed to the experiment's sequence.
class StepObserver : public RunObserver {
public:
    explicit StepObserver(StepExperiment& e) : e_(e) {}
    void beforeTick(long, Stand& stand) override { e_.beforeTick(stand.controls); }
    void afterTick(long, const Stand& stand, const TickReport& r) override {
        e_.afterTick(r, stand.state.Temper);
    }
    std::ostream& tickLines() override { return std::cerr; }

private:
    StepExperiment& e_;
};

} // namespace

int identify(int argc, char** argv) {
    if (wantsHelp(argc, argv)) {
        std::cout << kIdentifyUsage << kReportUsage;
        return 0;
    }
    ReportOptions report_;
    std::string archive;
    std::optional<double> from, to, hold, ticks;
    double intervalMs = 1000;
    std::vector<std::string> passed; // to `run` as they are
    auto usage = [](const std::string& why) {
        std::cerr << "identify: " << why << "\n\n" << kIdentifyUsage << kReportUsage;
        return 2;
    };
    for (int i = 0; i < argc; ++i) {
        bool taken = false;
        if (auto err = reportOption(argc, argv, i, report_, taken))
            return usage(*err);
        if (taken)
            continue;
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--no-alarm-sound") {
            passed.push_back(a);
            continue;
        }
        if (!next)
            return usage(a + (a.rfind("--", 0) == 0 ? " needs a value" : ": unexpected"));
        ++i;
        if (a == "--archive") {
            archive = next;
        } else if (a == "--port" || a == "--settings" || a == "--setpoint" ||
                   a == "--watch-period") {
            passed.insert(passed.end(), {a, next});
        } else if (a == "--from" || a == "--to" || a == "--hold" || a == "--ticks" ||
                   a == "--interval") {
            const auto v = number(next);
            if (!v || *v != std::floor(*v))
                return usage(a + " needs a whole number, not " + next);
            if (a == "--interval") {
                intervalMs = *v;
                passed.insert(passed.end(), {a, next});
            } else {
                (a == "--from" ? from : a == "--to" ? to : a == "--hold" ? hold : ticks) = *v;
            }
        } else {
            return usage("unknown option " + a);
        }
    }
    if (archive.empty() || !from || !to || !hold || !ticks)
        return usage("--archive, --from, --to, --hold and --ticks are required");
    if (*from < 0 || *from > 100 || *to < 0 || *to > 100 || *from == *to)
        return usage("--from and --to are different percentages 0..100");
    if (intervalMs < kMinIntervalMs || intervalMs > kMaxIntervalMs)
        return usage("--interval needs " + std::to_string(kMinIntervalMs) + ".." +
                     std::to_string(kMaxIntervalMs) + " ms");
    // Whole numbers within range, so the casts below keep them.
    if (*hold < 1 || *ticks < 1 || *hold + *ticks > double(kMaxStepTicks))
        return usage("--hold 1 or more, --ticks 6 or more, together at most " +
                     std::to_string(kMaxStepTicks));
    const StepPlan plan{static_cast<int>(*from), static_cast<int>(*to), static_cast<long>(*hold),
                        static_cast<long>(*ticks)};
    if (!validStepPlan(plan))
        return usage("--hold 1 or more, --ticks 6 or more, together at most " +
                     std::to_string(kMaxStepTicks));

    std::error_code ec;
    const auto size = std::filesystem::file_size(archive, ec);
    StepExperiment experiment(plan, ec ? 0 : static_cast<std::size_t>(size / kSampleRecordSize));
    StepObserver observer(experiment);
    std::vector<std::string> args = {"--archive", archive, "--ticks",
                                     std::to_string(experiment.totalTicks())};
    args.insert(args.end(), passed.begin(), passed.end());
    std::vector<char*> argvRun;
    for (auto& s : args)
        argvRun.push_back(s.data());
    const int status = runObserved(static_cast<int>(argvRun.size()), argvRun.data(), observer);
    if (status != 0) {
        if (status == 3)
            std::cerr << "identify: the experiment ended early; what was recorded is in " << archive
                      << " (archive identify fits a span of it)\n";
        return status;
    }
    const Step step{experiment.span(intervalMs / 1000.0), *from, *to};
    std::cerr << "identify: recorded in " << archive << " at positions " << step.span.first << ".."
              << step.span.last << "; the heater is off\n";
    return report(step, report_);
}

int archiveIdentify(int argc, char** argv) {
    if (wantsHelp(argc, argv)) {
        std::cout << kArchiveUsage << kReportUsage;
        return 0;
    }
    auto usage = [](const std::string& why) {
        std::cerr << "archive identify: " << why << "\n\n" << kArchiveUsage << kReportUsage;
        return 2;
    };
    ReportOptions report_;
    const char* file = nullptr;
    std::optional<double> first, last, from, to;
    for (int i = 0; i < argc; ++i) {
        bool taken = false;
        if (auto err = reportOption(argc, argv, i, report_, taken))
            return usage(*err);
        if (taken)
            continue;
        const std::string a = argv[i];
        if (a.rfind("-", 0) != 0) {
            if (file)
                return usage("unexpected argument " + a);
            file = argv[i];
            continue;
        }
        const char* next = i + 1 < argc ? argv[++i] : nullptr;
        if (!next)
            return usage(a + " needs a value");
        if (a == "--first" || a == "--last") {
            const auto v = number(next);
            if (!v || *v < 1 || *v != std::floor(*v))
                return usage(a + " needs a sample position, 1 or more");
            (a == "--first" ? first : last) = *v;
        } else if (a == "--step") {
            const std::string s = next;
            const auto colon = s.find(':');
            if (colon != std::string::npos) {
                from = parseNumber(s.substr(0, colon), '.');
                to = parseNumber(s.substr(colon + 1), '.');
            }
            if (!from || !to || *from < 0 || *from > 100 || *to < 0 || *to > 100 || *from == *to)
                return usage("--step needs P0:P1, two different percentages 0..100");
        } else {
            return usage("unknown option " + a);
        }
    }
    if (!file || !first || !last || !from)
        return usage("FILE, --first, --last and --step are required");
    if (*last < *first + double(kMinFitSamples) - 1)
        return usage("--last must be at least 5 positions after --first");

    ScriptedDialogs dialogs(true); // the reader's messages go to stderr
    ArchiveReader archive;
    if (!archive.ReadSampleFile(file, dialogs))
        return 1;
    (void)archive.ReadConfigFile(file, dialogs);
    if (*last > double(archive.SampleCount)) {
        std::cerr << "archive identify: " << file << " holds " << archive.SampleCount
                  << " samples; --last " << *last << " is past them\n";
        return 2;
    }
    const auto span =
        archiveStepSpan(archive, static_cast<std::size_t>(*first), static_cast<std::size_t>(*last));
    if (!span) // --last checked against --first and the archive above
        return 2;
    return report({*span, *from, *to}, report_);
}

} // namespace thermo::cli
