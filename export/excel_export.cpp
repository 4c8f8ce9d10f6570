#include "export/excel_export.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace thermo {

std::size_t progressStep(std::size_t n) {
    std::size_t q = n / 100, r = n % 100;
    if (r > 50 || (r == 50 && q % 2 == 1))
        ++q;
    return q;
}

namespace {

// The last part of a path: what follows its last '/'.
std::string_view baseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
}

} // namespace

std::string workbookFileName(const std::string& typed) {
    const std::string_view name = baseName(typed);
    if (name.empty())
        return typed; // a folder: the save says why it cannot write there
    const auto endsWith = [&](std::string_view ext) {
        if (name.size() < ext.size())
            return false;
        const std::string_view tail = name.substr(name.size() - ext.size());
        return std::equal(tail.begin(), tail.end(), ext.begin(), [](char a, char b) {
            return (a >= 'A' && a <= 'Z' ? char(a - 'A' + 'a') : a) == b;
        });
    };
    if (endsWith(".xlsx"))
        return typed;
    if (endsWith(".xls"))
        return typed + (typed.back() == 'S' ? "X" : "x");
    return typed + "." + kWorkbookExt;
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
    request.defaultExt = kWorkbookExt;
    auto typed = dialogs.saveFileName(request);
    auto result = ExcelExportResult::Cancelled;
    if (typed) {
        const std::string file = workbookFileName(*typed);
        if (excel.SaveWorkBookAs(file)) {
            result = ExcelExportResult::Saved;
            // A bare name getting its extension surprises nobody; an
            // extension the user chose being changed or added to does.
            if (file != *typed && baseName(*typed).find('.') != std::string_view::npos)
                dialogs.message(MessageKind::Information, "",
                                "Книга сохранена в формате xlsx под именем " + file + ".");
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
