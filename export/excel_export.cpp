#include "export/excel_export.h"

#include <algorithm>
#include <string>

namespace thermo {

std::size_t progressStep(std::size_t n) {
    std::size_t q = n / 100, r = n % 100;
    if (r > 50 || (r == 50 && q % 2 == 1))
        ++q;
    return q;
}

ExcelExportResult ExportToExcel(std::span<const ExportRow> source, std::size_t N, MyExcel& excel,
                                ProgressDisplay& progress, UserDialogs& dialogs) {
    if (!excel.CreateExcel())
        return ExcelExportResult::NoServer; // no spreadsheet server: silently nothing
    N = std::min(N, source.empty() ? 0 : source.size() - 1);

    // Results of the steps below are not looked at, except the save's: a
    // failed cell write cannot lose more than that cell, but a failed save
    // loses the whole export, and the user must hear of it.
    excel.VisibleExcel(false);
    const std::int32_t firstSheet = N > kFirstSheetLastRow ? 2 : 1;
    if (excel.AddWorkBook())
        excel.SelectSheet(firstSheet);

    const std::size_t step = progressStep(N);
    int percent = 0, shown = -1;
    std::size_t counter = 0;
    {
        // The progress window comes down however the copy ends: while it is
        // up, the program holds the control cycle's ticks.
        struct ShownWhileCopying {
            ProgressDisplay& window;
            ~ShownWhileCopying() { window.end(); }
        } copying{progress};
        progress.begin();
        for (std::size_t n = 1; n <= N; ++n) {
            if (++counter == step) {
                ++percent;
                counter = 0;
            }
            // With a step rounded down the count runs past 100 (250 rows
            // reach 125); the gauges show that as full.
            if (std::min(percent, 100) != shown) {
                shown = std::min(percent, 100);
                progress.setProgress(shown);
            }
            const std::int32_t sheet = n > kFirstSheetLastRow ? 2 : 1;
            const std::string row = std::to_string(n);
            excel.SetRange(sheet, "A" + row, AutoDate{source[n].Vremya});
            excel.SetRange(sheet, "B" + row, source[n].Temper);
        }
    }

    FileDialogRequest request;
    request.filter = kExcelFilter;
    auto file = dialogs.saveFileName(request);
    auto result = ExcelExportResult::Cancelled;
    if (file) {
        if (excel.SaveWorkBookAs(*file)) {
            result = ExcelExportResult::Saved;
        } else {
            result = ExcelExportResult::SaveFailed;
            dialogs.errorReport(excel.lastError());
        }
    }
    excel.CloseWorkBook();
    excel.CloseExcel();
    return result;
}

} // namespace thermo
