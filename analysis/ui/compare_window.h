#pragma once
// "сравнение прогонов": 2 to 6 archives side by side. The overlay chart
// draws every run's temperature and setpoint on one time axis, from each
// run's start or from its step; the table gives each run's name and the
// scorecard of its step (the first, or the one chosen), the best value of
// each figure in bold on green, and "нет ступеньки задания" for a run
// without one. The chart saves as a metafile or a PNG picture, the table as
// CSV (the scorecard's columns and the run's name); "отчёт" asks for the
// lab report of these runs. The logic is analysis/compare.h.

#include <memory>
#include <string>
#include <vector>

#include <QWidget>

#include "analysis/compare.h"
#include "common/dialogs.h"
#include "storage/reader.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace thermo {

class CompareChart;

inline constexpr const char* kCompareWindowTitle = "сравнение прогонов";
inline constexpr const char* kCompareCountMessage = "Для сравнения выберите от 2 до 6 архивов.";
inline constexpr const char* kNoStepText = "нет ступеньки задания";

class CompareWindow : public QWidget {
    Q_OBJECT
public:
    explicit CompareWindow(UserDialogs& dialogs, QWidget* parent = nullptr);

    // The archives chosen in one dialog (the request's initialName, the run
    // being recorded or the archive open, preselected), then compared.
    // False when cancelled or refused.
    bool chooseRuns(const FileDialogRequest& request);
    // The archives read and compared. An archive that cannot be read is
    // told and left out; fewer than 2 left, or more than 6 given, is told
    // and changes nothing. False then.
    bool setRuns(const std::vector<std::string>& paths);
    // The comparison again with the alignment and step now chosen.
    void refresh();

    // "сохранить график": a metafile (.wmf) or a PNG picture, by the name.
    void saveChart();
    // "сохранить таблицу": comparisonCsv through the save dialog.
    void saveTable();

    [[nodiscard]] const Comparison& comparison() const { return comparison_; }
    // The runs compared, for the report.
    [[nodiscard]] std::vector<CompareInput> inputs() const;
    [[nodiscard]] CompareAlign align() const;
    [[nodiscard]] std::size_t stepNumber() const;

    CompareChart* chart;
    QTableWidget* table;
    QComboBox* alignBox;
    QSpinBox* stepBox;
    QPushButton *chooseButton, *saveChartButton, *saveTableButton, *reportButton;
    QLabel* status;

signals:
    // "выбрать архивы…": the owner knows which archive to offer.
    void chooseRequested();
    // "отчёт" for the runs compared.
    void reportRequested();

private:
    void showComparison();

    UserDialogs& dialogs_;
    char sep_;
    std::vector<std::string> paths_;
    std::vector<std::unique_ptr<ArchiveReader>> archives_;
    Comparison comparison_;
    std::string lastChart_, lastTable_;
};

} // namespace thermo
