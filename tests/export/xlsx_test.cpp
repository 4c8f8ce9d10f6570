// The spreadsheet export, read back by an independent reader (openpyxl).
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "common/scripted_dialogs.h"
#include "export/excel_export.h"
#include "export/sheet_server.h"
#include "tests/temp_dir.h"
#include "tests/workbook_reader.h"

namespace fs = std::filesystem;
using namespace thermo;
using thermo::testing::dumpWorkbook;

namespace {

// -1 for begin, -2 for end, the percentages in between.
class RecordingProgress : public ProgressDisplay {
public:
    void begin() override { events.push_back(-1); }
    void setProgress(int percent) override { events.push_back(percent); }
    void end() override { events.push_back(-2); }
    std::vector<int> events;
};

class XlsxExport : public ::testing::Test {
protected:
    void SetUp() override { registerSpreadsheetServer(registry); }

    // Row n: a time of day and a temperature that identify the row.
    static std::vector<ExportRow> rows(std::size_t n) {
        std::vector<ExportRow> v(n + 1);
        for (std::size_t i = 1; i <= n; ++i)
            v[i] = {double(i) / 100000.0, 20.0 + double(i) / 1000.0};
        return v;
    }
    ExcelExportResult exportTo(const std::vector<ExportRow>& src, std::size_t n,
                               std::optional<std::string> answer) {
        dialogs.fileAnswers.push_back(std::move(answer));
        return ExportToExcel(src, n, excel, progress, dialogs);
    }

    thermo::testing::TempDir temp{"thermo-xlsx"};
    const fs::path dir = temp.path();
    AutomationRegistry registry;
    MyExcel excel{registry};
    ScriptedDialogs dialogs;
    RecordingProgress progress;
};

} // namespace

TEST(CellAddress, ParsesColumnLettersAndRow) {
    struct Case {
        const char* text;
        bool ok;
        std::uint32_t row;
        std::uint16_t col;
    } cases[] = {
        {"A1", true, 1, 1},
        {"B32001", true, 32001, 2},
        {"z9", true, 9, 26},
        {"AA10", true, 10, 27},
        {"XFD1048576", true, 1048576, 16384},
        {"XFE1", false, 0, 0},
        {"A1048577", false, 0, 0},
        {"A0", false, 0, 0},
        {"A01", false, 0, 0},
        {"1A", false, 0, 0},
        {"A", false, 0, 0},
        {"", false, 0, 0},
        {"A1:B2", false, 0, 0},
        {"A-1", false, 0, 0},
    };
    for (const auto& c : cases) {
        auto a = parseCellAddress(c.text);
        ASSERT_EQ(a.has_value(), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(a->row, c.row) << c.text;
            EXPECT_EQ(a->col, c.col) << c.text;
        }
    }
}

TEST(SpreadsheetServer, NewWorkbookHasTwoSheetsAndRefusesAfterQuit) {
    AutomationRegistry reg;
    registerSpreadsheetServer(reg);
    AutoValue app = reg.createObject("Excel.Application");
    callMethod(callMethod(app, "Workbooks"), "Add");
    auto sheets = callMethod(callMethod(app, "ACTIVEWORKBOOK"), "Sheets");
    EXPECT_GE(std::get<std::int32_t>(getProperty(sheets, "Count")), 2);
    auto sheet2 = getProperty(sheets, "Item", {std::int32_t(2)});
    putProperty(sheet2, "Range", {std::string("C7"), 1.5});
    EXPECT_EQ(std::get<double>(getProperty(sheet2, "Range", {std::string("C7")})), 1.5);
    EXPECT_THROW(getProperty(sheets, "Item", {std::int32_t(0)}), AutomationError);
    EXPECT_THROW(putProperty(sheet2, "Range", {std::string("C0"), 1.0}), AutomationError);
    EXPECT_THROW(callMethod(app, "Calculate"), AutomationError);
    callMethod(app, "Quit");
    EXPECT_THROW(callMethod(app, "Workbooks"), AutomationError);
    EXPECT_THROW(putProperty(sheet2, "Range", {std::string("C7"), 2.0}), AutomationError);
    EXPECT_THROW(reg.createObject("Word.Application"), AutomationError);
}

TEST(MyExcelOps, EveryOperationFailsQuietlyWithoutAServer) {
    AutomationRegistry empty;
    MyExcel x(empty);
    EXPECT_FALSE(x.CreateExcel());
    EXPECT_FALSE(x.VisibleExcel(false));
    EXPECT_FALSE(x.AddWorkBook());
    EXPECT_FALSE(x.SelectSheet(std::int32_t(1)));
    EXPECT_FALSE(x.SaveWorkBookAs("/tmp/never.xls"));
    EXPECT_FALSE(x.CloseWorkBook());
    EXPECT_FALSE(x.CloseExcel());
    EXPECT_FALSE(x.SetRange(std::int32_t(1), "A1", 1.0));
    EXPECT_FALSE(x.lastError().empty());
}

TEST_F(XlsxExport, FailedSaveLeavesAlertsOffAndNoFile) {
    ASSERT_TRUE(excel.CreateExcel());
    ASSERT_TRUE(excel.AddWorkBook());
    EXPECT_TRUE(excel.SelectSheet(std::int32_t(2)));
    EXPECT_FALSE(excel.SelectSheet(std::int32_t(7)));
    EXPECT_FALSE(excel.SetRange(std::int32_t(1), "nonsense", 1.0));
    auto bad = (dir / "missing" / "run.xls").string();
    EXPECT_FALSE(excel.SaveWorkBookAs(bad));
    EXPECT_FALSE(std::get<bool>(getProperty(excel.ExcelApp(), "DisplayAlerts")));
    EXPECT_FALSE(fs::exists(bad));
    auto good = (dir / "run.xls").string();
    EXPECT_TRUE(excel.SaveWorkBookAs(good));
    EXPECT_TRUE(std::get<bool>(getProperty(excel.ExcelApp(), "DisplayAlerts")));
    EXPECT_TRUE(excel.CloseWorkBook());
    EXPECT_FALSE(excel.CloseWorkBook()); // nothing left open
    EXPECT_TRUE(excel.CloseExcel());
    EXPECT_EQ(fs::directory_iterator(dir)->path().filename(), "run.xls"); // no temporary left
}

TEST_F(XlsxExport, ThreeSamplesGiveTimesAndTemperaturesOnSheet1) {
    std::vector<ExportRow> src = {{0, 0}, {0.5, 21.25}, {0.75, 22.5}, {0.25, -3.0625}};
    auto file = dir / "three.xlsx";
    ASSERT_EQ(exportTo(src, 3, file.string()), ExcelExportResult::Saved);
    auto out = dumpWorkbook(file, {"1!A1", "1!B1", "1!A2", "1!B2", "1!A3", "1!B3", "1!A4"});
    std::vector<std::string> want = {
        "active 0",
        "sheets 3",
        "sheet 1 6 1 3 1.500000 40.687500",
        "sheet 2 0 0 0 0.000000 0.000000",
        "sheet 3 0 0 0 0.000000 0.000000",
        "cell 1!A1 date 0.5",
        "cell 1!B1 number 21.25",
        "cell 1!A2 date 0.75",
        "cell 1!B2 number 22.5",
        "cell 1!A3 date 0.25",
        "cell 1!B3 number -3.0625",
        "cell 1!A4 NoneType None",
    };
    EXPECT_EQ(out, want);
    // N = 3 gives step 0: the gauges stay at 0.
    EXPECT_EQ(progress.events, (std::vector<int>{-1, 0, -2}));
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].filter, "файлы Excel|*.xls|книги Excel 2007|*.xlsx");
    EXPECT_EQ(dialogs.requests[0].defaultExt, "xlsx");
    EXPECT_EQ(dialogs.requests[0].initialDir, "");
    EXPECT_FALSE(dialogs.requests[0].confirmOverwrite);
    EXPECT_TRUE(dialogs.messages.empty());
}

// Readers go by the name: openpyxl refused "run2" and "run.xls" as written
// before, and Excel warned that an .xls held another format.
TEST_F(XlsxExport, AWorkbookTypedWithoutExtensionOrAsXlsOpensInAReader) {
    struct Case {
        const char* typed;
        const char* written;
        bool told; // an extension the user typed was changed: the name is said
    } cases[] = {{"run2", "run2.xlsx", false},
                 {"run.xls", "run.xlsx", true},
                 {"RUN3.XLS", "RUN3.XLSX", true},
                 {"run.15", "run.15.xlsx", true},
                 {"kept.XLSX", "kept.XLSX", false}};
    const auto src = rows(2);
    for (const Case& c : cases) {
        dialogs.messages.clear();
        ASSERT_EQ(exportTo(src, 2, (dir / c.typed).string()), ExcelExportResult::Saved) << c.typed;
        EXPECT_EQ(workbookFileName((dir / c.typed).string()), (dir / c.written).string());
        const auto out = dumpWorkbook(dir / c.written, {"1!B2"});
        ASSERT_FALSE(out.empty()) << c.typed;
        EXPECT_EQ(out.back(), "cell 1!B2 number 20.002") << c.typed << ": " << out[0];
        if (std::string(c.typed) != c.written) {
            EXPECT_FALSE(fs::exists(dir / c.typed)) << c.typed;
        }
        ASSERT_EQ(dialogs.messages.size(), c.told ? 1u : 0u) << c.typed;
        if (c.told) {
            EXPECT_NE(dialogs.messages[0].text.find((dir / c.written).string()), std::string::npos);
        }
    }
}

TEST_F(XlsxExport, NumbersADamagedArchiveCannotHoldLeaveTheirCellsEmpty) {
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<ExportRow> src = {
        {0, 0}, {0.5, std::nan("")}, {inf, 22.5}, {0.25, -inf}, {0.75, 23.0}};
    auto file = dir / "damaged.xlsx";
    ASSERT_EQ(exportTo(src, 4, file.string()), ExcelExportResult::Saved);
    auto out = dumpWorkbook(file, {"1!A1", "1!B1", "1!A2", "1!B2", "1!B3", "1!A4", "1!B4"});
    const std::vector<std::string> cells(out.begin() + 5, out.end());
    EXPECT_EQ(cells, (std::vector<std::string>{"cell 1!A1 date 0.5", "cell 1!B1 NoneType None",
                                               "cell 1!A2 NoneType None", "cell 1!B2 number 22.5",
                                               "cell 1!B3 NoneType None", "cell 1!A4 date 0.75",
                                               "cell 1!B4 number 23.0"}))
        << "the workbook must open and keep every finite value";
}

TEST_F(XlsxExport, NoRowsStillGivesAnEmptyWorkbook) {
    auto file = dir / "empty.xlsx";
    ASSERT_EQ(exportTo({}, 0, file.string()), ExcelExportResult::Saved);
    EXPECT_EQ(progress.events, (std::vector<int>{-1, -2}));
    auto out = dumpWorkbook(file, {});
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[0], "active 0");
    EXPECT_EQ(out[2], "sheet 1 0 0 0 0.000000 0.000000");
}

TEST_F(XlsxExport, RowsAbove32000GoToSheet2AtTheirOwnRows) {
    auto src = rows(40000);
    auto file = dir / "long.xlsx";
    ASSERT_EQ(exportTo(src, 40000, file.string()), ExcelExportResult::Saved);
    double a1 = 0, b1 = 0, a2 = 0, b2 = 0;
    for (std::size_t n = 1; n <= 40000; ++n) {
        (n <= 32000 ? a1 : a2) += src[n].Vremya;
        (n <= 32000 ? b1 : b2) += src[n].Temper;
    }
    char s1[128], s2[128];
    std::snprintf(s1, sizeof s1, "sheet 1 64000 1 32000 %.6f %.6f", a1, b1);
    std::snprintf(s2, sizeof s2, "sheet 2 16000 32001 40000 %.6f %.6f", a2, b2);
    auto out = dumpWorkbook(file, {"1!B31999", "1!B32000", "2!B32001", "2!B40000"});
    ASSERT_EQ(out.size(), 9u) << (out.empty() ? "" : out[0]);
    EXPECT_EQ(out[0], "active 1"); // opened on sheet 2
    EXPECT_EQ(out[2], s1);
    EXPECT_EQ(out[3], s2);
    EXPECT_EQ(out[5], "cell 1!B31999 number 51.999");
    EXPECT_EQ(out[6], "cell 1!B32000 number 52.0");
    EXPECT_EQ(out[7], "cell 2!B32001 number 52.001");
    EXPECT_EQ(out[8], "cell 2!B40000 number 60.0");
    // Step 400: 0 after row 1, then one more every 400 rows up to 100.
    std::vector<int> want = {-1};
    for (int i = 0; i <= 100; ++i)
        want.push_back(i);
    want.push_back(-2);
    EXPECT_EQ(progress.events, want);
}

TEST_F(XlsxExport, Exactly32000RowsStayOnSheet1) {
    auto src = rows(32000);
    auto file = dir / "edge.xlsx";
    ASSERT_EQ(exportTo(src, 32000, file.string()), ExcelExportResult::Saved);
    auto out = dumpWorkbook(file, {});
    ASSERT_GE(out.size(), 4u);
    EXPECT_EQ(out[0], "active 0");
    EXPECT_EQ(out[2].substr(0, 22), "sheet 1 64000 1 32000 ");
    EXPECT_EQ(out[3], "sheet 2 0 0 0 0.000000 0.000000");
}

TEST_F(XlsxExport, ProgressFollowsTheRoundedStep) {
    struct Case {
        std::size_t n, step;
        int last; // the value the gauges end on
    } cases[] = {{50, 0, 0},   {51, 1, 51},  {150, 2, 75}, {250, 2, 100 /* 125, shown full */},
                 {350, 4, 87}, {100, 1, 100}};
    for (const auto& c : cases) {
        EXPECT_EQ(progressStep(c.n), c.step) << c.n;
        progress.events.clear();
        auto src = rows(c.n);
        ASSERT_EQ(exportTo(src, c.n, std::nullopt), ExcelExportResult::Cancelled);
        ASSERT_GE(progress.events.size(), 3u) << c.n;
        EXPECT_EQ(progress.events[progress.events.size() - 2], c.last) << c.n;
        EXPECT_LE(progress.events.size(), 103u) << c.n;
    }
}

TEST_F(XlsxExport, CancelledDialogWritesNothingAndTheServerQuits) {
    auto src = rows(5);
    ASSERT_EQ(exportTo(src, 5, std::nullopt), ExcelExportResult::Cancelled);
    EXPECT_TRUE(fs::is_empty(dir));
    EXPECT_THROW(callMethod(excel.ExcelApp(), "Workbooks"), AutomationError);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(XlsxExport, ExistingFileIsReplacedWithoutAQuestion) {
    auto file = dir / "old.xlsx";
    std::ofstream(file) << "not a workbook";
    auto src = rows(2);
    ASSERT_EQ(exportTo(src, 2, file.string()), ExcelExportResult::Saved);
    auto out = dumpWorkbook(file, {"1!B2"});
    ASSERT_EQ(out.size(), 6u) << out[0];
    EXPECT_EQ(out[5], "cell 1!B2 number 20.002");
}

TEST_F(XlsxExport, SaveFailureIsReportedAndLeavesNothing) {
    auto src = rows(4);
    auto bad = dir / "no_such_dir" / "run.xlsx";
    ASSERT_EQ(exportTo(src, 4, bad.string()), ExcelExportResult::SaveFailed);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].kind, MessageKind::Error);
    EXPECT_NE(dialogs.messages[0].text.find(bad.string()), std::string::npos);
    EXPECT_TRUE(fs::is_empty(dir));
    // The workbook was still closed and the server told to quit.
    EXPECT_THROW(callMethod(excel.ExcelApp(), "Workbooks"), AutomationError);
}

TEST_F(XlsxExport, ALinkIsWrittenThroughAndADeviceNeverReplaced) {
    auto src = rows(3);
    std::ofstream(dir / "target.xlsx") << "old";
    fs::create_symlink(dir / "target.xlsx", dir / "link.xlsx");
    ASSERT_EQ(exportTo(src, 3, (dir / "link.xlsx").string()), ExcelExportResult::Saved);
    EXPECT_TRUE(fs::is_symlink(dir / "link.xlsx"));
    EXPECT_GT(fs::file_size(dir / "target.xlsx"), 1000u)
        << "the workbook went where the link points";

    ASSERT_EQ(::mkfifo((dir / "pipe.xlsx").c_str(), 0644), 0);
    EXPECT_EQ(exportTo(src, 3, (dir / "pipe.xlsx").string()), ExcelExportResult::SaveFailed);
    EXPECT_TRUE(fs::is_fifo(dir / "pipe.xlsx")) << "the pipe was replaced by a file";
    EXPECT_EQ(dialogs.messages.back().kind, MessageKind::Error);
}

TEST_F(XlsxExport, RowCountBeyondTheSourceIsCut) {
    auto src = rows(3);
    auto file = dir / "cut.xlsx";
    ASSERT_EQ(exportTo(src, 65535, file.string()), ExcelExportResult::Saved);
    auto out = dumpWorkbook(file, {});
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[2].substr(0, 16), "sheet 1 6 1 3 0.");
}

TEST(ExportRows, TakesTimeAndTemperatureOfEachRecord) {
    // Field order as in the archive's sample record: temperature first.
    struct Record {
        double Temper, Summa_1, Summa_2, Vremya;
    };
    const Record recs[] = {{0, 1, 2, 0}, {21.5, 7, 8, 0.5}};
    auto rows = exportRows(recs);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].Vremya, 0.5);
    EXPECT_EQ(rows[1].Temper, 21.5);
}

TEST_F(XlsxExport, NoServerMeansNothingHappens) {
    AutomationRegistry none;
    MyExcel absent(none);
    auto src = rows(3);
    dialogs.fileAnswers.push_back((dir / "x.xlsx").string());
    EXPECT_EQ(ExportToExcel(src, 3, absent, progress, dialogs), ExcelExportResult::NoServer);
    EXPECT_TRUE(progress.events.empty());
    EXPECT_TRUE(dialogs.requests.empty());
    EXPECT_TRUE(dialogs.messages.empty());
}
