#pragma once
// A workbook read back by an independent reader (openpyxl), for the tests of
// every program that writes one.
#include <filesystem>
#include <string>
#include <vector>

#include "tests/command_output.h"

namespace thermo::testing {

// Debian's python3 carries python3-openpyxl; a python3 earlier on PATH may not.
constexpr const char* kPython = "/usr/bin/python3";

// Opened by its name, as a reader does: openpyxl goes by the extension and
// refuses a workbook named anything but .xlsx (or .xlsm ...).
// Prints, for the workbook named in argv[1]: the active sheet's index, the
// number of sheets, then per sheet its filled cell count, first and last
// filled row, the sum of column A (times as fractions of a day) and of
// column B, and then each cell named in argv[2:] as sheet!coord.
constexpr const char* kDumpScript = R"PY(
import sys, datetime, openpyxl
wb = openpyxl.load_workbook(sys.argv[1], read_only=True)
print("active", wb.worksheets.index(wb.active))
print("sheets", len(wb.worksheets))
def frac(v):
    if isinstance(v, datetime.time):
        return (v.hour * 3600 + v.minute * 60 + v.second + v.microsecond / 1e6) / 86400
    if isinstance(v, datetime.datetime):
        return (v - datetime.datetime(1899, 12, 30)).total_seconds() / 86400
    return v
for i, ws in enumerate(wb.worksheets):
    n = 0; lo = 0; hi = 0; sa = 0.0; sb = 0.0
    for row in ws.iter_rows():
        for c in row:
            if c.value is None:
                continue
            n += 1
            lo = c.row if lo == 0 else min(lo, c.row)
            hi = max(hi, c.row)
            if c.column == 1: sa += frac(c.value)
            if c.column == 2: sb += c.value
    print("sheet", i + 1, n, lo, hi, "%.6f" % sa, "%.6f" % sb)
for arg in sys.argv[2:]:
    s, coord = arg.split("!")
    c = wb.worksheets[int(s) - 1][coord]
    if c.is_date:
        print("cell", arg, "date", repr(frac(c.value)))
    elif isinstance(c.value, (int, float)):
        print("cell", arg, "number", repr(float(c.value)))
    else:
        print("cell", arg, type(c.value).__name__, repr(c.value))
)PY";

inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::vector<std::string> dumpWorkbook(const std::filesystem::path& file,
                                             const std::vector<std::string>& cells) {
    std::string cmd =
        std::string(kPython) + " -c " + shellQuote(kDumpScript) + " " + shellQuote(file.string());
    for (const auto& c : cells)
        cmd += " " + shellQuote(c);
    return splitLines(commandOutput(cmd + " 2>&1"));
}

} // namespace thermo::testing
