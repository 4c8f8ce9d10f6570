#pragma once
// The path a recorded run took over the fuzzy controller's input plane: for
// each sample, the clamped (error, rate) that the replay recomputes for it
// from its configuration record, so the path drawn over a control surface
// shows where on it the controller worked.

#include <cstddef>
#include <optional>
#include <vector>

#include "storage/reader.h"

namespace thermo {

struct PathPoint {
    std::size_t position = 0;
    double otkl = 0, skor = 0;
};

// Positions first .. last (within 1 .. SampleCount), each with the record in
// force for it; none when the archive has no configuration record.
[[nodiscard]] std::vector<PathPoint> replayPath(const ArchiveReader& archive, std::size_t first,
                                                std::size_t last);

} // namespace thermo
