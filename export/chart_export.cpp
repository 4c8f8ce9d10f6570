#include "export/chart_export.h"

#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>
#include <qcustomplot.h>

#include "common/save_target.h"
#include "export/wmf_paint_device.h"

namespace thermo {

FileDialogRequest MetafileDialog::request() const {
    FileDialogRequest r;
    r.filter = "Metafile Format|*.WMF";
    r.defaultExt = "WMF";
    r.initialName = fileName;
    r.confirmOverwrite = true;
    return r;
}

std::vector<std::uint8_t> chartToWmf(QCustomPlot& chart) {
    const int w = std::max(chart.width(), 1);
    const int h = std::max(chart.height(), 1);
    // The axes work out their ticks from the layout before the one they are
    // drawn in: lay the chart out at this size first, or a chart never shown
    // at it (a picture drawn headless) gets the labels of another width.
    chart.setViewport(QRect(0, 0, w, h));
    chart.replot();
    WmfPaintDevice device(w, h);
    QCPPainter painter(&device);
    chart.toPainter(&painter, w, h);
    painter.end();
    return device.metafile();
}

bool saveChartAsWmf(QCustomPlot& chart, const std::string& path, UserDialogs& dialogs) {
    const std::vector<std::uint8_t> bytes = chartToWmf(chart);
    return saveFileWhole(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), dialogs);
}

bool saveFileWhole(const std::string& path, std::string_view bytes, UserDialogs& dialogs) {
    std::string problem;
    const std::string target = saveTarget(path, &problem);
    if (target.empty()) {
        dialogs.errorReport("Cannot create file \"" + path + "\". " + problem);
        return false;
    }
    QSaveFile file(QString::fromStdString(target));
    auto fail = [&] {
        dialogs.errorReport("Cannot create file \"" + path + "\". " +
                            file.errorString().toStdString());
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail();
    if (file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size())) {
        file.cancelWriting();
        return fail();
    }
    if (!file.commit())
        return fail();
    return true;
}

bool saveChartToMetafile(QCustomPlot& chart, MetafileDialog& dialog, UserDialogs& dialogs) {
    auto path = dialogs.saveFileName(dialog.request());
    if (!path)
        return false;
    dialog.fileName = *path;
    return saveChartAsWmf(chart, *path, dialogs);
}

std::optional<std::string> printChartLandscape(QCustomPlot& chart, QPrinter& printer) {
    struct RestoreOrientation {
        QPrinter& printer;
        QPageLayout::Orientation orientation;
        ~RestoreOrientation() { printer.setPageOrientation(orientation); }
    } restore{printer, printer.pageLayout().orientation()};
    printer.setPageOrientation(QPageLayout::Landscape);

    QCPPainter painter;
    if (!painter.begin(&printer)) {
        const QString where =
            printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName();
        return "Cannot print on \"" + where.toStdString() + "\".";
    }
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    // The chart keeps the proportions it has on screen and fills the
    // printable area as far as they allow, centred on the page.
    const int w = std::max(chart.width(), 1);
    const int h = std::max(chart.height(), 1);
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const double scale = std::min(page.width() / w, page.height() / h);
    painter.translate((page.width() - w * scale) / 2, (page.height() - h * scale) / 2);
    painter.scale(scale, scale);
    chart.toPainter(&painter, w, h);
    if (!painter.end())
        return std::string("Printing failed.");
    return std::nullopt;
}

FileDialogRequest pdfPrintRequest() {
    FileDialogRequest r;
    r.title = "Принтер не установлен: сохранить в PDF";
    r.filter = "файлы PDF|*.pdf";
    r.defaultExt = "pdf";
    r.confirmOverwrite = true;
    return r;
}

namespace {

// Where the PC has no printer, the print goes into a PDF file. False when
// the user cancelled or the file could not be written (reported).
bool printIntoPdf(QCustomPlot& chart, UserDialogs& dialogs) {
    const auto path = dialogs.saveFileName(pdfPrintRequest());
    if (!path)
        return false;
    std::string file = *path;
    const std::size_t slash = file.rfind('/');
    if (file.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos)
        file += ".pdf";
    std::string problem;
    const std::string target = saveTarget(file, &problem);
    if (target.empty()) {
        dialogs.errorReport("Cannot create file \"" + file + "\". " + problem);
        return false;
    }
    QPrinter pdf; // the screen's resolution, as the windows' printers: fonts keep their size
    // The format first: a name without ".pdf" keeps the format it is given.
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setOutputFileName(QString::fromStdString(target));
    return printChartLandscape(chart, pdf, dialogs);
}

} // namespace

bool printChartLandscape(QCustomPlot& chart, QPrinter& printer, UserDialogs& dialogs) {
    // Without a printer Qt gives a PDF printer with no file, whose print
    // fails with 'Cannot print on "".'.
    if (printer.outputFileName().isEmpty() &&
        QPrinterInfo::printerInfo(printer.printerName()).isNull())
        return printIntoPdf(chart, dialogs);
    if (auto error = printChartLandscape(chart, printer)) {
        dialogs.errorReport(*error);
        return false;
    }
    return true;
}

} // namespace thermo
