#pragma once
// The lab report, one PDF a student hands in: a title block; with several
// runs, the comparison first (the overlay chart, the runs' names and the
// table of their steps with the best values marked); then each run on pages
// of its own: the configuration in force at its start and every change with
// its time, the terms with their membership charts, the rule base as a 3x3
// grid and the output terms, the trend chart with the setpoint, the
// scorecard and the chart of the compared step with its marks, the control
// surface with the step's path where the fuzzy regulator was on, and the
// step experiment's model and tunings where a note beside the archive
// (storage/step_note.h) says where its step lies.
//
// A4 pages numbered at the foot, written by Qt's PDF writer: text and charts
// stay vector (the control surface's colour cells are its one picture) and
// the fonts are embedded. Numbers with the decimal mark given, as the
// windows show them.

#include <optional>
#include <string>
#include <vector>

#include <QRectF>

#include "analysis/compare.h"
#include "storage/settings.h"

class QIODevice;

namespace thermo {

struct ReportTitleBlock {
    std::string title, student, group;
    std::string date;    // as printed
    std::string version; // the program's
    std::string ports;   // the stand's ports (reportPorts)
};

// "COM1 — /dev/ttyS0, LPT — auto": the settings' stored port with the device
// [devices] maps it to, and the parallel port's setting.
[[nodiscard]] std::string reportPorts(const TSettings& settings);
// The program's version, as the about box shows it.
[[nodiscard]] std::string programVersion();
// Today as the report dates it: "05.03.2025".
[[nodiscard]] std::string reportDate();
// The title printed when none was given.
inline constexpr const char* kDefaultReportTitle = "Отчёт по лабораторной работе";

// Where the report drew each chart: its kind ("compare", "trend", "step",
// "terms-otkl", "terms-skor", "surface", "fit"), the page (from 1) and the
// rectangle in 1/96 inch from the page's top left corner.
struct ReportChart {
    std::string kind;
    int page = 0;
    QRectF rect;
};

struct ReportOutcome {
    std::optional<std::string> error; // why nothing was written
    int pages = 0;
    std::vector<ReportChart> charts;
};

// The report of the runs (read already; their paths name them and lead to
// their step notes), their steps chosen and aligned as compareRuns does.
[[nodiscard]] ReportOutcome writeLabReport(QIODevice& out, const ReportTitleBlock& title,
                                           const std::vector<CompareInput>& runs,
                                           CompareAlign align, std::size_t stepNumber,
                                           char decimalSep);
// The same into a file, through a temporary one beside it renamed over the
// target when complete: a failed report leaves no half-written file.
[[nodiscard]] ReportOutcome writeLabReport(const std::string& path, const ReportTitleBlock& title,
                                           const std::vector<CompareInput>& runs,
                                           CompareAlign align, std::size_t stepNumber,
                                           char decimalSep);

} // namespace thermo
