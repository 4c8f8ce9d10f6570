#include "analysis/step_span.h"

#include <algorithm>
#include <vector>

#include "analysis/acting_config.h"

namespace thermo {

StepSpan stepSpan(std::span<const TArchiveRecord> samples, std::size_t first, std::size_t baseline,
                  double intervalS) {
    StepSpan span;
    span.first = first;
    span.baseline = baseline;
    span.last = first + samples.size() - baseline - 1;
    span.intervalS = intervalS;
    std::vector<double> times;
    times.reserve(samples.size());
    span.y.reserve(samples.size());
    for (const TArchiveRecord& s : samples) {
        times.push_back(s.Vremya);
        span.y.push_back(s.Temper);
    }
    span.t = secondsFromTimesOfDay(times, baseline);
    return span;
}

std::optional<StepSpan> archiveStepSpan(const ArchiveReader& archive, std::size_t first,
                                        std::size_t last, std::size_t baseline) {
    if (first <= baseline || last <= first || last > archive.SampleCount)
        return std::nullopt;
    const std::size_t from = first - baseline;
    StepSpan span = stepSpan({archive.Samples.data() + from, last - from + 1}, first, baseline, 0);
    const auto k = configActingOn(archive, first);
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
