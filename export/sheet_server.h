#pragma once
// The spreadsheet server behind the programmatic identifier
// "Excel.Application": an in-process object model that keeps workbooks in
// memory (each new workbook has three sheets, "Лист1" … "Лист3"), buffers
// every cell and writes the active workbook as an xlsx file only when it is
// saved, so a cell write costs a map insertion, not a file operation.
//
// Object model (member names are matched without regard to case):
//   Application: Workbooks, ActiveWorkbook, Visible (get/put),
//                DisplayAlerts (get/put), Quit
//   Workbooks:   Add, Count, Item(n)
//   Workbook:    Sheets, ActiveSheet, SaveAs(file), Close, Name
//   Sheets:      Item(n | name), Count
//   Worksheet:   Range(address) (get/put), Select, Activate, Name
// A Range address is one cell, "A1" … "XFD1048576". Values: bool, integer,
// double, string, date (stored as its serial number with a date or time
// format), empty (clears the cell).

#include <optional>

#include "export/automation.h"

namespace thermo {

inline constexpr std::string_view kSpreadsheetProgId = "Excel.Application";

void registerSpreadsheetServer(AutomationRegistry& registry);

// Column and row (both from 1) of a cell address such as "B32001"; nothing
// for anything else.
struct CellAddress {
    std::uint32_t row = 0;
    std::uint16_t col = 0;
};
[[nodiscard]] std::optional<CellAddress> parseCellAddress(std::string_view address);

} // namespace thermo
