#pragma once
// Runs compared side by side, the exercise the stand exists for: fuzzy
// against PID, default coefficients against tuned ones. Each archive is
// named by its file and the regulators in force at its step, drawn on one
// time axis with the others, and scored by the scorecard of that step, the
// best value of each figure marked. Qt-free: the comparison window, the lab
// report and `thermostand-cli archive compare` show the same.
//
// The step of a run: its N-th scorecard segment that is not a hold (the
// first by default). It is the scorecard's own segment, so time 0 of an
// alignment on the step is where the scorecard says the change acted. A run
// without such a segment has no row of figures, says so, and is aligned by
// its start.
//
// Times are seconds from the samples' stamps (carried over midnight), from
// the run's first sample (CompareAlign::Start) or from the first sample of
// its step (CompareAlign::Step).
//
// A run's name is "<label> — <regulators>". The label is the file's name
// without its extension, with its folder in front when two runs would share
// one. The regulators are those of the configuration record that set the
// step's setpoint (the one in force at the start for a run without a step):
//   Regulator 1 on   "fuzzy", and the add-ons switched on: "fuzzy + П + Д"
//   Regulator 2 on   the letters of its terms switched on, then their
//                    coefficients: "ПИД 10 / 0,12 / 22", "ПИ 10 / 0,12"
//   both             "fuzzy + Д и ПИД 10 / 0,12 / 22"
//   neither          "нагрев" when forced full heat was on, else "ручной"
//                    (the archive records no manual value)
//   no record        "нет конфигурации"
// Coefficients in the general form with the decimal mark given: the windows
// pass the locale's, the CSV and JSON a point.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/scorecard.h"
#include "storage/reader.h"

namespace thermo {

inline constexpr std::size_t kMinComparedRuns = 2;
inline constexpr std::size_t kMaxComparedRuns = 6;

enum class CompareAlign { Start, Step };

// One archive to compare: where it was read from (that names it) and what it holds.
struct CompareInput {
    std::string path;
    const ArchiveReader* archive = nullptr;
};

struct ComparedRun {
    std::string path;
    std::string label;
    std::optional<TConfigRecord> regulators; // none: the archive has no configuration record
    std::vector<SegmentScore> segments;      // the whole scorecard
    std::optional<SegmentScore> step;        // none: no step to score
    double t0 = 0;                           // s from the run's first sample to the chart's time 0
    // The run on the common axis: one point per sample, t in s from time 0;
    // zadan the setpoint its scorecard segment has (NaN outside every one).
    std::vector<double> t, temper, zadan;
    // Bit f set: this run has the best value of scoreField f (ties share
    // it); only where two runs or more have the figure.
    std::uint32_t best = 0;

    [[nodiscard]] bool isBest(std::size_t field) const { return (best >> field) & 1u; }
};

struct Comparison {
    CompareAlign align = CompareAlign::Step;
    std::size_t stepNumber = 1; // which step of each run: 1 the first
    std::vector<ComparedRun> runs;
};

// stepNumber 0 is taken as 1.
[[nodiscard]] Comparison compareRuns(const std::vector<CompareInput>& inputs, CompareAlign align,
                                     std::size_t stepNumber = 1);

// The setpoint of each of the positions 1 .. n as the scorecard takes it:
// that of the segment holding it, NaN outside every segment. Charts draw it,
// so a step drawn starts where its figures start.
[[nodiscard]] std::vector<double> scoredSetpoints(const std::vector<SegmentScore>& segments,
                                                  std::size_t n);

// The regulators part of a name (see above).
[[nodiscard]] std::string regulatorsName(const std::optional<TConfigRecord>& record,
                                         char decimalSep);
// "<label> — <regulators>".
[[nodiscard]] std::string runName(const ComparedRun& run, char decimalSep);

// The scorecard fields (indices into scoreFieldNames) that get a best-of
// mark, each won by the smallest value (the steady error by its magnitude):
// rise and settling time, overshoot, steady error, IAE, ISE, ITAE.
[[nodiscard]] const std::vector<std::size_t>& comparedFields();

// One row per run: the run's name, the scorecard fields of its step (empty
// for a run without one, as for a figure that does not exist), t0_s, and
// best: the names of the fields it is best in, separated by blanks. JSON:
// {"align": "step", "step_number": 1, "runs": [{"name", "file", "t0_s",
// "segment": {...} or null, "best": [...]}]}. Numbers with a point and as
// many digits as read them back exactly, names with a point too: neither
// depends on the locale.
[[nodiscard]] std::string comparisonCsv(const Comparison& c);
[[nodiscard]] std::string comparisonJson(const Comparison& c);

} // namespace thermo
