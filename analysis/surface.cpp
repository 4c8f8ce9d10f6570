#include "analysis/surface.h"

#include "common/numfmt.h"
#include "control/fuzzy.h"

namespace thermo {

double surfaceGridPoint(double left, double right, std::size_t i, std::size_t n) {
    return -left / 10.0 +
           (left + right) / 10.0 * static_cast<double>(i) / static_cast<double>(n - 1);
}

double fuzzyPartCounts(const TControlParams& p, double e, double rate) {
    TFuzzyStep step;
    fuzzyPart(p, e, rate, kPercentToCounts, step);
    return step.Fuzzy_out;
}

void computeSurface(const TControlParams& p, std::size_t n, ControlSurface& out) {
    if (n < 2)
        n = 2;
    out.n = n;
    out.otklFrom = surfaceGridPoint(p.otkl_left, p.otkl_right, 0, n);
    out.otklTo = surfaceGridPoint(p.otkl_left, p.otkl_right, n - 1, n);
    out.skorFrom = surfaceGridPoint(p.skor_left, p.skor_right, 0, n);
    out.skorTo = surfaceGridPoint(p.skor_left, p.skor_right, n - 1, n);
    out.counts.resize(n * n);
    std::vector<double> skor(n);
    for (std::size_t j = 0; j < n; ++j)
        skor[j] = surfaceGridPoint(p.skor_left, p.skor_right, j, n);
    TFuzzyStep step;
    for (std::size_t i = 0; i < n; ++i) {
        const double otkl = surfaceGridPoint(p.otkl_left, p.otkl_right, i, n);
        for (std::size_t j = 0; j < n; ++j) {
            fuzzyPart(p, otkl, skor[j], kPercentToCounts, step);
            out.counts[i * n + j] = step.Fuzzy_out;
        }
    }
}

ControlSurface computeSurface(const TControlParams& p, std::size_t n) {
    ControlSurface s;
    computeSurface(p, n, s);
    return s;
}

std::string surfaceCsv(const TControlParams& p, const ControlSurface& s) {
    std::string out = "otkl,skor,counts\n";
    out.reserve(out.size() + s.n * s.n * 48);
    for (std::size_t i = 0; i < s.n; ++i) {
        const double otkl = surfaceGridPoint(p.otkl_left, p.otkl_right, i, s.n);
        for (std::size_t j = 0; j < s.n; ++j) {
            appendRoundTrip(out, otkl);
            out += ',';
            appendRoundTrip(out, surfaceGridPoint(p.skor_left, p.skor_right, j, s.n));
            out += ',';
            appendRoundTrip(out, s.at(i, j));
            out += '\n';
        }
    }
    return out;
}

} // namespace thermo
