#pragma once
// MyExcel: the spreadsheet operations the exports use, each a short chain of
// automation calls by member name on the one application object ExcelApp.
// Every operation catches every error of its calls and returns false; it
// reports nothing itself. lastError() keeps the text of the latest failure
// for a caller that wants to tell the user.

#include <string>

#include "export/automation.h"

namespace thermo {

class MyExcel {
public:
    explicit MyExcel(const AutomationRegistry& registry) : registry_(registry) {}

    // Creates the object registered as "Excel.Application" and keeps it in
    // ExcelApp, replacing whatever it held.
    bool CreateExcel();
    bool VisibleExcel(bool show);
    bool AddWorkBook();
    bool SelectSheet(const AutoValue& sheet);
    // Alerts are off while saving, so an existing file is replaced without a
    // question; when the save fails they stay off.
    bool SaveWorkBookAs(const std::string& file);
    bool CloseWorkBook();
    bool CloseExcel();
    bool SetRange(const AutoValue& sheet, const std::string& address, const AutoValue& value);

    [[nodiscard]] const std::string& lastError() const { return lastError_; }
    [[nodiscard]] const AutoValue& ExcelApp() const { return excelApp_; }

private:
    template <class F> bool guarded(F&& f);

    const AutomationRegistry& registry_;
    AutoValue excelApp_;
    std::string lastError_;
};

} // namespace thermo
