#pragma once
// A span of a recorded archive as a heater step's response, for the fit:
// the window's "идентификация объекта" and `archive identify` take it alike.
// The archive does not record the manual value, so the caller names the
// step's position.

#include <cstddef>
#include <optional>

#include "analysis/identify.h"
#include "storage/reader.h"

namespace thermo {

// Samples first .. last (1 <= first < last <= SampleCount), first being the
// tick that switched the heater: times from the samples' stamps, carried
// over midnight, in seconds from first; the interval from the configuration
// in force at first, else the samples' median spacing. Nothing for a span
// outside the archive.
[[nodiscard]] std::optional<StepSpan> archiveStepSpan(const ArchiveReader& archive,
                                                      std::size_t first, std::size_t last);

} // namespace thermo
