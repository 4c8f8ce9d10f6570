#include "archive_view/archive_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPrinter>
#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/replay.h"
#include "archive_view/archive_table.h"
#include "archive_view/sample_pick.h"
#include "common/numfmt.h"
#include "export/excel_export.h"
#include "widgets/cursor_chart.h"
#include "widgets/fuzzy_panel.h"
#include "widgets/indicators.h"
#include "widgets/locale_sep.h"
#include "widgets/membership_chart.h"
#include "widgets/rule_grid.h"
#include "widgets/sample_table.h"

namespace thermo {

namespace {

const QColor kMarkedTerm(0, 128, 0);

// The archive shows recorded values; nothing typed here would go anywhere.
QLineEdit* shownNumber(QWidget* parent, const QString& name, const QRect& g) {
    QLineEdit* e = makeNumberEdit(parent, name, g);
    e->setReadOnly(true);
    return e;
}

void setBase(QLineEdit* e, const QColor& c) {
    QPalette pal = e->palette();
    pal.setColor(QPalette::Base, c);
    e->setPalette(pal);
}

} // namespace

TF_Arhiv::TF_Arhiv(ArchiveWindowServices services, QWidget* parent)
    : QMainWindow(parent), s_(services), sep_(decimalSeparator()),
      tableModel_(new ArchiveTableModel(sep_, this)) {
    setObjectName("F_Arhiv");
    setWindowTitle(QStringLiteral("Архив"));
    // The program ends with its main window, whether or not this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(1030, 764);
    useLayoutFont(this);

    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* band = new QWidget(central);
    band->setGeometry(0, 0, 1030, 377);
    buildMenu();
    buildRegulator1(band);
    buildMeasurements(band);
    buildRegulator2(band);
    buildControl(band);
    buildTrendArea(central);
}

TF_Arhiv::~TF_Arhiv() = default;

void TF_Arhiv::buildMenu() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("Файл"));
    N2 = file->addAction(QStringLiteral("открыть"), this, &TF_Arhiv::N2Click);
    N3 = file->addAction(QStringLiteral("схема"), this, &TF_Arhiv::N3Click);
    N4 = file->addAction(QStringLiteral("выход"), this, &TF_Arhiv::N4Click);
    QMenu* save = menuBar()->addMenu(QStringLiteral("сохранить"));
    WMF1 = save->addAction(QStringLiteral("сохранить в *.WMF"), this, &TF_Arhiv::WMF1Click);
    mdi1 = save->addAction(QStringLiteral("сохранить в *.mdi"), this, &TF_Arhiv::mdi1Click);
    Exel1 = save->addAction(QStringLiteral("Exel"), this, &TF_Arhiv::Exel1Click);
    Exel1->setEnabled(false);
    for (auto [a, n] : {std::pair{N2, "N2"},
                        {N3, "N3"},
                        {N4, "N4"},
                        {WMF1, "WMF1"},
                        {mdi1, "mdi1"},
                        {Exel1, "Exel1"}})
        a->setObjectName(n);
}

void TF_Arhiv::buildRegulator1(QWidget* band) {
    Regul_1 = buildRegulator1Box(band);
    // P_Fuzzy holds every display of Regulator 1, so a record with the
    // regulator off hides them together.
    P_Fuzzy = new QWidget(Regul_1);
    P_Fuzzy->setObjectName("P_Fuzzy");
    P_Fuzzy->setGeometry(0, 14, 593, 306);

    // The main window's displays, the rule grid over a copy of the record's
    // rule base: shown, never stored.
    buildFuzzy(P_Fuzzy, QPoint(4, 0), ruleCells_, s_.dialogs);
    ruleGrid->okButton()->hide();
    for (int k = 1; k <= 9; ++k) {
        ruleGrid->cell(k)->setReadOnly(true);
        // A damaged record's entry above 9 is shown whole, not cut to a digit.
        ruleGrid->cell(k)->setMaxLength(3);
        ruleGrid->cell(k)->clear(); // empty until a sample is selected
    }
    buildRegulator1Terms(P_Fuzzy, QRect(4, 198, 334, 106), PanelUse::Shown);
    QGroupBox* terms = makeBox(P_Fuzzy, QStringLiteral("выходные термы ( ШИМ  0 - 100%)"),
                               QRect(342, 198, 247, 106));
    for (int n = 1; n <= 9; ++n) {
        const int row = (n - 1) / 3;
        const int col = (n - 1) % 3;
        QLineEdit* e = new QLineEdit(terms);
        e->setObjectName(QStringLiteral("MaskEdit%1").arg(9 + n));
        e->setGeometry(24 + 76 * col, 20 + 28 * row, 48, 24);
        e->setReadOnly(true);
        e->setAlignment(Qt::AlignCenter);
        outputTerms[static_cast<size_t>(n - 1)] = e;
    }

    buildTimerBox(Regul_1, QRect(408, 322, 181, 50), 18, QStringLiteral("сек."), 30);
}

void TF_Arhiv::buildMeasurements(QWidget* band) {
    QGroupBox* m = makeBox(band, QStringLiteral("Текущие измерения"), QRect(593, 0, 292, 110));
    makeIndicatorRows(m,
                      {{" температура-      ", &Ind_Temper, "Ind_Temper", "°C"},
                       {" выход с рег.-      ", &Ind_OUT_Regul, "Ind_OUT_Regul", "%"},
                       {" ошибка-", &Ind_Oshibka, "Ind_Oshibka", "°C"}},
                      QStringLiteral("00.00"));
}

void TF_Arhiv::buildRegulator2(QWidget* band) {
    const Regulator2Boxes boxes = RegulatorPanels::buildRegulator2(band, PanelUse::Shown);
    Regul_2 = boxes.Regul_2;
    P_Pid = boxes.P_Pid;
}

void TF_Arhiv::buildControl(QWidget* band) {
    QGroupBox* control = makeBox(band, QStringLiteral("Управление"), QRect(885, 0, 145, 377));
    QGroupBox* set = makeBox(control, QStringLiteral("задание"), QRect(4, 14, 137, 48));
    Ed_Zadan = shownNumber(set, "Ed_Zadan", QRect(6, 18, 84, 24));
    makeLabel(set, QStringLiteral("°C"), QRect(96, 20, 20, 20));

    StringGrid1 = new SampleTable(control);
    StringGrid1->setGeometry(4, 64, 137, 309);
    StringGrid1->setModel(tableModel_);
    // A new model gives the header new sections of the default width.
    StringGrid1->setColumnWidth(0, 46);
    StringGrid1->setColumnWidth(1, 32);
    StringGrid1->setColumnWidth(2, 31);
    connect(StringGrid1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    StringGrid1SelectCell(current.column(), current.row() + 1);
            });
    connect(StringGrid1->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList rows = StringGrid1->selectionModel()->selectedIndexes();
        if (rows.isEmpty())
            return;
        int lo = rows.front().row(), hi = lo;
        for (const QModelIndex& i : rows) {
            lo = std::min(lo, i.row());
            hi = std::max(hi, i.row());
        }
        // Grid row r, model row r - 1, is position r.
        if (hi > lo)
            emit spanSelected(static_cast<std::size_t>(lo + 1), static_cast<std::size_t>(hi + 1));
    });
}

void TF_Arhiv::buildTrendArea(QWidget* central) {
    Chart3 = new CursorChart(central);
    Chart3->setGeometry(0, 377, 1030, 764 - 377 - menuBar()->sizeHint().height());
    fillBelow(Chart3, 377); // the rest of the window, whatever its size
    connect(Chart3, &CursorChart::released, this, &TF_Arhiv::Chart3MouseUp);

    buildOutputBoxes(Chart3, QRect(4, 70, 121, 72), 76, QPoint(6, 46));

    QGroupBox* heat = makeBox(Chart3, QString(), QRect(4, 222, 121, 44));
    pbUfo = new HeaterLamp(heat, QRect(5, 5, 22, 22));
    pbUfo->setObjectName("pbUfo");
    pbUfo->setGeometry(6, 6, 32, 32);
    makeLabel(heat, QStringLiteral("нагрев"), QRect(44, 12, 60, 20));
}

QString TF_Arhiv::fixed(double v, const char* pattern) const {
    return QString::fromStdString(formatFixed(v, pattern, sep_));
}

QString TF_Arhiv::general(double v) const {
    return QString::fromStdString(formatGeneral(v, sep_));
}

int TF_Arhiv::currentRow() const {
    const QModelIndex i = StringGrid1->currentIndex();
    return i.isValid() ? i.row() + 1 : 0;
}

void TF_Arhiv::N2Click() {
    FileDialogRequest request;
    request.filter = kArchiveFilter;
    request.initialDir = kArchiveFolder;
    request.initialName = OpenedArchiveName_;
    if (auto chosen = s_.dialogs.openFileName(request))
        OpenedArchiveName_ = *chosen;
    // Cancelled before any archive was chosen: there is nothing to read
    // again, and an error about a nameless file would only puzzle.
    if (OpenedArchiveName_.empty())
        return;
    OpenArchive(OpenedArchiveName_);
}

void TF_Arhiv::OpenArchive(const std::string& path) {
    OpenedArchiveName_ = path;
    ArchiveReader& a = s_.archive;
    a.ReadSampleFile(OpenedArchiveName_, s_.dialogs);
    a.ReadConfigFile(OpenedArchiveName_, s_.dialogs);
    FillArchiveView();
    ShowReplay(1, 2);
    emit archiveOpened();
}

void TF_Arhiv::N3Click() {
    emit schemeRequested();
}

void TF_Arhiv::N4Click() {
    hide();
}

void TF_Arhiv::FillArchiveView() {
    const ArchiveReader& a = s_.archive;
    const std::size_t n = a.SampleCount;
    if (n < 2) {
        Chart3->clearSeries();
        tableModel_->setRows({});
        return;
    }
    std::vector<ArchiveTableModel::Row> rows(n + 1);
    std::vector<double> x, temper, zadan, time;
    x.reserve(n);
    temper.reserve(n);
    zadan.reserve(n);
    time.reserve(n);
    bool anySetpoint = false;
    for (std::size_t r = 2; r <= n; ++r) {
        const TArchiveRecord& s = a.Samples[r];
        ArchiveTableModel::Row& row = rows[r];
        row.time = s.Vremya;
        row.temper = s.Temper;
        row.error = std::numeric_limits<double>::quiet_NaN();
        double z = std::numeric_limits<double>::quiet_NaN();
        if (const auto k = a.configForPosition(r)) {
            z = a.Configs[*k].Zadan;
            row.error = z - s.Temper;
            anySetpoint = true;
        }
        x.push_back(static_cast<double>(r));
        temper.push_back(s.Temper);
        zadan.push_back(z);
        time.push_back(s.Vremya);
    }
    // NaN keys break the setpoint line where no record holds, and an archive
    // without records gets no setpoint line at all.
    Chart3->setPoints(x, temper, zadan, time);
    if (!anySetpoint) {
        Chart3->setpointSeries()->data()->clear();
        Chart3->replot(QCustomPlot::rpQueuedReplot);
    }
    tableModel_->setRows(std::move(rows));
}

ReplaySwitches TF_Arhiv::checkedSwitches() const {
    ReplaySwitches b;
    b.integ_1 = Check_Reg1_Integ->isChecked();
    b.diff_1 = Check_Reg1_Diff->isChecked();
    b.prop_2 = Check_Reg2_Prop->isChecked();
    b.integ_2 = Check_Reg2_Integ->isChecked();
    b.diff_2 = Check_Reg2_Diff->isChecked();
    return b;
}

void TF_Arhiv::ShowReplay(std::size_t k, std::size_t s) {
    const ArchiveReader& a = s_.archive;
    // Opening an archive of one sample or without configuration records
    // has nothing to replay; older records beyond the counts are not this
    // archive's.
    if (k < 1 || k > a.ConfigCount || s < 1 || s > a.SampleCount)
        return;
    presentReplay(thermo::ShowReplay(a, k, s, checkedSwitches()), a.Configs[k]);
}

void TF_Arhiv::presentReplay(const ReplayView& v, const TConfigRecord& record) {
    P_Fuzzy->setVisible(v.fuzzyShown);
    if (v.fuzzy) {
        const TFuzzyStep& f = v.fuzzy->step;
        showTermIndicators(f.addonIndicators, Ind_Reg1_Prop, Ind_Reg1_Integ, Ind_Reg1_Diff, sep_);
        showStep(f, record.params, sep_);
    }
    P_Pid->setVisible(v.pidShown);
    if (v.pid)
        showTermIndicators(v.pid->indicators, Ind_Reg2_Prop, Ind_Reg2_Integ, Ind_Reg2_Diff, sep_);
    Ind_OUT_Regul1->setText(fixed(v.R1, "0.00"));
    Ind_OUT_Regul2->setText(fixed(v.R2, "0.00"));
    Ind_OUT_Regul->setText(fixed(v.total, "0.00"));
}

void TF_Arhiv::ShowConfig(std::size_t k, std::size_t s) {
    const ArchiveReader& a = s_.archive;
    if (k < 1 || k > a.ConfigCount || s < 1 || s > a.SampleCount)
        return;
    const TConfigRecord& c = a.Configs[k];
    const TArchiveRecord& S = a.Samples[s];
    const TControlParams& p = c.params;

    Ind_Temper->setText(fixed(S.Temper, "0.##"));
    Ind_Oshibka->setText(fixed(c.Zadan - S.Temper, "0.##"));
    ind_taimer->setText(fixed(c.Interval / 1000.0, "0.##"));

    Ed_Reg1_Prop->setText(general(p.C0_1));
    Ed_Reg1_Integ->setText(general(p.C1_1));
    Ed_Reg1_Diff->setText(general(p.C2_1));
    Ed_Reg2_Prop->setText(general(p.C0_2));
    Ed_Reg2_Integ->setText(general(p.C1_2));
    Ed_Reg2_Diff->setText(general(p.C2_2));
    Ed_Zadan->setText(general(c.Zadan));

    ruleCells_.m = p.m;
    ruleGrid->fill();
    ShowHeaterLamp(c.Nagrev);

    Check_Reg1_Prop->setChecked(p.prop_1);
    Check_Reg1_Integ->setChecked(p.integ_1);
    Check_Reg1_Diff->setChecked(p.diff_1);
    Check_Reg2_Prop->setChecked(p.prop_2);
    Check_Reg2_Integ->setChecked(p.integ_2);
    Check_Reg2_Diff->setChecked(p.diff_2);
    Check_Fuzzy->setChecked(c.Fuzzy_on);
    Check_PID->setChecked(c.PID_on);

    for (std::size_t n = 0; n < outputTerms.size(); ++n)
        outputTerms[n]->setText(QString::number(p.vih[n]));
    ClearOutputTermMarks();
    for (std::uint8_t term : p.m)
        MarkOutputTerm(term);

    ShowReplay(k, s);
}

void TF_Arhiv::SelectSample(std::size_t s) {
    if (const auto k = s_.archive.configForPosition(s))
        ShowConfig(*k, s);
    emit sampleSelected(s);
}

void TF_Arhiv::SelectSpan(std::size_t first, std::size_t last) {
    const int rows = tableModel_->rowCount();
    if (first < 1 || last < first || static_cast<int>(last) > rows)
        return;
    StringGrid1->setCurrentIndex(tableModel_->index(static_cast<int>(first) - 1, 1));
    const QItemSelection range(tableModel_->index(static_cast<int>(first) - 1, 0),
                               tableModel_->index(static_cast<int>(last) - 1, 2));
    StringGrid1->selectionModel()->select(range, QItemSelectionModel::ClearAndSelect);
}

void TF_Arhiv::ShowHeaterLamp(bool on) {
    pbUfo->draw(on);
}

void TF_Arhiv::ClearOutputTermMarks() {
    const QColor window = QApplication::palette().color(QPalette::Base);
    for (QLineEdit* e : outputTerms)
        setBase(e, window);
}

void TF_Arhiv::MarkOutputTerm(int n) {
    if (n >= 1 && n <= 9)
        setBase(outputTerms[static_cast<size_t>(n - 1)], kMarkedTerm);
}

void TF_Arhiv::StringGrid1SelectCell(int column, int row) {
    if (column != 1 && column != 2)
        return;
    SelectedSample_ = static_cast<std::size_t>(row);
    SelectSample(SelectedSample_);
    Chart3->eraseCursor();

    QCPAxis* x = Chart3->xAxis;
    const int pos = static_cast<int>(std::lround(x->coordToPixel(row)));
    const double w = x->range().size();
    const QRect area = Chart3->plotArea();
    if (pos <= area.left()) {
        const double min = row - w / 2;
        x->setRange(min, min + w);
    }
    if (pos >= area.right()) {
        const double max = row + w / 2;
        x->setRange(max - w, max);
    }
    if (pos <= area.left() || pos >= area.right())
        Chart3->replot(QCustomPlot::rpQueuedReplot);
    if (pos >= area.left() && pos <= area.right())
        Chart3->drawCursor(pos - 1);
}

void TF_Arhiv::Chart3MouseUp(QPoint p) {
    Chart3->eraseCursor();
    if (!Chart3->plotArea().contains(p))
        return;
    Chart3->drawCursor(p.x());
    const auto index = clickedSample(Chart3->temperatureSeries()->keyAxis()->pixelToCoord(p.x()),
                                     s_.archive.SampleCount);
    if (!index)
        return;
    const int row = static_cast<int>(*index);
    if (row - 1 < tableModel_->rowCount())
        StringGrid1->setCurrentIndex(tableModel_->index(row - 1, 1));
    SelectSample(*index);
}

void TF_Arhiv::WMF1Click() {
    saveChartToMetafile(*Chart3, metafileDialog_, s_.dialogs);
}

void TF_Arhiv::mdi1Click() {
    // One printer for the window's life, so the page setup stays as the
    // previous printout left it, as the system printer does.
    if (!printer_)
        printer_ = std::make_unique<QPrinter>();
    printChartLandscape(*Chart3, *printer_, s_.dialogs);
}

void TF_Arhiv::setSpreadsheetExport(MyExcel& excel, ProgressDisplay& progress) {
    excel_ = &excel;
    progress_ = &progress;
    Exel1->setEnabled(true);
}

void TF_Arhiv::Exel1Click() {
    if (!excel_ || !progress_)
        return;
    const ArchiveReader& a = s_.archive;
    const std::vector<ExportRow> rows = exportRows(a.Samples);
    ExportToExcel(rows, a.SampleCount, *excel_, *progress_, s_.dialogs);
}

} // namespace thermo
