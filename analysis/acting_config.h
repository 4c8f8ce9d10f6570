#pragma once
// Which configuration record acted on a recorded sample, for the figures
// that must say what happened (the scorecard, the step fit).
//
// "новый" sets the tick counter Takt to 1 and the run's first tick (Takt 2)
// records nothing, so the sample at position p was taken by the tick with
// Takt p + 2. A tick acts with the setpoint and parameters in force when it
// starts and, at its end, writes a configuration record with its own Takt
// when they differ from the last one written: a record with Takt N acted from
// tick N on, that is on positions N - 2 on. The record "новый" writes (Takt 1)
// and one written by the first recording tick (Takt 3, a change made before
// "старт", which the unrecorded tick 2 already used) both act from position 1.
//
// The archive window keeps its own rule (ArchiveReader::configForPosition)
// for what it shows and replays. A file holding several runs has Takt start
// again with each; its records are searched in file order, as there.

#include <cstddef>
#include <optional>

#include "storage/reader.h"

namespace thermo {

inline constexpr std::size_t kTaktOfPosition = 2; // Takt = position + 2

// The record that acted on the sample at position p (1-based); record 1 for
// a position before the first record's, nothing without records.
[[nodiscard]] inline std::optional<std::size_t> configActingOn(const ArchiveReader& archive,
                                                               std::size_t p) {
    return archive.configForPosition(p + kTaktOfPosition);
}

} // namespace thermo
