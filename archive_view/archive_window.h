#pragma once
// The archive window F_Arhiv, "Архив": opens a recorded archive, charts and
// tabulates the run, and for the sample picked in the table or on the chart
// shows the configuration then in force and both regulators recomputed by
// the replay. Created once at start-up and hidden; "выход" only hides it, so
// it keeps its contents between showings.

#include <QMainWindow>
#include <array>
#include <cstddef>
#include <memory>
#include <string>

#include "common/dialogs.h"
#include "export/chart_export.h"
#include "storage/reader.h"
#include "widgets/regulator_panels.h"

class QAction;
class QLabel;
class QLineEdit;
class QPrinter;
class QWidget;

namespace thermo {

class ArchiveTableModel;
class CursorChart;
class HeaterLamp;
class MyExcel;
class ProgressDisplay;
class SampleTable;
struct ReplayView;
struct ReplaySwitches;

struct ArchiveWindowServices {
    ArchiveReader& archive; // the program's one archive in memory
    UserDialogs& dialogs;
};

inline constexpr const char* kArchiveFilter = "файлы .txt|*.txt";
inline constexpr const char* kArchiveFolder = "Data";

class TF_Arhiv : public QMainWindow, public RegulatorPanels {
    Q_OBJECT
public:
    explicit TF_Arhiv(ArchiveWindowServices services, QWidget* parent = nullptr);
    ~TF_Arhiv() override;

    // "открыть": the dialog, then the archive chosen (or, on cancel, the one
    // chosen last) read again, charted and tabulated. Cancelled before any
    // archive was chosen, it does nothing.
    void N2Click();
    // The archive at `path` read, charted and tabulated, as "открыть" does
    // once a file is chosen.
    void OpenArchive(const std::string& path);
    void N3Click(); // схема: schemeRequested, the program's one scheme window
    void N4Click(); // выход: hidden, contents kept

    // Chart and table from the archive in memory.
    void FillArchiveView();
    // Configuration k (1 .. ConfigCount) with sample s (1 .. SampleCount),
    // then the replay. Positions outside the archive show nothing.
    void ShowConfig(std::size_t k, std::size_t s);
    // The configuration in force for sample s, with it; nothing when none.
    void SelectSample(std::size_t s);
    // Samples first .. last selected in the table as a range, the cursor on
    // first (the step experiment's span shown when it ends).
    void SelectSpan(std::size_t first, std::size_t last);
    // Both regulators recomputed for configuration k and sample s from the
    // window's check boxes.
    void ShowReplay(std::size_t k, std::size_t s);
    void ShowHeaterLamp(bool on);
    void ClearOutputTermMarks();
    void MarkOutputTerm(int n);

    // The table's current cell moved to (column, grid row).
    void StringGrid1SelectCell(int column, int row);
    // A mouse button released at (x, y) of Chart3.
    void Chart3MouseUp(QPoint pos);

    // "сохранить в *.WMF", "сохранить в *.mdi", "Exel".
    void WMF1Click();
    void mdi1Click();
    void Exel1Click();
    // The program's spreadsheet automation and progress window, which exist
    // only after this window; "Exel" is disabled until they are given.
    void setSpreadsheetExport(MyExcel& excel, ProgressDisplay& progress);

    [[nodiscard]] const std::string& OpenedArchiveName() const { return OpenedArchiveName_; }
    [[nodiscard]] std::size_t SelectedSample() const { return SelectedSample_; }
    [[nodiscard]] ArchiveTableModel& tableModel() { return *tableModel_; }
    // The grid row of the table's current cell, or 0 when none.
    [[nodiscard]] int currentRow() const;

    // Controls, by their names, for tests and the exports; the regulators'
    // own, shared with the main window, are RegulatorPanels'. Their rule
    // cells MaskEdit1 ... MaskEdit9 are read-only here.
    QWidget *Regul_1, *Regul_2, *P_Fuzzy, *P_Pid;
    std::array<QLineEdit*, 9> outputTerms{}; // MaskEdit10 ... MaskEdit18
    QLineEdit* Ed_Zadan;
    QLabel *Ind_Temper, *Ind_OUT_Regul, *Ind_Oshibka;
    HeaterLamp* pbUfo;
    CursorChart* Chart3;
    SampleTable* StringGrid1;
    QAction *N2, *N3, *N4, *WMF1, *mdi1, *Exel1;

signals:
    void schemeRequested();
    // An archive was read into memory (the analysis windows follow it).
    void archiveOpened();
    // Sample s was selected in the table or on the chart.
    void sampleSelected(std::size_t s);
    // The table's selection covers the positions first .. last (first < last).
    void spanSelected(std::size_t first, std::size_t last);

private:
    void buildMenu();
    void buildRegulator1(QWidget* band);
    void buildMeasurements(QWidget* band);
    void buildRegulator2(QWidget* band);
    void buildControl(QWidget* band);
    void buildTrendArea(QWidget* central);
    [[nodiscard]] ReplaySwitches checkedSwitches() const;
    void presentReplay(const ReplayView& v, const TConfigRecord& record);
    [[nodiscard]] QString fixed(double v, const char* pattern) const;
    [[nodiscard]] QString general(double v) const;

    ArchiveWindowServices s_;
    char sep_;
    std::string OpenedArchiveName_;
    std::size_t SelectedSample_ = 0;
    ArchiveTableModel* tableModel_;
    MetafileDialog metafileDialog_;
    std::unique_ptr<QPrinter> printer_;
    MyExcel* excel_ = nullptr;
    ProgressDisplay* progress_ = nullptr;
    TControlParams ruleCells_; // what the read-only rule cells show
};

} // namespace thermo
