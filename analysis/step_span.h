#pragma once
// A heater step's samples as the fit takes them, built from the records an
// archive holds: the level before the step (`baseline` samples and the
// switching tick's own reading, taken before the switch), then the response.
// The window's "идентификация объекта", `archive identify` and the step
// experiment (from the records it wrote) build their spans here alike, so a
// step fits the same from the run and from its archive. The archive does not
// record the manual value, so the caller names the step's position.

#include <cstddef>
#include <optional>
#include <span>

#include "analysis/identify.h"
#include "storage/archive_record.h"
#include "storage/reader.h"

namespace thermo {

// The level's samples taken when none are named: a few seconds just before
// the switch at the usual interval. Not the whole hold: a hold at a power
// other than the one before it is a transient of its own at first, and only
// its end is the level the step starts from.
inline constexpr std::size_t kDefaultBaseline = 10;

// `samples` are the records of positions first - baseline .. last, in order
// (at least baseline + 1 of them): times from their stamps, carried over
// midnight, in seconds from the switching tick's.
[[nodiscard]] StepSpan stepSpan(std::span<const TArchiveRecord> samples, std::size_t first,
                                std::size_t baseline, double intervalS);

// Samples first - baseline .. last of the archive (1 <= first - baseline,
// first < last <= SampleCount); the interval from the configuration that
// acted at first, else the samples' median spacing. Nothing for a span
// outside the archive.
[[nodiscard]] std::optional<StepSpan> archiveStepSpan(const ArchiveReader& archive,
                                                      std::size_t first, std::size_t last,
                                                      std::size_t baseline);

} // namespace thermo
