#include "analysis/ui/report_request.h"

#include <filesystem>

#include "analysis/ui/lab_report.h"
#include "storage/io_error.h"
#include "widgets/locale_sep.h"

namespace thermo {

ReportRequest::ReportRequest(UserDialogs& dialogs) : dialogs_(dialogs) {}

void ReportRequest::setSettings(const TSettings& settings, std::string settingsFile) {
    settings_ = settings;
    settingsFile_ = std::move(settingsFile);
}

bool ReportRequest::make(const std::vector<CompareInput>& runs, CompareAlign align,
                         std::size_t stepNumber) {
    if (runs.empty())
        return false;
    // The file may have been changed since (another program's report).
    ReportSettings kept = settingsFile_.empty() ? kept_ : LoadReportSettings(settingsFile_);
    if (kept.title.empty())
        kept.title = kDefaultReportTitle;
    TextsRequest form;
    form.title = "отчёт";
    form.fields = {{"название", kept.title}, {"студент", kept.student}, {"группа", kept.group}};
    const auto answer = dialogs_.askTexts(form);
    if (!answer || answer->size() != 3)
        return false;
    ReportSettings entered{(*answer)[0], (*answer)[1], (*answer)[2]};
    if (entered != kept) {
        kept_ = entered;
        try {
            if (!settingsFile_.empty())
                SaveReportSettings(settingsFile_, entered);
        } catch (const IoError& e) {
            dialogs_.errorReport(e.what()); // the report is still made
        }
    }

    FileDialogRequest req;
    req.title = "отчёт";
    req.filter = kReportFilter;
    req.defaultExt = "pdf";
    req.confirmOverwrite = true;
    if (!lastFile_.empty()) {
        req.initialName = lastFile_;
    } else {
        // Beside the (first) archive, named after it.
        const std::filesystem::path a(runs.front().path);
        req.initialDir = a.parent_path().string();
        req.initialName = (a.parent_path() / (a.stem().string() + ".pdf")).string();
    }
    const auto path = dialogs_.saveFileName(req);
    if (!path)
        return false;
    lastFile_ = *path;

    ReportTitleBlock title{entered.title, entered.student,  entered.group,
                           reportDate(),  programVersion(), reportPorts(settings_)};
    const ReportOutcome done =
        writeLabReport(*path, title, runs, align, stepNumber, decimalSeparator());
    if (done.error) {
        dialogs_.errorReport(*done.error);
        return false;
    }
    return true;
}

} // namespace thermo
