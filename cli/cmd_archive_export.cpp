// thermostand-cli archive xlsx / wmf: the archive window's "Exel" and
// "сохранить в *.WMF" for scripted reports.
#include <cstdio>
#include <iostream>
#include <string>

#include "cli/archive_export.h"
#include "common/options.h"
#include "common/scripted_dialogs.h"
#include "export/excel_export.h"
#include "storage/reader.h"

#ifdef THERMO_CLI_CHARTS
#include "cli/offscreen_app.h"
#include "export/chart_export.h"
#include "widgets/trend_chart.h"
#endif

namespace thermo::cli {

namespace {

const char* kXlsxUsage = R"(usage: thermostand-cli archive xlsx FILE OUT

Writes the samples of the archive FILE to the workbook OUT as the archive
window's "Exel" does: one row per sample position from 1, the time of day in
column A (a date/time value), the temperature in column B; rows up to 32000
on sheet 1, later rows on sheet 2 at their own row numbers. The content is
xlsx, and so is the name: OUT without an extension gets .xlsx, an .xls
becomes .xlsx, any other ending gets .xlsx after it; a name that differs
from OUT beyond the added extension is said on standard error.

Exit status: 0 when the workbook was written, 1 when the archive could not
be read or the workbook not written, 2 for a usage error.
)";

const char* kWmfUsage = R"(usage: thermostand-cli archive wmf FILE OUT [--size WxH]

Draws the archive FILE as the archive window's trend chart (temperature and
setpoint over the sample position) and saves it as the placeable Windows
metafile OUT. --size gives the chart's size in pixels, from 300x150 to
4000x4000 (default 800x400); below 560 pixels wide the legend moves above
the plot in a smaller font, and the time labels thin out as the width
shrinks.

Exit status: 0 when the metafile was written, 1 when the archive could not
be read or the file not written, 2 for a usage error.
)";

// The smallest chart that stays readable: at 300 pixels the plot holds two
// or three time labels side by side, at 150 its temperature labels stand
// apart. Smaller, they run into each other.
constexpr int kMinWidth = 300;
constexpr int kMinHeight = 150;

class SilentProgress : public ProgressDisplay {
public:
    void begin() override {}
    void setProgress(int) override {}
    void end() override {}
};

} // namespace

int archiveXlsx(int argc, char** argv) {
    std::string file, out;
    OptionParser p("thermostand-cli archive xlsx", kXlsxUsage);
    p.positional("FILE", file);
    p.positional("OUT", out);
    if (const auto end = p.parse(argc, argv))
        return *end;
    ScriptedDialogs dialogs(true); // messages go to stderr
    ArchiveReader archive;
    if (!archive.ReadSampleFile(file, dialogs))
        return 1;
    const auto rows = exportRows(archive.Samples);
    SpreadsheetAutomation automation;
    SilentProgress progress;
    dialogs.fileAnswers.push_back(out);
    const auto result =
        ExportToExcel(rows, archive.SampleCount, automation.excel(), progress, dialogs);
    return result == ExcelExportResult::Saved ? 0 : 1;
}

#ifdef THERMO_CLI_CHARTS

int archiveWmf(int argc, char** argv) {
    std::string file, out, size;
    OptionParser p("thermostand-cli archive wmf", kWmfUsage);
    p.positional("FILE", file);
    p.positional("OUT", out);
    p.text("--size", size, "WxH");
    if (const auto end = p.parse(argc, argv))
        return *end;
    int width = 800, height = 400;
    if (p.given("--size")) {
        char x = 0, rest = 0;
        if (std::sscanf(size.c_str(), "%d%c%d%c", &width, &x, &height, &rest) != 3 ||
            (x != 'x' && x != 'X') || width > 4000 || height > 4000)
            return p.fail("--size wants WxH, at most 4000x4000");
        if (width < kMinWidth || height < kMinHeight)
            return p.fail("a chart smaller than " + std::to_string(kMinWidth) + 'x' +
                          std::to_string(kMinHeight) +
                          " is not readable: its time and temperature labels would run into "
                          "each other");
    }
    ScriptedDialogs dialogs(true);
    ArchiveReader archive;
    if (!archive.ReadSampleFile(file, dialogs))
        return 1;
    (void)archive.ReadConfigFile(file, dialogs);

    // No window is shown: the chart is drawn offscreen.
    const OffscreenApp app;

    // The archive window's chart: positions 2 … SampleCount (the first
    // sample is never shown), the setpoint of the configuration in force.
    std::vector<double> x, temper, zadan, time;
    bool anySetpoint = false;
    for (std::size_t r = 2; r <= archive.SampleCount; ++r) {
        const TArchiveRecord& s = archive.Samples[r];
        const auto k = archive.configForPosition(r);
        x.push_back(double(r));
        temper.push_back(s.Temper);
        // Without any configuration record there is no setpoint to draw; the
        // temperature stands in so the axis ranges stay those of the data.
        zadan.push_back(k ? archive.Configs[*k].Zadan : s.Temper);
        anySetpoint = anySetpoint || k.has_value();
        time.push_back(s.Vremya);
    }
    TrendChart chart;
    chart.resize(width, height);
    if (width < TrendChart::kLegendColumnMinWidth)
        chart.setLegendAbove();
    chart.setPoints(x, temper, zadan, time);
    if (!anySetpoint)
        chart.setpointSeries()->data()->clear();
    chart.replot();
    return saveChartAsWmf(chart, out, dialogs) ? 0 : 1;
}

#else

int archiveWmf(int, char**) {
    std::cerr << "thermostand-cli archive wmf: this build has no charts\n";
    return 2;
}

#endif

} // namespace thermo::cli
