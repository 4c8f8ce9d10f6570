#pragma once
// "отчёт" in a window: the title block asked in one small form (title,
// student, group, filled with what the settings file's [report] kept, and
// kept there again), then the PDF's name, then the report written; a failure
// goes to the general error report. The archive window's "отчёт…" and the
// comparison window's "отчёт" both come here.

#include <cstddef>
#include <string>
#include <vector>

#include "analysis/compare.h"
#include "common/dialogs.h"
#include "storage/settings.h"

namespace thermo {

inline constexpr const char* kReportFilter = "документы PDF|*.pdf";

class ReportRequest {
public:
    explicit ReportRequest(UserDialogs& dialogs);

    // The program's settings as loaded (their ports go into the title block)
    // and the file whose [report] keeps the title block; without a file the
    // block is kept for the program's run only.
    void setSettings(const TSettings& settings, std::string settingsFile);

    // True when the report was written.
    bool make(const std::vector<CompareInput>& runs, CompareAlign align, std::size_t stepNumber);

    [[nodiscard]] const std::string& lastFile() const { return lastFile_; }

private:
    UserDialogs& dialogs_;
    TSettings settings_;
    std::string settingsFile_;
    ReportSettings kept_;
    std::string lastFile_;
};

} // namespace thermo
