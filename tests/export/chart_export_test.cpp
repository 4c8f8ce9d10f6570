// Chart pictures: the metafile read back by libwmf's wmf2svg, landscape
// printing into a PDF-writing printer.
#include <QApplication>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <qcustomplot.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/scripted_dialogs.h"
#include "export/chart_export.h"
#include "export/wmf_paint_device.h"
#include "export/wmf_writer.h"
#include "tests/command_output.h"
#include "tests/temp_dir.h"
#include "widgets/trend_chart.h"

namespace fs = std::filesystem;
using namespace thermo;
using thermo::testing::commandOutput;

namespace {

void ensureApp() {
    if (QApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "test_export_chart";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv); // lives until the test program ends
    }
}

// A trend chart laid out as the windows lay out theirs: temperature and
// setpoint over the tick number, legend on the left.
std::unique_ptr<QCustomPlot> trendChart(int points) {
    auto chart = std::make_unique<QCustomPlot>();
    chart->resize(800, 400);
    auto* t = chart->addGraph();
    t->setName(QString::fromUtf8("температура"));
    t->setPen(QPen(QColor(0, 255, 128)));
    auto* z = chart->addGraph();
    z->setName(QString::fromUtf8("задание"));
    z->setPen(QPen(Qt::yellow));
    for (int i = 0; i < points; ++i) {
        t->addData(i, 30 + 5 * std::sin(i / 50.0));
        z->addData(i, 33.5);
    }
    chart->legend->setVisible(true);
    chart->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignLeft | Qt::AlignTop);
    chart->rescaleAxes();
    chart->replot();
    return chart;
}

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// wmf2svg's verdict and output.
struct Converted {
    int status = -1;
    std::string svg;
};

Converted wmf2svg(const fs::path& wmf) {
    fs::path svg = wmf;
    svg += ".svg";
    std::string cmd = "wmf2svg -o '" + svg.string() + "' '" + wmf.string() + "' 2>&1";
    Converted c;
    c.status = std::system(cmd.c_str());
    c.svg = readAll(svg);
    return c;
}

std::uint16_t word(const std::string& s, std::size_t at) {
    return std::uint16_t(std::uint8_t(s[at]) | (std::uint8_t(s[at + 1]) << 8));
}

class ChartExport : public ::testing::Test {
protected:
    void SetUp() override { ensureApp(); }
    thermo::testing::TempDir temp{"thermo-chart"};
    const fs::path dir = temp.path();
    ScriptedDialogs dialogs;
};

} // namespace

// The points of every polyline wmf2svg drew in the given colour.
std::vector<QPointF> polylinePoints(const std::string& svg, const std::string& colour) {
    std::vector<QPointF> pts;
    for (std::size_t at = 0; (at = svg.find("<polyline points=\"", at)) != std::string::npos;) {
        at += 18;
        const std::size_t end = svg.find('"', at);
        if (svg.find("stroke:" + colour, end) > svg.find("/>", end))
            continue;
        std::istringstream in(svg.substr(at, end - at));
        double px, py;
        char comma;
        while (in >> px >> comma >> py)
            pts.emplace_back(px, py);
    }
    return pts;
}

std::string cp1251(const char16_t* text) {
    return wmf::toCp1251(text);
}

TEST_F(ChartExport, MetafileHasAValidHeaderAndReadsBackWithCyrillicLegend) {
    auto chart = trendChart(1000);
    chart->xAxis->setLabel(QString::fromUtf8("такт"));
    chart->yAxis->setLabel(QString::fromUtf8("°C"));
    chart->replot();
    auto path = dir / "chart.wmf";
    ASSERT_TRUE(saveChartAsWmf(*chart, path.string(), dialogs));
    EXPECT_TRUE(dialogs.messages.empty());

    const std::string f = readAll(path);
    ASSERT_GT(f.size(), 22u + 18u);
    EXPECT_EQ(word(f, 0) | (std::uint32_t(word(f, 2)) << 16), 0x9AC6CDD7u);
    std::uint16_t x = 0;
    for (std::size_t i = 0; i < 20; i += 2)
        x ^= word(f, i);
    EXPECT_EQ(word(f, 20), x) << "placeable header checksum";
    // Bounding box: the on-screen 800 x 400 pixels, 15 units each, 1440 to
    // the inch (96 pixels).
    EXPECT_EQ(word(f, 10), 12000);
    EXPECT_EQ(word(f, 12), 6000);
    EXPECT_EQ(word(f, 14), 1440);
    // The metafile header's size in words covers the rest of the file.
    EXPECT_EQ((word(f, 28) | (std::uint32_t(word(f, 30)) << 16)) * 2u, f.size() - 22u);

    auto c = wmf2svg(path);
    ASSERT_EQ(c.status, 0);
    EXPECT_NE(c.svg.find("<svg width=\"768\" height=\"384\""), std::string::npos);
    // wmf2svg copies text bytes unchanged: the legend and labels in CP1251.
    for (const char16_t* word : {u"температура", u"задание", u"такт", u"°C"})
        EXPECT_NE(c.svg.find(">" + cp1251(word) + "<"), std::string::npos);
    EXPECT_NE(c.svg.find("stroke:springgreen"), std::string::npos);
    EXPECT_NE(c.svg.find("stroke:yellow"), std::string::npos);
    // The y label is turned a quarter to the left, as on screen.
    EXPECT_NE(c.svg.find("matrix(0.000000 -1.000000"), std::string::npos);
}

TEST_F(ChartExport, EmptyChartGivesAValidMetafile) {
    auto chart = trendChart(0);
    auto path = dir / "empty.wmf";
    ASSERT_TRUE(saveChartAsWmf(*chart, path.string(), dialogs));
    auto c = wmf2svg(path);
    EXPECT_EQ(c.status, 0);
    EXPECT_NE(c.svg.find("</svg>"), std::string::npos);
    EXPECT_NE(c.svg.find(">" + cp1251(u"задание") + "<"), std::string::npos);
}

// Samples outside the visible range must not be drawn across the axes.
TEST_F(ChartExport, SeriesStayInsideThePlotArea) {
    auto chart = trendChart(1000);
    chart->xAxis->setRange(100, 300);
    chart->yAxis->setRange(29, 31);
    chart->legend->setVisible(false);
    chart->replot();
    auto path = dir / "zoomed.wmf";
    ASSERT_TRUE(saveChartAsWmf(*chart, path.string(), dialogs));
    auto c = wmf2svg(path);
    ASSERT_EQ(c.status, 0);
    // wmf2svg scales the picture to what was drawn: anything drawn beyond
    // the chart would change the size.
    ASSERT_NE(c.svg.find("<svg width=\"768\" height=\"384\""), std::string::npos);
    const double k = 768.0 / 800.0; // wmf2svg draws 768 pixels wide
    const QRect area = chart->axisRect()->rect();
    const auto pts = polylinePoints(c.svg, "springgreen");
    for (const QPointF& p : pts) {
        EXPECT_GE(p.x(), area.left() * k - 1);
        EXPECT_LE(p.x(), (area.right() + 1) * k + 1);
        EXPECT_GE(p.y(), area.top() * k - 1);
        EXPECT_LE(p.y(), (area.bottom() + 1) * k + 1);
    }
    EXPECT_GT(pts.size(), 10u);
}

// 65000 samples are drawn at the chart's pixel resolution, as on screen, not
// point by point.
TEST_F(ChartExport, LongRunIsDrawnAtPixelResolution) {
    auto chart = trendChart(65000);
    auto path = dir / "long.wmf";
    ASSERT_TRUE(saveChartAsWmf(*chart, path.string(), dialogs));
    EXPECT_LT(fs::file_size(path), 120000u); // 65000 points would take 260 kB
    auto c = wmf2svg(path);
    ASSERT_EQ(c.status, 0);
    // The temperature is there, a few points per pixel column of the plot.
    const auto pts = polylinePoints(c.svg, "springgreen");
    const auto columns = std::size_t(chart->axisRect()->width());
    EXPECT_GT(pts.size(), columns / 2);
    EXPECT_LT(pts.size(), 8 * columns);
}

TEST_F(ChartExport, DialogProposesMetademoThenTheLastNameAndAsksBeforeOverwriting) {
    auto chart = trendChart(10);
    MetafileDialog dialog;
    const auto first = (dir / "first.wmf").string();
    dialogs.fileAnswers = {first, std::nullopt};
    ASSERT_TRUE(saveChartToMetafile(*chart, dialog, dialogs));
    EXPECT_FALSE(saveChartToMetafile(*chart, dialog, dialogs)); // cancelled
    ASSERT_EQ(dialogs.requests.size(), 2u);
    const auto& r = dialogs.requests[0];
    EXPECT_EQ(r.initialName, "metademo.wmf");
    EXPECT_EQ(r.defaultExt, "WMF");
    EXPECT_EQ(r.filter, "Metafile Format|*.WMF");
    EXPECT_TRUE(r.confirmOverwrite);
    EXPECT_EQ(dialogs.requests[1].initialName, first);
    EXPECT_EQ(dialog.fileName, first); // a cancel keeps the last name
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(ChartExport, WriteFailureIsReportedAndLeavesNoFile) {
    auto chart = trendChart(10);
    const auto bad = (dir / "missing" / "chart.wmf").string();
    EXPECT_FALSE(saveChartAsWmf(*chart, bad, dialogs));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].kind, MessageKind::Error);
    EXPECT_NE(dialogs.messages[0].text.find(bad), std::string::npos);
    EXPECT_TRUE(fs::is_empty(dir));

    // A name taken by a pipe is refused, not replaced; a link is written through.
    ASSERT_EQ(::mkfifo((dir / "pipe.wmf").c_str(), 0644), 0);
    EXPECT_FALSE(saveChartAsWmf(*chart, (dir / "pipe.wmf").string(), dialogs));
    EXPECT_TRUE(fs::is_fifo(dir / "pipe.wmf"));
    fs::create_symlink(dir / "report.wmf", dir / "link.wmf");
    EXPECT_TRUE(saveChartAsWmf(*chart, (dir / "link.wmf").string(), dialogs));
    EXPECT_TRUE(fs::is_symlink(dir / "link.wmf"));
    EXPECT_GT(fs::file_size(dir / "report.wmf"), 22u);
}

namespace {

struct PdfPages {
    int pages = 0;
    bool landscape = false;
};

// Page objects and the first page's MediaBox, read from the PDF's text.
PdfPages readPdf(const fs::path& p) {
    const std::string pdf = readAll(p);
    PdfPages r;
    for (std::size_t at = 0; (at = pdf.find("/Type /Page", at)) != std::string::npos; at += 11)
        if (pdf.compare(at + 11, 1, "s") != 0)
            ++r.pages;
    const std::size_t box = pdf.find("/MediaBox [");
    if (box != std::string::npos) {
        std::istringstream in(pdf.substr(box + 11, 64));
        double x0, y0, x1, y1;
        if (in >> x0 >> y0 >> x1 >> y1)
            r.landscape = (x1 - x0) > (y1 - y0);
    }
    return r;
}

} // namespace

TEST_F(ChartExport, PrintsOneLandscapePageAndRestoresTheOrientation) {
    auto chart = trendChart(500);
    for (auto before : {QPageLayout::Portrait, QPageLayout::Landscape}) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setPageSize(QPageSize(QPageSize::A4));
        const auto pdf = dir / (before == QPageLayout::Portrait ? "p.pdf" : "l.pdf");
        printer.setOutputFileName(QString::fromStdString(pdf.string()));
        printer.setPageOrientation(before);
        EXPECT_TRUE(printChartLandscape(*chart, printer, dialogs));
        EXPECT_EQ(printer.pageLayout().orientation(), before);
        const auto pages = readPdf(pdf);
        EXPECT_EQ(pages.pages, 1);
        EXPECT_TRUE(pages.landscape);
    }
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ChartExport, FailedPrintRestoresTheOrientationBeforeReporting) {
    auto chart = trendChart(10);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const auto bad = dir / "missing" / "out.pdf";
    printer.setOutputFileName(QString::fromStdString(bad.string()));
    printer.setPageOrientation(QPageLayout::Portrait);

    // The report is made when the orientation is already back.
    struct Watching : ScriptedDialogs {
        QPrinter* printer = nullptr;
        QPageLayout::Orientation seen = QPageLayout::Landscape;
        void errorReport(const std::string& text) override {
            seen = printer->pageLayout().orientation();
            ScriptedDialogs::errorReport(text);
        }
    } watching;
    watching.printer = &printer;
    EXPECT_FALSE(printChartLandscape(*chart, printer, watching));
    EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Portrait);
    ASSERT_EQ(watching.messages.size(), 1u);
    EXPECT_EQ(watching.seen, QPageLayout::Portrait);
    EXPECT_FALSE(fs::exists(bad));
}

// A PC without a printer answered "сохранить" with 'Cannot print on "".':
// the print goes into a PDF file the user names instead.
TEST_F(ChartExport, WithoutAPrinterThePrintGoesIntoAPdfTheUserNames) {
    if (!QPrinterInfo::availablePrinters().isEmpty())
        GTEST_SKIP() << "this PC has a printer";
    auto chart = trendChart(300);
    QPrinter printer; // the PC's default printer, as the windows take it
    dialogs.fileAnswers.push_back(std::nullopt);
    EXPECT_FALSE(printChartLandscape(*chart, printer, dialogs)); // cancelled: nothing
    dialogs.fileAnswers.push_back((dir / "trend").string());
    EXPECT_TRUE(printChartLandscape(*chart, printer, dialogs));
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages[0].text;
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[1].title, "Принтер не установлен: сохранить в PDF");
    EXPECT_EQ(dialogs.requests[1].filter, "файлы PDF|*.pdf");
    EXPECT_TRUE(dialogs.requests[1].confirmOverwrite);

    // poppler's reading: one page, wider than high, with the chart's texts
    // whole (a high-resolution printer draws them at its own dots per inch,
    // scaled once more: the legend cut, the tick labels blots).
    const fs::path pdf = dir / "trend.pdf";
    const std::string info = commandOutput("pdfinfo '" + pdf.string() + "' 2>&1");
    int pages = 0;
    double w = 0, h = 0;
    const auto count = info.find("Pages:"), size = info.find("Page size:");
    ASSERT_TRUE(count != std::string::npos && size != std::string::npos) << info;
    ASSERT_EQ(std::sscanf(info.c_str() + count, "Pages: %d", &pages), 1) << info;
    ASSERT_EQ(std::sscanf(info.c_str() + size, "Page size: %lf x %lf", &w, &h), 2) << info;
    EXPECT_EQ(pages, 1);
    EXPECT_GT(w, h) << info;
    const std::string text = commandOutput("pdftotext '" + pdf.string() + "' - 2>&1");
    EXPECT_NE(text.find("температура"), std::string::npos) << text;
    EXPECT_NE(text.find("задание"), std::string::npos) << text;
    EXPECT_NE(text.find("250"), std::string::npos) << text; // a tick label of the key axis
}

// A picture wider than 2184 pixels cannot keep 15 units a pixel in 16-bit
// coordinates; it keeps its size in inches with fewer units.
TEST_F(ChartExport, WidePictureUsesFewerUnitsAndKeepsItsSize) {
    struct Case {
        int w, h, unitsPerPixel;
    } cases[] = {{800, 400, 15}, {2184, 100, 15}, {2185, 100, 14}, {3000, 500, 10}, {32767, 10, 1}};
    for (const auto& c : cases) {
        WmfPaintDevice device(c.w, c.h);
        QPainter p(&device);
        p.drawLine(QPointF(0, 0), QPointF(c.w, c.h));
        p.end();
        const auto bytes = device.metafile();
        const std::string f(bytes.begin(), bytes.end());
        EXPECT_EQ(device.unitsPerPixel(), c.unitsPerPixel) << c.w;
        EXPECT_EQ(word(f, 10), c.w * c.unitsPerPixel) << c.w;
        EXPECT_EQ(word(f, 12), c.h * c.unitsPerPixel) << c.w;
        EXPECT_EQ(word(f, 14), 96 * c.unitsPerPixel) << c.w;
    }
}

// A trend chart saved small (thermostand-cli archive wmf --size 300x150): the
// time labels ran into each other, and the legend column took half the
// width. Fewer labels, standing apart; the legend above, the plot keeping the
// width.
TEST_F(ChartExport, SmallTrendChartKeepsItsTimeLabelsApart) {
    TrendChart chart;
    chart.resize(300, 150);
    chart.setLegendAbove();
    std::vector<double> x, temper, zadan, time;
    for (int i = 2; i <= 300; ++i) {
        x.push_back(i);
        temper.push_back(25 + 8 * (1 - std::exp(-i / 60.0)));
        zadan.push_back(33.5);
        time.push_back(0.5 + i / 86400.0);
    }
    chart.setPoints(x, temper, zadan, time);
    (void)chartToWmf(chart); // as the picture is drawn, ticks and all

    EXPECT_GT(chart.axisRect()->width(), 300 * 3 / 4);
    const QFontMetricsF fm(chart.xAxis->tickLabelFont());
    const QVector<double> ticks = chart.xAxis->tickVector();
    const QVector<QString> labels = chart.xAxis->tickVectorLabels();
    ASSERT_EQ(ticks.size(), labels.size());
    double lastRight = -1e9;
    int shown = 0;
    for (int i = 0; i < ticks.size(); ++i) {
        if (labels[i].isEmpty())
            continue;
        const double width = fm.horizontalAdvance(labels[i]);
        const double left = chart.xAxis->coordToPixel(ticks[i]) - width / 2;
        EXPECT_GT(left, lastRight) << labels[i].toStdString();
        lastRight = left + width;
        ++shown;
    }
    EXPECT_GE(shown, 2);
}
