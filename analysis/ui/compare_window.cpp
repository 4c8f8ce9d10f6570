#include "analysis/ui/compare_window.h"

#include <QBuffer>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "analysis/score_sheet.h"
#include "analysis/ui/score_window.h"
#include "common/scripted_dialogs.h"
#include "export/chart_export.h"
#include "widgets/compare_chart.h"
#include "widgets/locale_sep.h"

namespace thermo {

namespace {

const QColor kBestFill(198, 239, 206);
// A chart saved before the window was ever shown gets this size.
const QSize kUnshownChart(900, 450);

} // namespace

CompareWindow::CompareWindow(UserDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), chart(new CompareChart(this)), table(new QTableWidget(this)),
      alignBox(new QComboBox(this)), stepBox(new QSpinBox(this)), dialogs_(dialogs),
      sep_(decimalSeparator()) {
    setWindowTitle(QString::fromUtf8(kCompareWindowTitle));
    setAttribute(Qt::WA_QuitOnClose, false);
    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        return b;
    };
    chooseButton = button("chooseRuns", QStringLiteral("выбрать архивы…"));
    saveChartButton = button("saveCompareChart", QStringLiteral("сохранить график"));
    saveTableButton = button("saveCompareTable", QStringLiteral("сохранить таблицу"));
    reportButton = button("compareReport", QStringLiteral("отчёт"));
    status = new QLabel(this);
    status->setWordWrap(true);
    alignBox->setObjectName("compareAlign");
    alignBox->addItem(QStringLiteral("от ступеньки задания"));
    alignBox->addItem(QStringLiteral("от начала прогона"));
    stepBox->setObjectName("compareStep");
    stepBox->setRange(1, 99);
    stepBox->setPrefix(QStringLiteral("ступенька № "));

    const auto& names = scoreFieldNames();
    table->setColumnCount(static_cast<int>(names.size()) + 1);
    table->setHorizontalHeaderItem(0, new QTableWidgetItem(QStringLiteral("прогон")));
    for (std::size_t f = 0; f < names.size(); ++f) {
        auto* h = new QTableWidgetItem(scoreHeading(f));
        h->setToolTip(QString::fromUtf8(names[f]));
        table->setHorizontalHeaderItem(static_cast<int>(f) + 1, h);
    }
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->verticalHeader()->setVisible(false);

    connect(chooseButton, &QPushButton::clicked, this, &CompareWindow::chooseRequested);
    connect(saveChartButton, &QPushButton::clicked, this, &CompareWindow::saveChart);
    connect(saveTableButton, &QPushButton::clicked, this, &CompareWindow::saveTable);
    connect(reportButton, &QPushButton::clicked, this, &CompareWindow::reportRequested);
    connect(alignBox, &QComboBox::currentIndexChanged, this, &CompareWindow::refresh);
    connect(stepBox, &QSpinBox::valueChanged, this, &CompareWindow::refresh);

    auto* top = new QHBoxLayout;
    top->addWidget(chooseButton);
    top->addWidget(new QLabel(QStringLiteral("время:"), this));
    top->addWidget(alignBox);
    top->addWidget(stepBox);
    top->addStretch(1);
    top->addWidget(saveChartButton);
    top->addWidget(saveTableButton);
    top->addWidget(reportButton);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(chart);
    split->addWidget(table);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(split, 1);
    layout->addWidget(status);
    chart->setMinimumHeight(260);
    resize(1100, 680);
    showComparison();
}

bool CompareWindow::chooseRuns(const FileDialogRequest& request) {
    const auto paths = dialogs_.openFileNames(request);
    return paths && setRuns(*paths);
}

bool CompareWindow::setRuns(const std::vector<std::string>& paths) {
    if (paths.size() < kMinComparedRuns || paths.size() > kMaxComparedRuns) {
        dialogs_.message(MessageKind::Warning, "", kCompareCountMessage);
        return false;
    }
    std::vector<std::string> read;
    std::vector<std::unique_ptr<ArchiveReader>> archives;
    std::string problems;
    for (const std::string& path : paths) {
        // The reader's messages do not say which file: collected here and
        // told with the file's name.
        ScriptedDialogs quiet;
        auto archive = std::make_unique<ArchiveReader>();
        const bool samples = archive->ReadSampleFile(path, quiet);
        if (samples)
            (void)archive->ReadConfigFile(path, quiet);
        for (const auto& m : quiet.messages)
            problems += QFileInfo(QString::fromStdString(path)).fileName().toStdString() + ": " +
                        m.text + "\n";
        if (samples) {
            read.push_back(path);
            archives.push_back(std::move(archive));
        }
    }
    if (read.size() < kMinComparedRuns) {
        dialogs_.message(MessageKind::Warning, "", problems + kCompareCountMessage);
        return false;
    }
    if (!problems.empty())
        dialogs_.message(MessageKind::Warning, "", problems);
    paths_ = std::move(read);
    archives_ = std::move(archives);
    refresh();
    return true;
}

std::vector<CompareInput> CompareWindow::inputs() const {
    std::vector<CompareInput> out;
    for (std::size_t i = 0; i < paths_.size(); ++i)
        out.push_back({paths_[i], archives_[i].get()});
    return out;
}

CompareAlign CompareWindow::align() const {
    return alignBox->currentIndex() == 1 ? CompareAlign::Start : CompareAlign::Step;
}

std::size_t CompareWindow::stepNumber() const {
    return static_cast<std::size_t>(stepBox->value());
}

void CompareWindow::refresh() {
    comparison_ = compareRuns(inputs(), align(), stepNumber());
    showComparison();
}

void CompareWindow::showComparison() {
    const Comparison& c = comparison_;
    std::vector<QString> names;
    for (const ComparedRun& r : c.runs)
        names.push_back(QString::fromStdString(runName(r, sep_)));
    chart->showComparison(c, names);

    const int columns = table->columnCount();
    table->clearContents();
    table->clearSpans();
    table->setRowCount(static_cast<int>(c.runs.size()));
    for (std::size_t i = 0; i < c.runs.size(); ++i) {
        const ComparedRun& r = c.runs[i];
        const int row = static_cast<int>(i);
        auto* name = new QTableWidgetItem(names[i]);
        name->setForeground(CompareChart::runColour(i));
        name->setToolTip(QString::fromStdString(r.path));
        QFont bold = name->font();
        bold.setBold(true);
        name->setFont(bold);
        table->setItem(row, 0, name);
        if (!r.step) {
            table->setSpan(row, 1, 1, columns - 1);
            table->setItem(row, 1, new QTableWidgetItem(QString::fromUtf8(kNoStepText)));
            continue;
        }
        for (int col = 1; col < columns; ++col) {
            const auto f = static_cast<std::size_t>(col - 1);
            auto* item =
                new QTableWidgetItem(QString::fromStdString(scoreCellText(*r.step, f, sep_)));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (r.isBest(f)) {
                item->setFont(bold);
                item->setBackground(kBestFill);
                item->setToolTip(QStringLiteral("лучшее значение"));
            }
            table->setItem(row, col, item);
        }
    }
    table->resizeColumnsToContents();
    const bool any = !c.runs.empty();
    saveChartButton->setEnabled(any);
    saveTableButton->setEnabled(any);
    reportButton->setEnabled(any);
    status->setText(any ? QStringLiteral("прогонов: %1; сплошная линия — температура, штриховая "
                                         "того же цвета — задание; лучшее значение показателя "
                                         "выделено")
                              .arg(c.runs.size())
                        : QStringLiteral("выберите от 2 до 6 архивов"));
}

void CompareWindow::saveChart() {
    const auto path = dialogs_.saveFileNameAgain(
        "сохранить график", "рисунок PNG|*.png|метафайл WMF|*.wmf", "png", lastChart_);
    if (!path)
        return;
    if (!chart->isVisible())
        chart->resize(kUnshownChart);
    if (QFileInfo(QString::fromStdString(*path)).suffix().compare("wmf", Qt::CaseInsensitive) ==
        0) {
        (void)saveChartAsWmf(*chart, *path, dialogs_);
        return;
    }
    chart->setViewport(chart->rect());
    chart->replot();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    chart->toPixmap(chart->width(), chart->height()).save(&buffer, "PNG");
    (void)saveFileWhole(*path, std::string_view(png.constData(), png.size()), dialogs_);
}

void CompareWindow::saveTable() {
    const auto path =
        dialogs_.saveFileNameAgain("сохранить таблицу", "файлы .csv|*.csv", "csv", lastTable_);
    if (!path)
        return;
    (void)saveFileWhole(*path, comparisonCsv(comparison_), dialogs_);
}

} // namespace thermo
