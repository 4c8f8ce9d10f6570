// thermostand-cli archive compare: the table of the window "сравнение
// прогонов" for scripts.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "analysis/compare.h"
#include "cli/commands.h"
#include "common/numfmt.h"
#include "common/options.h"
#include "common/scripted_dialogs.h"
#include "storage/reader.h"

namespace thermo::cli {

namespace {

constexpr const char* kCompareUsage =
    R"(usage: thermostand-cli archive compare FILE... [--json] [--align start|step]
                                        [--step N]

Compares 2..6 archives as the window "сравнение прогонов" does. CSV on
stdout, a header row and one row per archive:

  name,<the columns of archive score>,t0_s,best

name is the file's name without its extension and the regulators in force
at the run's step ("run1 — ПИД 10 / 0.12 / 22", "run2 — fuzzy + Д", "ручной"
when neither regulator was on). The figures are those of `archive score` for
the run's step: its first segment whose setpoint step is 0.5 degrees or
more, or the N-th with --step; an archive without one has them empty. t0_s
is the seconds from the archive's first sample to the comparison's time 0:
the step's first sample (--align step) or 0 (--align start). best lists,
separated by blanks, the figures in which the run is the best of those
compared: the smallest rise_time_s, overshoot_pct, settling_time_s,
|steady_error|, iae, ise and itae (ties share it). Numbers and names use a
point whatever the locale.

  --json           {"align": "step", "step_number": 1, "runs": [{"name": ...,
                   "file": ..., "t0_s": ..., "segment": {...} or null,
                   "best": [...]}, ...]}
  --align WHERE    start or step (default): where each run's time 0 lies
  --step N         the step of each run to score, 1 or more (1)

Exit status: 0 when every archive was read, 1 when one could not be opened,
2 for a usage error.
)";
static_assert(mentionsRange(kCompareUsage, kMinComparedRuns, kMaxComparedRuns));

} // namespace

std::optional<int> parseCompareOptions(OptionParser& p, CompareOptions& o, int argc, char** argv) {
    p.positionals("FILE...", o.files);
    p.choice("--align", o.align, {{"start", CompareAlign::Start}, {"step", CompareAlign::Step}});
    p.number("--step", o.step, {1, 1000});
    if (const auto end = p.parse(argc, argv))
        return end;
    if (o.files.size() < o.minFiles || o.files.size() > kMaxComparedRuns)
        return p.fail("give " + std::to_string(o.minFiles) + " to " +
                      std::to_string(kMaxComparedRuns) + " archives, not " +
                      std::to_string(o.files.size()));
    return std::nullopt;
}

std::optional<int> readArchives(const std::vector<std::string>& files,
                                std::vector<std::unique_ptr<ArchiveReader>>& archives,
                                std::vector<CompareInput>& runs) {
    ScriptedDialogs dialogs(true);
    for (const std::string& file : files) {
        auto a = std::make_unique<ArchiveReader>();
        if (!a->ReadSampleFile(file, dialogs)) {
            std::fprintf(stderr, "%s: could not be read\n", file.c_str());
            return 1;
        }
        (void)a->ReadConfigFile(file, dialogs);
        runs.push_back({file, a.get()});
        archives.push_back(std::move(a));
    }
    return std::nullopt;
}

int archiveCompare(int argc, char** argv) {
    CompareOptions o;
    bool json = false;
    OptionParser p("thermostand-cli archive compare", kCompareUsage);
    p.flag("--json", json);
    if (const auto end = parseCompareOptions(p, o, argc, argv))
        return *end;
    std::vector<std::unique_ptr<ArchiveReader>> archives;
    std::vector<CompareInput> inputs;
    if (const auto end = readArchives(o.files, archives, inputs))
        return *end;
    const Comparison c = compareRuns(inputs, o.align, static_cast<std::size_t>(o.step));
    const std::string out = json ? comparisonJson(c) : comparisonCsv(c);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace thermo::cli
