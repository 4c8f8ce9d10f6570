// A whole archive (65000 samples) to a workbook file through the automation
// chain, four calls by member name per cell, against the floor: the same
// cells written straight with libxlsxwriter.
#include <benchmark/benchmark.h>
#include <filesystem>
#include <unistd.h>
#include <xlsxwriter.h>

#include "common/scripted_dialogs.h"
#include "export/excel_export.h"
#include "export/sheet_server.h"
#include "tests/temp_dir.h"

using namespace thermo;

namespace {

class NoProgress : public ProgressDisplay {
public:
    void begin() override {}
    void setProgress(int percent) override { benchmark::DoNotOptimize(percent); }
    void end() override {}
};

std::vector<ExportRow> samples(std::size_t n) {
    std::vector<ExportRow> v(n + 1);
    for (std::size_t i = 1; i <= n; ++i)
        v[i] = {0.4 + double(i) / 86400.0, 25.0 + double(i % 1000) / 100.0};
    return v;
}

} // namespace

static void BM_ExportToExcel(benchmark::State& state) {
    const auto n = std::size_t(state.range(0));
    const auto src = samples(n);
    const thermo::testing::TempDir dir("thermo-bench-xlsx");
    const auto path = dir.file("bench.xlsx");
    AutomationRegistry registry;
    registerSpreadsheetServer(registry);
    MyExcel excel(registry);
    NoProgress progress;
    for (auto _ : state) {
        ScriptedDialogs dialogs;
        dialogs.fileAnswers.push_back(path);
        if (ExportToExcel(src, n, excel, progress, dialogs) != ExcelExportResult::Saved)
            state.SkipWithError("export failed");
    }
    state.counters["bytes"] = double(std::filesystem::file_size(path));
}
BENCHMARK(BM_ExportToExcel)->Arg(65000)->Unit(benchmark::kMillisecond);

static void BM_XlsxWriterDirect(benchmark::State& state) {
    const auto n = std::size_t(state.range(0));
    const auto src = samples(n);
    const thermo::testing::TempDir dir("thermo-bench-xlsx");
    const auto path = dir.file("bench.xlsx");
    for (auto _ : state) {
        lxw_workbook* wb = workbook_new(path.c_str());
        lxw_format* tf = workbook_add_format(wb);
        format_set_num_format(tf, "h:mm:ss");
        lxw_worksheet* s1 = workbook_add_worksheet(wb, nullptr);
        lxw_worksheet* s2 = workbook_add_worksheet(wb, nullptr);
        for (std::size_t i = 1; i <= n; ++i) {
            lxw_worksheet* ws = i <= kFirstSheetLastRow ? s1 : s2;
            worksheet_write_number(ws, lxw_row_t(i - 1), 0, src[i].Vremya, tf);
            worksheet_write_number(ws, lxw_row_t(i - 1), 1, src[i].Temper, nullptr);
        }
        if (workbook_close(wb) != LXW_NO_ERROR)
            state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_XlsxWriterDirect)->Arg(65000)->Unit(benchmark::kMillisecond);
