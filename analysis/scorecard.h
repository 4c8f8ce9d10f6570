#pragma once
// The run scorecard: the figures control engineers compare step responses
// by, for every stretch of a run held at one setpoint. Qt-free; the archive
// window, the main window and thermostand-cli show the same figures.
//
// Segments: one starts at the first sample and at every sample whose
// setpoint differs from the previous sample's, the setpoint being that of
// the configuration record that acted on the sample (configActingOn: a
// record with Takt N from position N - 2 on); it ends just before the next
// one starts. t is the seconds since the segment's first sample, from
// Vremya; a step back of more than half a day between neighbours is a
// midnight passed and adds a day.
//
// With r the setpoint, y0 the first temperature, s = r - y0, e = r - y:
//   rise_time_s      t(first (y - y0)/s >= 0.9) - t(first (y - y0)/s >= 0.1);
//                    null when 90 % is never reached
//   overshoot_pct    100 max(0, max (y - r) sign(s)) / |s|
//   peak_temp/_time  the first sample where (y - r) sign(s) is largest
//   band             max(0.02 |s|, 0.5) degrees
//   settling_time_s  t of the earliest sample from which every later one is
//                    within r +- band (0 if the first is); null when the
//                    last sample is outside
//   steady_error     mean e over the last max(10, ceil(n/10)) samples when
//                    n >= 20, else null
//   iae, ise, itae   sums over samples 2..n of |e| dt, e^2 dt, t |e| dt:
//                    right-endpoint sums, each interval dt taking the error
//                    of the sample that ends it
// Rise, peak and settling are sample times, not interpolated between
// samples: the rise time is a whole number of sample intervals.
// A step below 0.5 degrees is a hold: no rise, overshoot or settling time,
// and the peak is the largest |e|.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/acting_config.h"
#include "storage/archive_record.h"
#include "storage/reader.h"

namespace thermo {

inline constexpr double kHoldStep = 0.5;      // degrees: a smaller step is a hold
inline constexpr double kMinBand = 0.5;       // degrees
inline constexpr double kBandFraction = 0.02; // of the step
inline constexpr std::size_t kSteadyMinSamples = 20;

struct SegmentScore {
    std::size_t first = 0, last = 0; // sample positions, from 1 as in archive dump
    double setpoint = 0, start_temp = 0, step = 0, duration_s = 0;
    bool hold = false;
    std::optional<double> rise_time_s, overshoot_pct;
    double peak_temp = 0, peak_time_s = 0, band = 0;
    std::optional<double> settling_time_s, steady_error;
    double iae = 0, ise = 0, itae = 0;

    // Where the trend chart marks the figures: sample positions of the 10 %
    // and 90 % crossings, the peak and the settling point.
    std::optional<std::size_t> rise10, rise90, settled;
    std::size_t peak = 0;
};

// One sample as the scorecard needs it.
struct ScoredSample {
    double Temper = 0, Vremya = 0, Zadan = 0;
};

// Segments of consecutive samples, the first at position firstPosition.
[[nodiscard]] std::vector<SegmentScore> scoreSamples(const std::vector<ScoredSample>& samples,
                                                     std::size_t firstPosition = 1);

// Samples 1 .. SampleCount with the setpoints of the configurations that
// acted on them. An archive without configuration records has no setpoint
// and no segment.
[[nodiscard]] std::vector<SegmentScore> scoreArchive(const ArchiveReader& archive);

// The current run as an archive: RunSamples 3 .. takt become positions 1 ..
// takt - 2 (the positions its sample file gives them), with the
// configuration records written since the run's "новый".
void runAsArchive(const std::vector<TArchiveRecord>& runSamples, std::uint16_t takt,
                  const std::vector<TConfigRecord>& runConfigs, ArchiveReader& out);
// A chart of the run draws position p at x = p + kRunChartOffset (its Takt).
inline constexpr int kRunChartOffset = static_cast<int>(kTaktOfPosition);

// The field names, in the order both outputs write them.
[[nodiscard]] const std::vector<const char*>& scoreFieldNames();

// CSV: a header of the field names, one row per segment, null as an empty
// field. JSON: {"segments": [{...}, ...]} with null. Numbers with a point and
// as many digits as read them back exactly, whatever the locale.
[[nodiscard]] std::string scorecardCsv(const std::vector<SegmentScore>& segments);
[[nodiscard]] std::string scorecardJson(const std::vector<SegmentScore>& segments);

// The value of field f (index into scoreFieldNames) of a segment; nothing
// for a null.
[[nodiscard]] std::optional<double> scoreField(const SegmentScore& s, std::size_t f);

} // namespace thermo
