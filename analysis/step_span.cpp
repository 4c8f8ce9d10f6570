#include "analysis/step_span.h"

#include <algorithm>

namespace thermo {

std::optional<StepSpan> archiveStepSpan(const ArchiveReader& archive, std::size_t first,
                                        std::size_t last) {
    if (first < 1 || last <= first || last > archive.SampleCount)
        return std::nullopt;
    StepSpan span;
    span.first = first;
    span.last = last;
    std::vector<double> times;
    for (std::size_t p = first; p <= last; ++p) {
        times.push_back(archive.Samples[p].Vremya);
        span.y.push_back(archive.Samples[p].Temper);
    }
    span.t = secondsFromTimesOfDay(times, 0);
    const auto k = archive.configForPosition(first);
    if (k && archive.Configs[*k].Interval > 0) {
        span.intervalS = archive.Configs[*k].Interval / 1000.0;
    } else {
        // An archive without its configuration file still has its stamps.
        std::vector<double> d;
        for (std::size_t i = 1; i < span.t.size(); ++i)
            d.push_back(span.t[i] - span.t[i - 1]);
        std::nth_element(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(d.size() / 2), d.end());
        span.intervalS = d[d.size() / 2] > 0 ? d[d.size() / 2] : 1.0;
    }
    return span;
}

} // namespace thermo
