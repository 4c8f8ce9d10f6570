#pragma once
// "оценка переходного процесса": the run scorecard of an archive or of the
// current run as a table, one row per segment, numbers "0.##" with the
// locale's separator. Selecting a row draws on the run's trend chart the
// segment's band r +- band and marks its 10 % and 90 % crossings, its peak
// and its settling point; "сохранить" writes the table as CSV for a
// spreadsheet in the user's locale (scorecardSheetCsv). The marks go when
// the window is hidden.

#include <vector>

#include <QWidget>

#include "analysis/scorecard.h"
#include "common/dialogs.h"

class QCPAbstractItem;
class QCPGraph;
class QLabel;
class QPushButton;
class QTableWidget;

namespace thermo {

class TrendChart;

inline constexpr const char* kScoreWindowTitle = "оценка переходного процесса";

// The column heading of scorecard field f (an index into scoreFieldNames),
// as the table shows it: "перерегулирование, %".
[[nodiscard]] QString scoreHeading(std::size_t field);

class ScoreWindow : public QWidget {
    Q_OBJECT
public:
    // chartOffset: the chart draws sample position p at x = p + chartOffset.
    ScoreWindow(TrendChart& chart, int chartOffset, UserDialogs& dialogs,
                QWidget* parent = nullptr);
    ~ScoreWindow() override;

    // Fills the table; the chart's marks of an earlier table go.
    void showScores(std::vector<SegmentScore> segments);
    [[nodiscard]] const std::vector<SegmentScore>& scores() const { return segments_; }

    // The segment of a table row drawn on the chart; -1 takes the marks away.
    void selectRow(int row);
    // "сохранить": the table as the locale's spreadsheet reads CSV, through
    // the save dialog.
    void saveCsv();

    [[nodiscard]] QTableWidget* table() const { return table_; }
    [[nodiscard]] QPushButton* saveButton() const { return save_; }
    [[nodiscard]] QLabel* status() const { return status_; }
    // The band and the marks now on the chart (none while nothing is selected).
    [[nodiscard]] QCPGraph* marks() const { return marks_; }
    [[nodiscard]] const std::vector<QCPAbstractItem*>& items() const { return items_; }

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void clearMarks();

    TrendChart& chart_;
    int offset_;
    UserDialogs& dialogs_;
    char sep_;
    QTableWidget* table_;
    QPushButton* save_;
    QLabel* status_;
    std::vector<SegmentScore> segments_;
    QCPGraph* marks_ = nullptr;
    std::vector<QCPAbstractItem*> items_;
    std::string lastFile_;
};

} // namespace thermo
