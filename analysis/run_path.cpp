#include "analysis/run_path.h"

#include <algorithm>

#include "analysis/replay.h"
#include "control/fuzzy.h"

namespace thermo {

std::vector<PathPoint> replayPath(const ArchiveReader& archive, std::size_t first,
                                  std::size_t last) {
    std::vector<PathPoint> path;
    first = std::max<std::size_t>(first, 1);
    last = std::min(last, archive.SampleCount);
    if (archive.ConfigCount == 0 || first > last)
        return path;
    path.reserve(last - first + 1);
    for (std::size_t i = first; i <= last; ++i) {
        const auto k = archive.configForPosition(i);
        if (!k)
            continue;
        const TConfigRecord& record = archive.Configs[*k];
        const TControlParams& p = record.params;
        const ReplayInputs in = replayInputs(record, archive.Samples[i], archive.Samples[i - 1]);
        path.push_back({i, clampToUniverse(in.e, p.otkl_left, p.otkl_right),
                        clampToUniverse(in.d, p.skor_left, p.skor_right)});
    }
    return path;
}

} // namespace thermo
