#pragma once
// The control surface of Regulator 1's fuzzy part: its output in PWM counts
// over the whole (deviation, rate) plane of the universes, on an N x N grid.
// Every point goes through fuzzyPart, the routine Regul_Fuzzy itself calls,
// so the picture is the controller, not a model of it; where no rule fires
// it reads 0, as the live controller's fuzzy part does.
//
// Grid: otkl_i = -otkl_left/10 + (otkl_left + otkl_right)/10 * i/(N - 1),
// i = 0 .. N-1, and skor_j likewise over the rate universe.

#include <cstddef>
#include <string>
#include <vector>

#include "control/params.h"

namespace thermo {

inline constexpr std::size_t kDefaultSurfaceGrid = 41;

// Point i of N (N >= 2) of a universe whose ends are stored in tenths.
[[nodiscard]] double surfaceGridPoint(double left, double right, std::size_t i, std::size_t n);

// The fuzzy part's output in counts for one (error, rate) pair; inputs
// outside the universes are clamped as the controller clamps them.
[[nodiscard]] double fuzzyPartCounts(const TControlParams& p, double e, double rate);

struct ControlSurface {
    std::size_t n = 0;
    // The grid's end points: otkl from otklFrom (i = 0) to otklTo (i = n-1).
    double otklFrom = 0, otklTo = 0, skorFrom = 0, skorTo = 0;
    // counts[i * n + j]: the output at (otkl_i, skor_j).
    std::vector<double> counts;

    [[nodiscard]] double at(std::size_t i, std::size_t j) const { return counts[i * n + j]; }
};

// n below 2 is taken as 2: a surface needs both ends of each universe.
void computeSurface(const TControlParams& p, std::size_t n, ControlSurface& out);
[[nodiscard]] ControlSurface computeSurface(const TControlParams& p, std::size_t n);

// "otkl,skor,counts" and n x n rows, otkl slow and skor fast; numbers with a
// point and as many digits as read them back exactly, whatever the locale.
[[nodiscard]] std::string surfaceCsv(const TControlParams& p, const ControlSurface& s);

} // namespace thermo
