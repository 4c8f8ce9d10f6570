#pragma once
// The scorecard as a person sees it: each figure as the scorecard window's
// table shows it, and the table saved for the spreadsheet of the user's
// locale. The machine's CSV and JSON (scorecardCsv, scorecardJson) stay as
// they are, whatever the locale.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "analysis/scorecard.h"

namespace thermo {

// Field f (index into scoreFieldNames) of a segment as the table shows it:
// sample positions as whole numbers, every other figure "0.##" with the
// given decimal mark. Nothing for a figure that does not exist (or is not
// finite).
[[nodiscard]] std::optional<std::string> scoreFieldText(const SegmentScore& s, std::size_t f,
                                                        char decimalSep);
// The same in a table's cell (the windows', the report's): "—" for a figure
// that does not exist.
[[nodiscard]] std::string scoreCellText(const SegmentScore& s, std::size_t f, char decimalSep);

// The table as CSV for a spreadsheet opened under the same locale: the field
// names, then one row per segment with the table's figures, an empty field
// for a missing one. A spreadsheet whose decimal mark is the comma (Russian
// Excel and LibreOffice) separates its list items with ';', any other with
// ','.
[[nodiscard]] std::string scorecardSheetCsv(const std::vector<SegmentScore>& segments,
                                            char decimalSep);

} // namespace thermo
