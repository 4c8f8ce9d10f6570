// thermostand-cli identify: the step experiment on the stand (a run in manual
// mode whose value changes once), the model fitted to its response and the
// coefficients the tuning rules propose; `archive identify` does the same
// for a span of a recorded archive.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "analysis/identify.h"
#include "analysis/step_span.h"
#include "analysis/tuning.h"
#include "cli/commands.h"
#include "cli/settings_sep.h"
#include "cli/stand_run.h"
#include "common/numfmt.h"
#include "common/options.h"
#include "common/scripted_dialogs.h"
#include "run/interval.h"
#include "run/step_experiment.h"
#include "storage/io_error.h"
#include "storage/reader.h"
#include "storage/settings.h"
#include "storage/step_note.h"

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
  --hold N0            ticks at P0 before the step, 3 or more: the run's first
                       tick records nothing, and the fit wants the switching
                       tick and two samples before it for the level. The last
                       10 samples before the switch are the level, and it
                       must be steady: a plant that was at another power
                       wants N0 long enough to settle at P0
  --ticks N1           ticks at P1, 6 or more; N0 + N1 at most 64999. The fit
                       needs 1.5 time constants of response: a plant of 175 s
                       wants N1 of 300 s or more
  --interval MS, --port COMn|PATH, --settings FILE, --setpoint T,
  --watch-period S, --no-alarm-sound     as for `run`
)";
static_assert(mentionsNumber(kIdentifyUsage, kMaxStepTicks) &&
              mentionsNumber(kIdentifyUsage, kMinHoldTicks) &&
              mentionsNumber(kIdentifyUsage, kDefaultBaseline));

constexpr const char* kArchiveUsage =
    R"(usage: thermostand-cli archive identify FILE [--first A --last B --step P0:P1]
                                        [--baseline N] [options]

Fits a first-order-plus-dead-time model to the samples A..B of the archive
FILE and proposes coefficients for both regulators. The archive does not
record the manual value, so the step is given: A is the position of the
tick that switched the heater from P0 % to P1 % (its reading, taken before
the switch, belongs to the level before the step), and the power stays at
P1 % up to B. The N samples before A and A's own are the level before the
step; a level that moves by more than the readings' noise is refused: the
way of the step, as a response begun before A, the other way, as a plant
not yet settled. Times come from the samples' time stamps, the interval from
the configuration that acted at A.

  --first A, --last B  sample positions, 1-based as in `archive dump`
  --step P0:P1         manual values in percent, 0..100, before and after
  --baseline N         samples before A in the level, 2 or more (default 10,
                       or as many as the archive holds before A); identify
                       --json prints the span it fitted as first, last and
                       baseline, and these three give the same fit

Without any of the three the step comes from the note a completed step
experiment left beside the archive (FILE.step), the last one there,
with the level it fitted.
)";
static_assert(mentionsNumber(kArchiveUsage, kDefaultBaseline) &&
              mentionsNumber(kArchiveUsage, kMinLevelSamples - 1));

const char* kReportUsage =
    R"(
Report options:
  --json               print {"model": {...}, "step": {...}, "tuning": {...}}
                       instead of text; "step" holds from_pct, to_pct,
                       interval_s and the span: first, last and baseline
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
off; 4 when the span does not allow a fit (a level before the step too short
or not steady, a response begun before it, too short, too flat, poor fit:
the message says which; with --json, {"error": {"reason": ..., "message":
...}}).
)";

struct ReportOptions {
    bool json = false;
    double stepC = 10;
    std::string writeSettings;
    TuningRule rule = TuningRule::SimcPid;
    int regulator = 2;
};

// The report options, declared beside a command's own; then the command
// line is parsed. The status to end with (0 after --help, 2 for a usage
// error), or nothing with every target set.
std::optional<int> parseWithReport(OptionParser& p, ReportOptions& o, int argc, char** argv) {
    const char* stepSizeNeeds = "a number of °C within +-200, other than 0";
    std::vector<std::pair<std::string, TuningRule>> rules;
    for (TuningRule r : kTuningRules)
        rules.emplace_back(tuningRuleName(r), r);
    p.flag("--json", o.json);
    p.number("--step-size", o.stepC, {-200, 200}, stepSizeNeeds);
    p.text("--write-settings", o.writeSettings, "a file name");
    p.choice("--rule", o.rule, std::move(rules));
    p.choice("--regulator", o.regulator, {{"1", 1}, {"2", 2}});
    if (const auto end = p.parse(argc, argv))
        return end;
    if (o.stepC == 0)
        return p.fail(std::string("--step-size needs ") + stepSizeNeeds + ", not 0");
    return std::nullopt;
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
    case FitRefusal::ShortLevel:
        return "short_level";
    case FitRefusal::NotSteady:
        return "not_steady";
    case FitRefusal::ResponseBegun:
        return "response_begun";
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
               ", \"last\": " + std::to_string(span.last) +
               ", \"baseline\": " + std::to_string(span.baseline) + "}, \"tuning\": {";
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
                  << span.last << " (level from " << span.first - span.baseline << "), interval "
                  << shown(span.intervalS) << " s\n"
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

const std::string kHoldTicksNeeds = "--hold " + std::to_string(kMinHoldTicks) +
                                    " or more, --ticks 6 or more, together at most " +
                                    std::to_string(kMaxStepTicks);

// What identify is asked: the experiment, and the options its run takes
// as `run` takes them (left out: run's defaults).
struct IdentifyOptions {
    std::string archive;
    StepPlan plan;
    long intervalMs = 1000;
    std::string port, settings;
    std::optional<double> setpoint, watchSeconds;
    bool sound = true;
    ReportOptions report;
};

// The options, or nothing with the exit status in `status`: 0 after --help,
// 2 after a usage error.
std::optional<IdentifyOptions> parseIdentify(int argc, char** argv, int& status) {
    IdentifyOptions o;
    OptionParser p("identify", std::string(kIdentifyUsage) + kReportUsage);
    p.text("--archive", o.archive, "a file name");
    p.number("--from", o.plan.fromPct, {0, 100});
    p.number("--to", o.plan.toPct, {0, 100});
    p.number("--hold", o.plan.hold, {double(kMinHoldTicks), double(kMaxStepTicks)});
    p.number("--ticks", o.plan.ticks, {double(kMinFitSamples), double(kMaxStepTicks)});
    p.number("--interval", o.intervalMs, {kMinIntervalMs, kMaxIntervalMs});
    p.text("--port", o.port, "COMn or a path");
    p.text("--settings", o.settings, "a file name");
    p.number("--setpoint", o.setpoint);
    const SafetyKey& period = safetyKey(&SafetySettings::watchPeriod);
    p.number("--watch-period", o.watchSeconds, {period.min, period.max});
    p.flag("--no-alarm-sound", o.sound, false);
    if (const auto end = parseWithReport(p, o.report, argc, argv)) {
        status = *end;
        return std::nullopt;
    }
    const char* why = nullptr;
    if (o.archive.empty() || !p.given("--from") || !p.given("--to") || !p.given("--hold") ||
        !p.given("--ticks"))
        why = "--archive, --from, --to, --hold and --ticks are required";
    else if (o.plan.fromPct == o.plan.toPct)
        why = "--from and --to are different percentages 0..100";
    else if (!validStepPlan(o.plan) || o.plan.hold < kMinHoldTicks)
        why = kHoldTicksNeeds.c_str();
    if (why) {
        status = p.fail(why);
        return std::nullopt;
    }
    return o;
}

} // namespace

int identify(int argc, char** argv) {
    int parseStatus = 0;
    const auto opt = parseIdentify(argc, argv, parseStatus);
    if (!opt)
        return parseStatus;
    const IdentifyOptions& o = *opt;
    HeadlessRun run;
    run.archive = o.archive;
    run.port = o.port;
    run.settings = o.settings;
    if (o.setpoint)
        run.setpoint = *o.setpoint;
    run.watchPeriodS = o.watchSeconds;
    run.controls.Check_Alarm = o.sound;
    run.controls.intervalMs = static_cast<int>(o.intervalMs);
    run.experiment = o.plan;
    // The ticks are logged on stderr: stdout is the report's.
    const HeadlessResult result = runHeadless(run, "identify", std::cerr);
    if (result.status != 0) {
        if (result.status == 3)
            std::cerr << "identify: the experiment ended early; what was recorded is in "
                      << o.archive << " (archive identify fits a span of it)\n";
        return result.status;
    }
    const Step step{result.experiment->span, double(o.plan.fromPct), double(o.plan.toPct)};
    std::cerr << "identify: recorded in " << o.archive << " at positions " << step.span.first
              << ".." << step.span.last << "; the heater is off\n";
    return report(step, o.report);
}

int archiveIdentify(int argc, char** argv) {
    ReportOptions report_;
    std::string file, step;
    long first = 0, last = 0, baseline = 0;
    const char* stepNeeds = "P0:P1, two different percentages 0..100";
    OptionParser p("archive identify", std::string(kArchiveUsage) + kReportUsage);
    p.positional("FILE", file);
    p.number("--first", first, {1}, "a sample position, 1 or more");
    p.number("--last", last, {1}, "a sample position, 1 or more");
    p.text("--step", step, stepNeeds);
    p.number("--baseline", baseline, {double(kMinLevelSamples - 1)},
             "a number of samples, " + std::to_string(kMinLevelSamples - 1) + " or more");
    if (const auto end = parseWithReport(p, report_, argc, argv))
        return *end;
    bool noteBaseline = false;
    const int spanGiven = p.given("--first") + p.given("--last") + p.given("--step");
    if (spanGiven == 0) {
        // The step experiment noted where its step lies.
        const std::vector<StepNote> notes = readStepNotes(file);
        if (notes.empty())
            return p.fail("--first, --last and --step are required: no step experiment is "
                          "noted in " +
                          stepNoteFileName(file));
        first = static_cast<long>(notes.back().first);
        last = static_cast<long>(notes.back().last);
        step = std::to_string(notes.back().fromPct) + ':' + std::to_string(notes.back().toPct);
        if (notes.back().baseline && !p.given("--baseline")) {
            baseline = static_cast<long>(*notes.back().baseline);
            noteBaseline = true;
        }
    } else if (spanGiven < 3) {
        return p.fail("FILE, --first, --last and --step are required");
    }
    std::optional<double> from, to;
    if (const auto colon = step.find(':'); colon != std::string::npos) {
        from = parseNumber(step.substr(0, colon), '.');
        to = parseNumber(step.substr(colon + 1), '.');
    }
    if (!from || !to || *from < 0 || *from > 100 || *to < 0 || *to > 100 || *from == *to)
        return p.fail(std::string("--step needs ") + stepNeeds + ", not " + step);
    if (last < first + static_cast<long>(kMinFitSamples) - 1)
        return p.fail("--last must be at least 5 positions after --first");

    ScriptedDialogs dialogs(true); // the reader's messages go to stderr
    ArchiveReader archive;
    if (!archive.ReadSampleFile(file, dialogs))
        return 1;
    (void)archive.ReadConfigFile(file, dialogs);
    if (static_cast<std::size_t>(last) > archive.SampleCount) {
        std::cerr << "archive identify: " << file << " holds " << archive.SampleCount
                  << " samples; --last " << last << " is past them\n";
        return 2;
    }
    if (!p.given("--baseline") && !noteBaseline) {
        baseline = std::min<long>(static_cast<long>(kDefaultBaseline), first - 1);
    } else if (baseline >= first) {
        std::cerr << "archive identify: --baseline " << baseline << " reaches before the first "
                  << "sample: --first " << first << " has " << first - 1 << " before it\n";
        return 2;
    }
    const auto span =
        archiveStepSpan(archive, static_cast<std::size_t>(first), static_cast<std::size_t>(last),
                        static_cast<std::size_t>(baseline));
    if (!span) // --last and --baseline checked against --first and the archive above
        return 2;
    return report({*span, *from, *to}, report_);
}

} // namespace thermo::cli
