#include "analysis/ui/score_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/compare.h"
#include "analysis/score_sheet.h"
#include "export/chart_export.h"
#include "widgets/locale_sep.h"
#include "widgets/score_marks.h"
#include "widgets/trend_chart.h"

namespace thermo {

namespace {

// Column headings in the order of scoreFieldNames(), whose names the
// headings' tool tips and the saved CSV carry.
const char* const kHeadings[] = {"с отсчёта",
                                 "по отсчёт",
                                 "задание, °C",
                                 "начало, °C",
                                 "скачок, °C",
                                 "длительность, с",
                                 "нарастание, с",
                                 "перерегулирование, %",
                                 "пик, °C",
                                 "пик, с",
                                 "зона, ±°C",
                                 "установление, с",
                                 "стат. ошибка, °C",
                                 "IAE",
                                 "ISE",
                                 "ITAE"};

// What a heading's tool tip says below the field's name: how the figure is
// counted, where that is not plain from the heading.
QString headingNote(std::size_t column) {
    const QString sampled = QStringLiteral("время отсчёта, без интерполяции между отсчётами");
    const QString rightSum = QStringLiteral(
        "сумма по правым концам: каждый интервал Δt между соседними отсчётами берётся с ошибкой "
        "отсчёта, которым он кончается (ошибка первого отсчёта участка не входит)");
    switch (column) {
    case 0:
        return QStringLiteral("первый отсчёт, на котором уже действовало задание участка");
    case 6:
        return QStringLiteral("от первого отсчёта, достигшего 10 % скачка, до первого, достигшего "
                              "90 %: целое число интервалов между отсчётами, без интерполяции");
    case 9:
    case 11:
        return sampled;
    case 13:
        return QStringLiteral("Σ |e| Δt, ") + rightSum;
    case 14:
        return QStringLiteral("Σ e² Δt, ") + rightSum;
    case 15:
        return QStringLiteral("Σ t |e| Δt, ") + rightSum;
    default:
        return {};
    }
}

} // namespace

QString scoreHeading(std::size_t field) {
    return field < std::size(kHeadings) ? QString::fromUtf8(kHeadings[field]) : QString();
}

ScoreWindow::ScoreWindow(TrendChart& chart, int chartOffset, UserDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), chart_(chart), offset_(chartOffset), dialogs_(dialogs),
      sep_(decimalSeparator()), table_(new QTableWidget(this)),
      save_(new QPushButton(QStringLiteral("сохранить"), this)), status_(new QLabel(this)) {
    setWindowTitle(QString::fromUtf8(kScoreWindowTitle));
    setAttribute(Qt::WA_QuitOnClose, false);
    const auto& names = scoreFieldNames();
    table_->setColumnCount(static_cast<int>(names.size()));
    for (int c = 0; c < table_->columnCount(); ++c) {
        auto* h = new QTableWidgetItem(scoreHeading(static_cast<std::size_t>(c)));
        const QString note = headingNote(static_cast<std::size_t>(c));
        h->setToolTip(QString::fromUtf8(names[static_cast<std::size_t>(c)]) +
                      (note.isEmpty() ? QString() : QStringLiteral("\n") + note));
        table_->setHorizontalHeaderItem(c, h);
    }
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->setVisible(false);
    connect(table_, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { selectRow(row); });
    save_->setObjectName("saveScores");
    connect(save_, &QPushButton::clicked, this, &ScoreWindow::saveCsv);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    bottom->addWidget(save_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_, 1);
    layout->addLayout(bottom);
    resize(1000, 260);
}

ScoreWindow::~ScoreWindow() {
    clearMarks();
}

void ScoreWindow::showScores(std::vector<SegmentScore> segments) {
    clearMarks();
    chart_.replot(QCustomPlot::rpQueuedReplot);
    segments_ = std::move(segments);
    const QSignalBlocker quiet(table_); // rows are filled, not chosen
    table_->clearContents();
    table_->setRowCount(static_cast<int>(segments_.size()));
    for (std::size_t r = 0; r < segments_.size(); ++r) {
        for (std::size_t f = 0; f < scoreFieldNames().size(); ++f) {
            auto* item =
                new QTableWidgetItem(QString::fromStdString(scoreCellText(segments_[r], f, sep_)));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(static_cast<int>(r), static_cast<int>(f), item);
        }
    }
    table_->resizeColumnsToContents();
    // Wide enough for every column, with room for a vertical scroll bar: at
    // 1000 pixels ISE and ITAE hid behind the horizontal one. A window the
    // user made wider stays so.
    int columns = 2 * table_->frameWidth() + table_->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < table_->columnCount(); ++c)
        columns += table_->columnWidth(c);
    const QMargins margins = layout()->contentsMargins();
    resize(std::max(width(), columns + margins.left() + margins.right()), height());
    table_->setCurrentCell(-1, -1);
    status_->setText(segments_.empty()
                         ? QStringLiteral("нет отсчётов с заданием: оценивать нечего")
                         : QStringLiteral("участков с постоянным заданием: %1; строка "
                                          "показывает участок на графике")
                               .arg(segments_.size()));
    save_->setEnabled(!segments_.empty());
}

void ScoreWindow::clearMarks() {
    ScoreMarks drawn{marks_, std::move(items_)};
    removeScoreMarks(chart_, drawn);
    items_.clear();
    marks_ = nullptr;
}

void ScoreWindow::selectRow(int row) {
    clearMarks();
    if (row >= 0 && row < static_cast<int>(segments_.size())) {
        ScoreMarks drawn =
            drawScoreMarks(chart_, segments_[static_cast<std::size_t>(row)], offset_);
        marks_ = drawn.rings;
        items_ = std::move(drawn.items);
    }
    chart_.replot(QCustomPlot::rpQueuedReplot);
}

void ScoreWindow::saveCsv() {
    const auto path = dialogs_.saveFileNameAgain("сохранить", "файлы .csv|*.csv", "csv", lastFile_);
    if (!path)
        return;
    // For the student's spreadsheet, in the locale it opens files in: the
    // figures as the table shows them, not to the last binary digit.
    (void)saveFileWhole(*path, scorecardSheetCsv(segments_, sep_), dialogs_);
}

void ScoreWindow::hideEvent(QHideEvent* event) {
    clearMarks();
    chart_.replot(QCustomPlot::rpQueuedReplot);
    QWidget::hideEvent(event);
}

} // namespace thermo
