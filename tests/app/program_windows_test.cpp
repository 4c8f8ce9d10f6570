// The windows as the program creates and wires them: one scheme window for
// both menus that show it, and the main window's exports reaching their files.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QPrinterInfo>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/program_windows.h"
#include "tests/app/window_stand.h"
#include "tests/workbook_reader.h"

using namespace thermo;
namespace fs = std::filesystem;

namespace {

struct ProgramWindowsTest : ::testing::Test, thermo::testing::WindowStand {
    std::unique_ptr<ProgramWindows> windows = std::make_unique<ProgramWindows>(services());
};

TEST_F(ProgramWindowsTest, BothMenusShowTheOneSchemeWindow) {
    EXPECT_FALSE(windows->F_Shema.isVisible());
    windows->F_Glav.N10->trigger();
    EXPECT_TRUE(windows->F_Shema.isVisible());
    windows->F_Shema.hide();
    windows->F_Arhiv.N3Click();
    EXPECT_TRUE(windows->F_Shema.isVisible());
    int schemes = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        schemes += qobject_cast<TF_Shema*>(w) != nullptr;
    EXPECT_EQ(schemes, 1);
}

TEST_F(ProgramWindowsTest, ClosingTheMainWindowEndsTheProgramWhateverElseIsOpen) {
    windows->F_Glav.show();
    windows->F_Glav.N10->trigger();     // "Схема"
    windows->F_Glav.N8->trigger();      // "скорость"
    windows->F_Glav.termsRequested();   // "Термы"
    windows->F_Glav.archiveRequested(); // "Архив"
    windows->F_Glav.aboutRequested();   // "О программе"
    windows->F_Zapis.begin();
    ASSERT_TRUE(windows->F_Shema.isVisible() && windows->F_Skorost.isVisible() &&
                windows->FF_term.isVisible() && windows->F_Arhiv.isVisible());
    QTimer::singleShot(0, &windows->F_Glav, [this] { windows->F_Glav.close(); });
    QTimer::singleShot(3000, [] { QCoreApplication::exit(99); }); // still running
    EXPECT_EQ(QApplication::exec(), 0);
}

TEST_F(ProgramWindowsTest, IntervalWindowSetsTheMainTimer) {
    windows->F_Glav.N8->trigger();
    EXPECT_TRUE(windows->F_Skorost.isVisible());
    emit windows->F_Skorost.intervalApplied(2500);
    EXPECT_EQ(windows->F_Glav.timerInterval(), 2500);
    EXPECT_EQ(stand.controls.intervalMs, 2500);
}

// The progress window lets events through while it comes up: a tick due then
// (and its message boxes) ran in the middle of the export. It waits instead,
// and runs as soon as the command has returned.
TEST_F(ProgramWindowsTest, NoTickRunsInsideASpreadsheetExport) {
    TF_Glav& glav = windows->F_Glav;
    glav.FormShow();
    dialogs.fileAnswers.push_back((dir / "run.txt").string());
    glav.N2Click();
    glav.setTimerInterval(100);
    glav.Bt_StartClick();
    const std::pair<const char*, std::function<void()>> commands[] = {
        {"в EXEL", [&] { glav.N12->trigger(); }}, {"Exel", [&] { windows->F_Arhiv.Exel1Click(); }}};
    for (const auto& [name, command] : commands) {
        SCOPED_TRACE(name);
        // The tick is overdue when the command starts.
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        const auto takt = stand.state.Takt;
        command(); // the save dialog is cancelled
        EXPECT_EQ(stand.state.Takt, takt);
        QCoreApplication::processEvents();
        EXPECT_GT(stand.state.Takt, takt);
    }
    EXPECT_TRUE(dialogs.messages.empty());
}

// Both print commands said 'Cannot print on "".' on a PC without a printer.
TEST_F(ProgramWindowsTest, WithoutAPrinterBothPrintCommandsSaveAPdf) {
    if (!QPrinterInfo::availablePrinters().isEmpty())
        GTEST_SKIP() << "this PC has a printer";
    dialogs.fileAnswers.push_back((dir / "trend.pdf").string());
    windows->F_Glav.EXEL1->trigger(); // "файл" -> "сохранить"
    dialogs.fileAnswers.push_back((dir / "archive.pdf").string());
    windows->F_Arhiv.mdi1->trigger(); // "сохранить в *.mdi"
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages[0].text;
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[0].filter, "файлы PDF|*.pdf");
    for (const char* name : {"trend.pdf", "archive.pdf"})
        EXPECT_EQ(thermo::testing::readFile((dir / name).string()).substr(0, 5), "%PDF-") << name;
}

TEST_F(ProgramWindowsTest, MainWindowExportsReachTheirFiles) {
    dialogs.fileAnswers.push_back((dir / "trend.wmf").string());
    windows->F_Glav.N11->trigger();
    EXPECT_GT(fs::file_size(dir / "trend.wmf"), 22u);

    // Three samples of a run (positions 1 .. 3); the workbook must read back
    // with their temperatures under any locale the program runs in.
    recorder.setArchiveName((dir / "run").string());
    for (std::uint16_t takt = 1; takt <= 3; ++takt) {
        TProcessState state;
        state.Temper = 20.0 + 0.3125 * takt;
        recorder.AppendSample(takt, state);
    }
    stand.state.Takt = 3;
    dialogs.fileAnswers.push_back((dir / "run").string()); // typed without an extension
    windows->F_Glav.N12->trigger();
    EXPECT_TRUE(dialogs.messages.empty());
    const auto cells = thermo::testing::dumpWorkbook(dir / "run.xlsx", {"1!B1", "1!B3"});
    ASSERT_GE(cells.size(), 2u) << "unreadable workbook";
    EXPECT_EQ(cells[cells.size() - 2], "cell 1!B1 number 20.3125");
    EXPECT_EQ(cells.back(), "cell 1!B3 number 20.9375");
}

} // namespace
