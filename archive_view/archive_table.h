#pragma once
// The archive window's table StringGrid1 as a model over the opened archive:
// grid row r (model row r - 1) is sample position r, row 1 stays empty
// because the first sample is never shown. The texts are formatted when the
// view asks for them, so opening 65000 samples costs three doubles a row
// and only the visible rows are ever formatted.

#include <QAbstractTableModel>
#include <vector>

namespace thermo {

class ArchiveTableModel : public QAbstractTableModel {
public:
    struct Row {
        double time = 0;   // time of day, fraction of a day
        double temper = 0; // degrees Celsius
        double error = 0;  // setpoint in force - temperature; NaN when no record holds
    };

    explicit ArchiveTableModel(char decimalSep, QObject* parent = nullptr)
        : QAbstractTableModel(parent), sep_(decimalSep) {}

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    // rows[p] is sample position p (rows[0] and rows[1] are not shown); the
    // grid then has rows.size() rows with its header, so that every position
    // up to the last is reachable. An empty vector leaves the header alone.
    void setRows(std::vector<Row> rows);
    void setDecimalSeparator(char sep);

    // The text of grid cell (gridRow, column) as the view shows it.
    [[nodiscard]] QString cell(int gridRow, int column) const;
    // Grid rows including the header (StringGrid1.RowCount).
    [[nodiscard]] int gridRowCount() const { return rowCount() + 1; }

private:
    std::vector<Row> rows_;
    char sep_;
};

} // namespace thermo
