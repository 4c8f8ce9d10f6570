#include "archive_view/archive_table.h"

#include <cmath>

#include "common/numfmt.h"
#include "common/timefmt.h"

namespace thermo {

int ArchiveTableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || rows_.size() < 2)
        return 0;
    return static_cast<int>(rows_.size() - 1);
}

int ArchiveTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant ArchiveTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    return cell(index.row() + 1, index.column());
}

QVariant ArchiveTableModel::headerData(int section, Qt::Orientation o, int role) const {
    if (role != Qt::DisplayRole || o != Qt::Horizontal)
        return {};
    static const char* const names[] = {"время", "°C", "ошибка"};
    return section >= 0 && section < 3 ? QString::fromUtf8(names[section]) : QVariant();
}

void ArchiveTableModel::setRows(std::vector<Row> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void ArchiveTableModel::setDecimalSeparator(char sep) {
    sep_ = sep;
    if (rowCount() > 0)
        emit dataChanged(index(0, 1), index(rowCount() - 1, 2));
}

QString ArchiveTableModel::cell(int gridRow, int column) const {
    // Grid row 1 is position 1, which is never shown.
    if (gridRow < 2 || static_cast<size_t>(gridRow) >= rows_.size())
        return {};
    const Row& r = rows_[static_cast<size_t>(gridRow)];
    switch (column) {
    case 0:
        return QString::fromStdString(formatTimeOfDay(r.time));
    case 1:
        return QString::fromStdString(formatFixed(r.temper, "0.##", sep_));
    case 2:
        return std::isnan(r.error) ? QString()
                                   : QString::fromStdString(formatFixed(r.error, "0.##", sep_));
    default:
        return {};
    }
}

} // namespace thermo
