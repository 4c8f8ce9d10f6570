// The sample table as a run grows it: what reaches the screen after each new
// row is what a full repaint draws, though only the new row is painted.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPaintEvent>
#include <QScreen>
#include <QScrollBar>

#include "widgets/sample_table.h"

namespace thermo {
namespace {

// Counts the pixels painted in the table's cell area.
class PaintedArea : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            for (const QRect& r : static_cast<QPaintEvent*>(event)->region())
                pixels += r.width() * r.height();
        return false;
    }
    long pixels = 0;
};

class GrowingTable : public ::testing::Test {
protected:
    void SetUp() override {
        table.setGeometry(4, 4, 137, 215);
        table.followNewest();
        window.resize(150, 230);
        window.show();
        QApplication::processEvents();
        table.viewport()->installEventFilter(&painted);
    }
    // A tick's rows: the sample in grid row `tick - 2`, one empty row after.
    void addTick() {
        ++tick;
        SampleTableModel& m = table.table();
        m.setGridRowCount(tick);
        m.setGridRow(tick - 2, QString("12:00:%1").arg(tick % 60, 2, 10, QChar('0')),
                     QString::number(20 + tick % 9), QString::number(tick % 5));
        settle();
    }
    // The event loop runs until nothing is left for it: a table out of view
    // of its end lays out on a timer, and its scroll bar checks what it draws
    // after that.
    static void settle() {
        for (int turn = 0; turn < 4; ++turn)
            QApplication::processEvents();
    }
    // The table as the screen holds it, against the table drawn afresh.
    void expectScreenIsWhole(const char* when) {
        const QImage shown =
            window.screen()
                ->grabWindow(window.winId(), table.x(), table.y(), table.width(), table.height())
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
        const QImage whole = table.grab().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_TRUE(shown == whole) << when << " at tick " << tick;
    }

    QWidget window;
    SampleTable table{&window};
    PaintedArea painted;
    int tick = 2;
};

TEST_F(GrowingTable, EveryRowReachesTheScreenWithoutRepaintingTheRest) {
    // Rows filling the empty space below the first ones, then the table full
    // and scrolling to keep the newest in view.
    for (int i = 0; i < 30; ++i) {
        addTick();
        if (i % 3 == 0 || i > 10)
            expectScreenIsWhole("following");
    }
    const QScrollBar* bar = table.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 5);
    EXPECT_EQ(bar->value(), bar->maximum());

    // A tick while following paints about the newly exposed row, not every
    // row shown.
    painted.pixels = 0;
    addTick();
    const long viewport = long(table.viewport()->width()) * table.viewport()->height();
    EXPECT_LT(painted.pixels, viewport / 3);

    // Scrolled back: new rows arrive out of sight, the scroll bar shrinks.
    table.scrollToTop();
    for (int i = 0; i < 4; ++i)
        addTick();
    expectScreenIsWhole("scrolled to the top");
    table.scrollToBottom();
    addTick();
    expectScreenIsWhole("back at the end");

    // "новый" empties the table; a new run fills it from the top again.
    table.table().clear();
    tick = 2;
    settle();
    expectScreenIsWhole("cleared");
    for (int i = 0; i < 20; ++i)
        addTick();
    expectScreenIsWhole("refilled");
}

} // namespace
} // namespace thermo
