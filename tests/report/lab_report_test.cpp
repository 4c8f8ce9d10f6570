// The lab report as a student hands it in, checked with poppler's tools as
// an instructor's PC would read it: its text (every run's name and the
// figures of the compared steps, formatted as the windows show them), its
// fonts (all embedded) and its pages rendered (each chart's area holding
// curves of that chart's colours). Archives are recorded by the recorder.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/identify.h"
#include "analysis/score_sheet.h"
#include "analysis/ui/lab_report.h"
#include "analysis/ui/score_window.h"
#include "common/scripted_dialogs.h"
#include "storage/recorder.h"
#include "storage/step_note.h"
#include "tests/command_output.h"
#include "tests/temp_dir.h"
#include "widgets/compare_chart.h"
#include "widgets/locale_sep.h"

using namespace thermo;
using thermo::testing::commandOutput;
using thermo::testing::splitLines;
using thermo::testing::TempDir;

namespace {

// A run of 400 ticks a second apart on a plant with some inertia, setpoint
// 33.5 from the start and 28 from tick 202 (position 200); `gain` and
// `damping` make one regulator livelier than the other.
std::string record(const TempDir& dir, const std::string& name, bool fuzzy, bool pid, double gain,
                   double damping) {
    const std::string path = dir.file(name);
    int second = 0;
    ArchiveRecorder rec([&second] { return Vremya(14, 0, 0, 0) + second / 86400.0; });
    rec.setArchiveName(path);
    TConfigSources live;
    live.Takt = 1;
    live.Zadan = 33.5;
    live.Check_Fuzzy = fuzzy;
    live.Check_PID = pid;
    rec.AppendConfig(live);
    TProcessState s;
    double v = 0;
    s.Temper = 22;
    for (std::uint16_t takt = 3; takt <= 402; ++takt, ++second) {
        if (takt == 202) {
            live.Takt = takt;
            live.Zadan = 28;
            rec.AppendConfig(live);
        }
        v += gain * (live.Zadan - s.Temper) - damping * v;
        s.Temper += v;
        rec.AppendSample(takt, s);
    }
    return path;
}

// A heater step from 0 to 40 % after 10 ticks on a first-order plant
// (0.9 °C per % of the power the heater really gets, 60 s), recorded in
// manual mode, and its note.
std::string recordStep(const TempDir& dir) {
    const std::string path = dir.file("step.txt");
    int second = 0;
    ArchiveRecorder rec([&second] { return Vremya(15, 0, 0, 0) + second / 86400.0; });
    rec.setArchiveName(path);
    TConfigSources live;
    live.Takt = 1;
    live.Zadan = 30;
    rec.AppendConfig(live);
    TProcessState s;
    for (std::uint16_t takt = 3; takt <= 312; ++takt, ++second) {
        const double t = takt >= 13 ? takt - 12.0 : 0.0;
        s.Temper = 23 + 0.9 * appliedPercent(40) * (1 - std::exp(-t / 60));
        rec.AppendSample(takt, s);
    }
    appendStepNote(path, {10, 310, 0, 40, 10, 300, 1000, 9});
    return path;
}

struct Rendered {
    std::string text;
    std::vector<QImage> pages; // 50 dpi
};

Rendered render(const std::string& pdf, int pages, const TempDir& dir) {
    Rendered r;
    r.text = commandOutput("pdftotext -layout '" + pdf + "' -");
    for (int p = 1; p <= pages; ++p) {
        const std::string prefix = dir.file("page" + std::to_string(p));
        commandOutput("pdftoppm -r 50 -png -f " + std::to_string(p) + " -l " + std::to_string(p) +
                      " -singlefile '" + pdf + "' '" + prefix + "'");
        r.pages.emplace_back(QString::fromStdString(prefix + ".png"));
    }
    return r;
}

// Pixels inside the chart's area (its rectangle at 50 dpi) that pass `curve`.
template <class Curve> int curvePixels(const Rendered& r, const ReportChart& c, Curve curve) {
    const QImage& page = r.pages.at(static_cast<std::size_t>(c.page - 1));
    const double k = 50.0 / 96.0;
    const QRect area =
        QRectF(c.rect.x() * k, c.rect.y() * k, c.rect.width() * k, c.rect.height() * k)
            .toRect()
            .intersected(page.rect());
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += curve(page.pixelColor(x, y)) ? 1 : 0;
    return n;
}

// Antialiased at 50 dpi a thin curve mixes with its background: what stays
// is which channels lead.
bool greenLeads(const QColor& c) { // the temperature (0, 255, 128), the path
    return c.green() > c.red() + 60 && c.green() > c.blue() + 20;
}
bool near(const QColor& c, const QColor& want) { // a curve on white
    const int d = std::abs(c.red() - want.red()) + std::abs(c.green() - want.green()) +
                  std::abs(c.blue() - want.blue());
    return d < 120 && c != QColor(Qt::white);
}

TEST(LabReport, TextFontsAndChartsOfAComparisonOfTwoRuns) {
    TempDir dir("thermo-report");
    const char sep = decimalSeparator();
    ArchiveReader pidRun, fuzzyRun;
    ScriptedDialogs quiet;
    const std::string a = record(dir, "pid.txt", false, true, 0.004, 0.06);
    const std::string b = record(dir, "fuzzy.txt", true, false, 0.003, 0.09);
    for (auto [path, archive] : {std::pair{a, &pidRun}, std::pair{b, &fuzzyRun}}) {
        ASSERT_TRUE(archive->ReadSampleFile(path, quiet));
        ASSERT_TRUE(archive->ReadConfigFile(path, quiet));
    }
    const std::vector<CompareInput> runs = {{a, &pidRun}, {b, &fuzzyRun}};
    const ReportTitleBlock title{
        "Сравнение регуляторов",        "Петров П. П.", "ТС-31", "01.02.2025", "9.9.9",
        "COM1 — /dev/ttyS0, LPT — auto"};
    const std::string pdf = dir.file("report.pdf");
    const ReportOutcome done = writeLabReport(pdf, title, runs, CompareAlign::Step, 1, sep);
    ASSERT_FALSE(done.error) << *done.error;
    const Rendered r = render(pdf, done.pages, dir);
    ASSERT_EQ(static_cast<int>(r.pages.size()), done.pages);
    ASSERT_GE(done.pages, 3) << "the title and comparison, then each run on pages of its own";

    // The title block, every run's name, and every figure of the compared
    // steps on its heading's line in the comparison's table, run by run.
    for (const char* s : {"Петров П. П.", "ТС-31", "thermostand 9.9.9", "/dev/ttyS0"})
        EXPECT_NE(r.text.find(s), std::string::npos) << s;
    const Comparison c = compareRuns(runs, CompareAlign::Step, 1);
    for (const ComparedRun& run : c.runs) {
        ASSERT_TRUE(run.step);
        EXPECT_NE(r.text.find(runName(run, sep)), std::string::npos) << runName(run, sep);
    }
    EXPECT_NE(r.text.find("pid — ПИД 10 / 0" + std::string(1, sep) + "12 / 22"), std::string::npos);
    EXPECT_NE(r.text.find("fuzzy — fuzzy + Д"), std::string::npos);
    const std::vector<std::string> text = splitLines(r.text);
    for (std::size_t f = 0; f < scoreFieldNames().size(); ++f) {
        const std::string heading = scoreHeading(f).toStdString();
        bool found = false;
        for (const std::string& line : text) {
            if (line.find(heading) == std::string::npos)
                continue;
            std::size_t at = line.find(heading) + heading.size();
            bool all = true;
            for (const ComparedRun& run : c.runs) {
                at = line.find(" " + scoreCellText(*run.step, f, sep), at);
                all = all && at != std::string::npos;
                if (!all)
                    break;
                ++at;
            }
            found = found || all;
        }
        EXPECT_TRUE(found) << heading << " with each run's figure in order";
    }

    // Every font embedded.
    const std::vector<std::string> fonts = splitLines(commandOutput("pdffonts '" + pdf + "'"));
    ASSERT_GE(fonts.size(), 3u);
    const std::size_t emb = fonts[0].find("emb");
    for (std::size_t i = 2; i < fonts.size(); ++i)
        EXPECT_EQ(fonts[i].substr(emb, 3), "yes") << fonts[i];

    // Each chart's area holds its curves.
    int seen = 0;
    for (const ReportChart& chart : done.charts) {
        SCOPED_TRACE(chart.kind);
        if (chart.kind == "compare") {
            for (std::size_t i = 0; i < 2; ++i)
                EXPECT_GT(curvePixels(
                              r, chart,
                              [&](const QColor& p) { return near(p, CompareChart::runColour(i)); }),
                          30)
                    << "run " << i;
        } else if (chart.kind == "trend" || chart.kind == "step" || chart.kind == "surface") {
            EXPECT_GT(curvePixels(r, chart, greenLeads), 30);
        } else if (chart.kind == "terms-otkl" || chart.kind == "terms-skor") {
            // Terms 2 and 3: lime (128, 255, 0) and crimson (255, 0, 128).
            EXPECT_GT(
                curvePixels(r, chart, [](const QColor& p) { return p.green() > p.blue() + 80; }),
                20);
            EXPECT_GT(
                curvePixels(r, chart, [](const QColor& p) { return p.red() > p.green() + 80; }),
                20);
        }
        ++seen;
    }
    // The comparison, and for each run terms (2), trend and step; the
    // fuzzy run's surface.
    EXPECT_EQ(seen, 1 + 2 * 4 + 1);
}

TEST(LabReport, AStepExperimentNotedBesideItsArchiveGetsItsModelAndTunings) {
    TempDir dir("thermo-report");
    const char sep = decimalSeparator();
    ArchiveReader step;
    ScriptedDialogs quiet;
    const std::string path = recordStep(dir);
    ASSERT_TRUE(step.ReadSampleFile(path, quiet));
    ASSERT_TRUE(step.ReadConfigFile(path, quiet));
    const std::string pdf = dir.file("step.pdf");
    const ReportOutcome done = writeLabReport(pdf, {}, {{path, &step}}, CompareAlign::Step, 1, sep);
    ASSERT_FALSE(done.error) << *done.error;
    const Rendered r = render(pdf, done.pages, dir);
    EXPECT_NE(r.text.find(kDefaultReportTitle), std::string::npos);
    EXPECT_EQ(r.text.find("Сравнение прогонов"), std::string::npos)
        << "one run: nothing to compare";
    // The plant's own gain and time constant come back.
    EXPECT_NE(r.text.find("K = 0" + std::string(1, sep) + "9 "), std::string::npos) << r.text;
    EXPECT_NE(r.text.find("τ = 60 "), std::string::npos);
    for (const char* rule : {"SIMC-PI", "SIMC-PID", "IMC-PID"})
        EXPECT_NE(r.text.find(rule), std::string::npos) << rule;
    bool fit = false;
    for (const ReportChart& chart : done.charts) {
        if (chart.kind != "fit")
            continue;
        fit = true;
        // The samples (0, 160, 80) and the model (200, 0, 0) on white.
        EXPECT_GT(curvePixels(r, chart, [](const QColor& p) { return near(p, {0, 160, 80}); }), 30);
        EXPECT_GT(curvePixels(r, chart, [](const QColor& p) { return near(p, {200, 0, 0}); }), 30);
    }
    EXPECT_TRUE(fit);
}

} // namespace
