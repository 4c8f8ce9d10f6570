#pragma once
// The trend charts' picture exports: saving a chart as a placeable Windows
// metafile at its on-screen size, and printing it as one landscape page.
// The windows' menu commands call these and nothing else.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/dialogs.h"

class QCustomPlot;
class QPrinter;

namespace thermo {

// The metafile save dialog of one window. The window owns it, so each
// dialog proposes "metademo.wmf" the first time and then the name last
// chosen in it.
struct MetafileDialog {
    std::string fileName = "metademo.wmf";
    [[nodiscard]] FileDialogRequest request() const;
};

// The chart drawn as it is on screen, at its on-screen size.
[[nodiscard]] std::vector<std::uint8_t> chartToWmf(QCustomPlot& chart);

// Writes the chart's metafile to path through a temporary file beside it,
// renamed over path only when complete, so a failure leaves neither a
// half-written file nor a damaged old one. A failure goes to the general
// error report; false then.
bool saveChartAsWmf(QCustomPlot& chart, const std::string& path, UserDialogs& dialogs);
// Writes `bytes` to `path` whole or not at all (written beside it, then
// renamed over it); a failure goes to the general error report as "Cannot
// create file ...". The exports' and the analysis windows' saves share it.
bool saveFileWhole(const std::string& path, std::string_view bytes, UserDialogs& dialogs);

// The menu command "сохранить в *.WMF": the dialog (which asks before
// overwriting), then the file. False when cancelled or failed.
bool saveChartToMetafile(QCustomPlot& chart, MetafileDialog& dialog, UserDialogs& dialogs);

// Prints the chart as one landscape page, scaled to the page with its
// on-screen proportions, and puts the printer's orientation back as it was,
// also when printing failed. The error text, or nothing when printed.
[[nodiscard]] std::optional<std::string> printChartLandscape(QCustomPlot& chart, QPrinter& printer);

// The menu commands "сохранить" / "сохранить в *.mdi": the same, a failure
// going to the general error report after the orientation is restored. A
// printer that is neither a printer of the PC nor a file (a PC without a
// printer installed: Qt then names none) cannot print; the chart goes into a
// PDF file the user names instead (pdfPrintRequest), landscape as on paper.
// False when cancelled or failed.
bool printChartLandscape(QCustomPlot& chart, QPrinter& printer, UserDialogs& dialogs);

// The save dialog of a print without a printer.
[[nodiscard]] FileDialogRequest pdfPrintRequest();

} // namespace thermo
