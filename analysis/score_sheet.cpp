#include "analysis/score_sheet.h"

#include <cmath>

#include "common/numfmt.h"

namespace thermo {

std::optional<std::string> scoreFieldText(const SegmentScore& s, std::size_t f, char decimalSep) {
    const std::optional<double> v = scoreField(s, f);
    if (!v || !std::isfinite(*v))
        return std::nullopt;
    return formatFixed(*v, f < 2 ? "0" : "0.##", decimalSep);
}

std::string scoreCellText(const SegmentScore& s, std::size_t f, char decimalSep) {
    return scoreFieldText(s, f, decimalSep).value_or("—");
}

std::string scorecardSheetCsv(const std::vector<SegmentScore>& segments, char decimalSep) {
    const char listSep = decimalSep == ',' ? ';' : ',';
    const auto& names = scoreFieldNames();
    std::string out;
    for (std::size_t f = 0; f < names.size(); ++f) {
        if (f > 0)
            out += listSep;
        out += names[f];
    }
    out += '\n';
    for (const SegmentScore& s : segments) {
        for (std::size_t f = 0; f < names.size(); ++f) {
            if (f > 0)
                out += listSep;
            out += scoreFieldText(s, f, decimalSep).value_or("");
        }
        out += '\n';
    }
    return out;
}

} // namespace thermo
