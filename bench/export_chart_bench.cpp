// A 65000-point trend chart saved as a metafile, against drawing the same
// chart on screen (a raster image of its size), which is the floor: both
// draw what QCustomPlot's adaptive sampling leaves at pixel resolution.
#include <QApplication>
#include <QImage>
#include <benchmark/benchmark.h>
#include <cmath>
#include <qcustomplot.h>

#include "export/chart_export.h"
#include "ui_aux/program_setup.h"

namespace {

QCustomPlot& chart() {
    // Benchmarks run without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "bench_export_chart";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    thermo::prepareWindowProgram(app); // the chart as the windows draw it
    static QCustomPlot plot;
    static bool filled = false;
    if (!filled) {
        plot.resize(800, 400);
        auto* t = plot.addGraph();
        t->setName(QString::fromUtf8("температура"));
        auto* z = plot.addGraph();
        z->setName(QString::fromUtf8("задание"));
        for (int i = 0; i < 65000; ++i) {
            t->addData(i, 30 + 5 * std::sin(i / 500.0) + 0.1 * std::sin(i * 1.7));
            z->addData(i, 33.5);
        }
        plot.legend->setVisible(true);
        plot.rescaleAxes();
        filled = true;
    }
    return plot;
}

} // namespace

static void BM_ChartToWmf(benchmark::State& state) {
    QCustomPlot& plot = chart();
    std::size_t size = 0;
    for (auto _ : state) {
        auto bytes = thermo::chartToWmf(plot);
        size = bytes.size();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["bytes"] = double(size);
}
BENCHMARK(BM_ChartToWmf)->Unit(benchmark::kMillisecond);

static void BM_ChartToRasterImage(benchmark::State& state) {
    QCustomPlot& plot = chart();
    QImage image(plot.width(), plot.height(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QCPPainter painter(&image);
        plot.toPainter(&painter, plot.width(), plot.height());
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_ChartToRasterImage)->Unit(benchmark::kMillisecond);
