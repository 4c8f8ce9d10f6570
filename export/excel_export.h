#pragma once
// The spreadsheet export shared by the main window ("в EXEL", the current
// run) and the archive window ("Exel", the open archive): one row per sample,
// the time of day in column A as a date/time value, the temperature in
// column B, then the save dialog, then the workbook is closed and the server
// told to quit whether or not anything was saved.

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "common/dialogs.h"
#include "export/my_excel.h"
#include "export/sheet_server.h"
#include "ui_aux/progress_display.h"

namespace thermo {

// The two fields of an archive sample that are exported.
struct ExportRow {
    double Vremya = 0.0; // time of day, fraction of a day (0.5 is noon)
    double Temper = 0.0; // degrees Celsius
};

// The exported fields of any sample records that carry them (the recorder's
// RunSamples, the reader's Samples), position for position.
template <class Records> std::vector<ExportRow> exportRows(const Records& records) {
    std::vector<ExportRow> rows;
    for (const auto& r : records)
        rows.push_back({r.Vremya, r.Temper});
    return rows;
}

// What the program owns for its spreadsheet exports, once: the automation
// registry with the spreadsheet server registered, and the one MyExcel
// (holding ExcelApp) over it. Both windows' commands use the same one.
class SpreadsheetAutomation {
public:
    SpreadsheetAutomation() { registerSpreadsheetServer(registry_); }
    SpreadsheetAutomation(const SpreadsheetAutomation&) = delete;
    SpreadsheetAutomation& operator=(const SpreadsheetAutomation&) = delete;

    [[nodiscard]] MyExcel& excel() { return excel_; }

private:
    AutomationRegistry registry_;
    MyExcel excel_{registry_};
};

// Rows up to this one go to sheet 1, later rows to sheet 2 at their own row
// numbers (sheet 2 starts at row 32001). An export of up to this many rows
// opens its workbook on sheet 1, a longer one on sheet 2.
inline constexpr std::size_t kFirstSheetLastRow = 32000;

// The save dialog's entries: the program's own, and the xlsx workbooks it
// actually writes (the dialog opens on that one: it is the default extension).
inline constexpr const char* kExcelFilter = "файлы Excel|*.xls|книги Excel 2007|*.xlsx";
inline constexpr const char* kWorkbookExt = "xlsx";

// The name a workbook is written under. Its content is xlsx, and readers go
// by the name: openpyxl refuses any other extension, Excel warns of the
// mismatch. "run2" -> "run2.xlsx" (as a spreadsheet application's SaveAs
// adds its default extension), "run.xls" -> "run.xlsx", "run.xlsx" as it
// is, any other ending ("run.15") gets ".xlsx" after it.
[[nodiscard]] std::string workbookFileName(const std::string& typed);

enum class ExcelExportResult {
    NoServer,  // the automation object could not be created: nothing happened
    Cancelled, // the save dialog was cancelled: nothing written
    Saved,
    SaveFailed, // the save failed; the user has been told why
};

// The progress step: N / 100 rounded to the nearest integer, a half going to
// the even neighbour (250 rows -> 2, 50 rows -> 0, which keeps the progress
// at 0).
[[nodiscard]] std::size_t progressStep(std::size_t n);

// source[n] is row n; position 0 is not exported. Rows 1 … N are written;
// an N beyond the end of source is cut to the last position it holds.
// The workbook goes under workbookFileName() of the name chosen; when that
// changed an extension the user typed, the user is told the name written.
// The progress window is shown for the time of the copy and told the
// progress after the first row and whenever it changes, at most 101 times:
// redrawing both gauges for each of 65000 rows would cost more than the
// copy itself and show nothing new.
ExcelExportResult ExportToExcel(std::span<const ExportRow> source, std::size_t N, MyExcel& excel,
                                ProgressDisplay& progress, UserDialogs& dialogs);

} // namespace thermo
