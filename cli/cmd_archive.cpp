// thermostand-cli archive: a recorded archive as CSV for the students' own
// tools. Each sub-subcommand is one entry of the table in archive().
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/replay.h"
#include "analysis/scorecard.h"
#include "cli/archive_export.h"
#include "cli/commands.h"
#include "common/numfmt.h"
#include "common/options.h"
#include "common/scripted_dialogs.h"
#include "storage/reader.h"

namespace thermo::cli {

namespace {

const char* kDumpUsage = R"(usage: thermostand-cli archive dump FILE [--replay]

Writes the archive FILE (the sample file; its configuration file is FILE
followed by "UST") as CSV on stdout, a header row and then one row per
sample position from 1:

  position,time,temper,zadan,oshibka,config,summa_1,summa_2

time is the time of day as a fraction of a day (0.5 is noon; a spreadsheet
shows it with a time format); zadan and oshibka (zadan - temper) come from
configuration record number config, the one in force for the position (all
three empty when the archive has no configuration record). Numbers use a
point and as many digits as it takes to read them back exactly.

  --replay   add r1,r2,r_total,mu_mal_otkl,mu_norm_otkl,mu_bol_otkl,
             mu_mal_skor,mu_norm_skor,mu_bol_skor,rule_mask: both regulators
             replayed as the archive window does with its check boxes set
             from that record (memberships and mask empty while Regulator 1
             was off; rule_mask bit k-1 is rule k)

Exit status: 0 when the sample file was read, 1 when it could not be opened,
2 for a usage error.
)";

const char* kConfigsUsage = R"(usage: thermostand-cli archive configs FILE

Lists the configuration records of the archive FILE (read from FILE followed
by "UST") as CSV on stdout, one row per record with every field, in the
record's own order, after a header row.

Exit status: 0 when the configuration file was read, 1 when it could not be
opened, 2 for a usage error.
)";

void putNumber(std::string& out, std::uint64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void flush(std::string& out) {
    std::fwrite(out.data(), 1, out.size(), stdout);
    out.clear();
}

// The arguments of a subcommand that takes one FILE and at most one switch.
// Returns the status to end with (0 after --help, 2 for a usage error), or
// nothing with `file` and `on` set.
std::optional<int> fileAndSwitch(int argc, char** argv, const char* command, const char* usage,
                                 const char* switchName, std::string& file, bool& on) {
    OptionParser p(std::string("thermostand-cli archive ") + command, usage);
    p.positional("FILE", file);
    if (switchName)
        p.flag(switchName, on);
    return p.parse(argc, argv);
}

// FILE and the switch of dump and score, and both files of the archive read
// with the reader's messages on stderr. Returns the status to end with (0
// after --help, 1 when the sample file could not be read, 2 for a usage
// error), or nothing with `archive` read and `on` set.
std::optional<int> readArchive(int argc, char** argv, const char* command, const char* usage,
                               const char* switchName, bool& on, ArchiveReader& archive) {
    std::string file;
    if (const auto end = fileAndSwitch(argc, argv, command, usage, switchName, file, on))
        return end;
    ScriptedDialogs dialogs(true);
    const bool samplesRead = archive.ReadSampleFile(file, dialogs);
    (void)archive.ReadConfigFile(file, dialogs);
    return samplesRead ? std::nullopt : std::optional<int>(1);
}

int dump(int argc, char** argv) {
    bool replay = false;
    ArchiveReader archive;
    if (const auto end = readArchive(argc, argv, "dump", kDumpUsage, "--replay", replay, archive))
        return *end;

    std::string out = "position,time,temper,zadan,oshibka,config,summa_1,summa_2";
    if (replay)
        out += ",r1,r2,r_total,mu_mal_otkl,mu_norm_otkl,mu_bol_otkl,mu_mal_skor,mu_norm_skor,"
               "mu_bol_skor,rule_mask";
    out += '\n';
    for (std::size_t p = 1; p <= archive.SampleCount; ++p) {
        const TArchiveRecord& s = archive.Samples[p];
        const auto k = archive.configForPosition(p);
        putNumber(out, std::uint64_t{p});
        out += ',';
        appendRoundTrip(out, s.Vremya);
        out += ',';
        appendRoundTrip(out, s.Temper);
        out += ',';
        if (k) {
            const double zadan = archive.Configs[*k].Zadan;
            appendRoundTrip(out, zadan);
            out += ',';
            appendRoundTrip(out, zadan - s.Temper);
            out += ',';
            putNumber(out, std::uint64_t{*k});
        } else {
            out += ",,";
        }
        out += ',';
        appendRoundTrip(out, s.Summa_1);
        out += ',';
        appendRoundTrip(out, s.Summa_2);
        if (replay) {
            if (k) {
                const TConfigRecord& rec = archive.Configs[*k];
                const ReplayView v = ShowReplay(archive, *k, p, switchesOf(rec));
                for (double x : {v.R1, v.R2, v.total}) {
                    out += ',';
                    appendRoundTrip(out, x);
                }
                if (v.fuzzy) {
                    const TFuzzyStep& st = v.fuzzy->step;
                    for (double mu : {st.mu_mal_otkl, st.mu_norm_otkl, st.mu_bol_otkl,
                                      st.mu_mal_skor, st.mu_norm_skor, st.mu_bol_skor}) {
                        out += ',';
                        appendRoundTrip(out, mu);
                    }
                    out += ',';
                    putNumber(out, std::uint64_t{st.Rule_mask});
                } else {
                    out += ",,,,,,,";
                }
            } else {
                out += ",,,,,,,,,,";
            }
        }
        out += '\n';
        if (out.size() > (1u << 16))
            flush(out);
    }
    flush(out);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int configs(int argc, char** argv) {
    std::string file;
    bool none = false;
    if (const auto end = fileAndSwitch(argc, argv, "configs", kConfigsUsage, nullptr, file, none))
        return *end;
    ScriptedDialogs dialogs(true);
    ArchiveReader archive;
    if (!archive.ReadConfigFile(file, dialogs))
        return 1;

    std::string out = "config,Takt,Zadan,C0_1,C1_1,C2_1,C0_2,C1_2,C2_2,"
                      "otkl_left,otkl_right,skor_left,skor_right";
    for (int i = 1; i <= 9; ++i)
        out += ",m" + std::to_string(i);
    for (const char* input : {"otkl", "skor"}) {
        for (const char* b : {"A1", "B1", "A2", "B2", "C2", "A3", "B3"})
            out += std::string(",") + input + "_" + b;
    }
    for (int i = 1; i <= 9; ++i)
        out += ",vih_" + std::to_string(i);
    out += ",prop_1,integ_1,diff_1,prop_2,integ_2,diff_2,Fuzzy_on,PID_on,Nagrev,Interval\n";
    for (std::size_t k = 1; k <= archive.ConfigCount; ++k) {
        const TConfigRecord& r = archive.Configs[k];
        const TControlParams& p = r.params;
        putNumber(out, std::uint64_t{k});
        out += ',';
        putNumber(out, std::uint64_t{r.Takt});
        for (double v : {r.Zadan, p.C0_1, p.C1_1, p.C2_1, p.C0_2, p.C1_2, p.C2_2, p.otkl_left,
                         p.otkl_right, p.skor_left, p.skor_right}) {
            out += ',';
            appendRoundTrip(out, v);
        }
        for (auto m : p.m) {
            out += ',';
            putNumber(out, std::uint64_t{m});
        }
        for (double v :
             {p.otkl_A1, p.otkl_B1, p.otkl_A2, p.otkl_B2, p.otkl_C2, p.otkl_A3, p.otkl_B3,
              p.skor_A1, p.skor_B1, p.skor_A2, p.skor_B2, p.skor_C2, p.skor_A3, p.skor_B3}) {
            out += ',';
            appendRoundTrip(out, v);
        }
        for (auto v : p.vih) {
            out += ',';
            putNumber(out, std::uint64_t{v});
        }
        for (bool b : {p.prop_1, p.integ_1, p.diff_1, p.prop_2, p.integ_2, p.diff_2, r.Fuzzy_on,
                       r.PID_on, r.Nagrev})
            out += b ? ",1" : ",0";
        out += ',';
        putNumber(out, std::uint64_t{r.Interval});
        out += '\n';
    }
    flush(out);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

const char* kScoreUsage = R"(usage: thermostand-cli archive score FILE [--json]

The run scorecard of the archive FILE: one row per segment, a stretch of
samples held at one setpoint. A new segment starts at the first sample the
new setpoint acted on: a configuration record with Takt N was written by the
tick that took position N - 2, from the values that tick used (the sample
at position p is tick p + 2's). CSV on stdout, a header row and then

  first,last,setpoint,start_temp,step,duration_s,rise_time_s,overshoot_pct,
  peak_temp,peak_time_s,band,settling_time_s,steady_error,iae,ise,itae

first and last are sample positions (from 1, as in archive dump); times in
seconds since the segment's first sample; temperatures, step (setpoint minus
the first temperature), band and steady_error in degrees; overshoot in
percent of the step; iae, ise, itae the integrals of |e|, e^2 and t|e| over
the segment (e = setpoint - temperature) as right-endpoint sums: each
interval between neighbouring samples counts with the error of the sample
that ends it, so the first sample's error is not in them. Rise, peak and
settling are the times of samples, not interpolated between them: the rise
time (first sample at 10 % of the step to first at 90 %) is a whole number
of sample intervals. A figure that does not exist (90 % never reached, never
settled, fewer than 20 samples for steady_error, or a hold: a step below 0.5
degrees) is an empty field. Numbers use a point.

  --json   {"segments": [{...the fields above...}, ...]}, with null

Exit status: 0 when the sample file was read, 1 when it could not be opened,
2 for a usage error.
)";

int score(int argc, char** argv) {
    bool json = false;
    ArchiveReader archive;
    if (const auto end = readArchive(argc, argv, "score", kScoreUsage, "--json", json, archive))
        return *end;
    const auto segments = scoreArchive(archive);
    std::string out = json ? scorecardJson(segments) : scorecardCsv(segments);
    flush(out);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

struct Subcommand {
    const char* name;
    int (*fn)(int, char**);
    const char* synopsis;
};

// One entry per sub-subcommand; the exports add theirs here.
const Subcommand kSubcommands[] = {
    {"dump", dump, "archive dump FILE [--replay]   samples as CSV, optionally replayed"},
    {"configs", configs, "archive configs FILE          configuration records as CSV"},
    {"score", score, "archive score FILE [--json]    the run scorecard, one row per segment"},
    {"compare", archiveCompare,
     "archive compare FILE... [--json] [--align start|step]   2 to 6 runs side by side"},
    {"xlsx", archiveXlsx, "archive xlsx FILE OUT         samples to a workbook"},
    {"wmf", archiveWmf, "archive wmf FILE OUT          the trend chart as a metafile"},
    {"identify", archiveIdentify,
     "archive identify FILE --first A --last B --step P0:P1   model and tuning of a step"},
};

} // namespace

int archive(int argc, char** argv) {
    if (argc >= 1) {
        for (const Subcommand& s : kSubcommands) {
            if (std::strcmp(argv[0], s.name) == 0)
                return s.fn(argc - 1, argv + 1);
        }
    }
    const bool help =
        argc >= 1 && (std::strcmp(argv[0], "--help") == 0 || std::strcmp(argv[0], "-h") == 0);
    std::ostream& os = help ? std::cout : std::cerr;
    os << "usage: thermostand-cli archive SUBCOMMAND FILE ...\n";
    for (const Subcommand& s : kSubcommands)
        os << "  " << s.synopsis << '\n';
    os << "Run a subcommand with --help for its details.\n";
    return help ? 0 : 2;
}

} // namespace thermo::cli
