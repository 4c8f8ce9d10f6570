#include "export/my_excel.h"

#include <exception>

#include "export/sheet_server.h"

namespace thermo {

template <class F> bool MyExcel::guarded(F&& f) {
    try {
        f();
        return true;
    } catch (const std::exception& e) {
        lastError_ = e.what();
    } catch (...) {
        lastError_ = "unknown automation error";
    }
    return false;
}

bool MyExcel::CreateExcel() {
    return guarded([&] {
        excelApp_ = {};
        excelApp_ = registry_.createObject(kSpreadsheetProgId);
    });
}

bool MyExcel::VisibleExcel(bool show) {
    return guarded([&] { putProperty(excelApp_, "Visible", {show}); });
}

bool MyExcel::AddWorkBook() {
    return guarded([&] { callMethod(callMethod(excelApp_, "Workbooks"), "Add"); });
}

bool MyExcel::SelectSheet(const AutoValue& sheet) {
    return guarded([&] {
        auto sheets = callMethod(callMethod(excelApp_, "ActiveWorkbook"), "Sheets");
        callMethod(getProperty(sheets, "Item", {sheet}), "Select");
    });
}

bool MyExcel::SaveWorkBookAs(const std::string& file) {
    return guarded([&] {
        putProperty(excelApp_, "DisplayAlerts", {false});
        callMethod(callMethod(excelApp_, "ActiveWorkbook"), "SaveAs", {file});
        putProperty(excelApp_, "DisplayAlerts", {true});
    });
}

bool MyExcel::CloseWorkBook() {
    return guarded([&] { callMethod(callMethod(excelApp_, "ActiveWorkbook"), "Close"); });
}

bool MyExcel::CloseExcel() {
    return guarded([&] { callMethod(excelApp_, "Quit"); });
}

bool MyExcel::SetRange(const AutoValue& sheet, const std::string& address, const AutoValue& value) {
    return guarded([&] {
        auto sheets = callMethod(callMethod(excelApp_, "ActiveWorkbook"), "Sheets");
        putProperty(getProperty(sheets, "Item", {sheet}), "Range", {address, value});
    });
}

} // namespace thermo
