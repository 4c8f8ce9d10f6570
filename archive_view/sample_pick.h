#pragma once
// Which sample a click on the archive chart picks. Qt-free, so the limits
// can be checked without a window.

#include <cmath>
#include <cstddef>
#include <optional>

#include "common/numfmt.h"

namespace thermo {

// The bottom axis' value under the click rounded to a position, halves to the
// even neighbour (the chart's x values are the positions). A value past the
// last sample picks the one before it, as the window always has; below 1 it
// picks the first. Nothing when the archive holds no sample: there is no row
// to move to.
[[nodiscard]] inline std::optional<std::size_t> clickedSample(double axisValue,
                                                              std::size_t sampleCount) {
    if (sampleCount == 0 || std::isnan(axisValue))
        return std::nullopt;
    const double index = roundHalfEven(axisValue);
    if (index > static_cast<double>(sampleCount))
        return sampleCount > 1 ? sampleCount - 1 : 1;
    if (index < 1)
        return 1;
    return static_cast<std::size_t>(index);
}

} // namespace thermo
