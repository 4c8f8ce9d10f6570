#include "widgets/sample_table.h"

#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>

#include "widgets/layout_font.h"

namespace thermo {

int SampleTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int SampleTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant SampleTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    return rows_[static_cast<size_t>(index.row())].text[index.column()];
}

QVariant SampleTableModel::headerData(int section, Qt::Orientation o, int role) const {
    if (role != Qt::DisplayRole || o != Qt::Horizontal)
        return {};
    static const char* const names[] = {"время", "°C", "ошибка"};
    return section >= 0 && section < 3 ? QString::fromUtf8(names[section]) : QVariant();
}

void SampleTableModel::setGridRowCount(int rows) {
    const int wanted = std::max(rows - 1, 0);
    const int now = static_cast<int>(rows_.size());
    if (wanted > now) {
        beginInsertRows({}, now, wanted - 1);
        rows_.resize(static_cast<size_t>(wanted));
        endInsertRows();
    } else if (wanted < now) {
        beginRemoveRows({}, wanted, now - 1);
        rows_.resize(static_cast<size_t>(wanted));
        endRemoveRows();
    }
}

void SampleTableModel::setGridRow(int row, const QString& time, const QString& temper,
                                  const QString& error) {
    if (row < 1)
        return;
    if (row > static_cast<int>(rows_.size()))
        setGridRowCount(row + 1);
    Row& r = rows_[static_cast<size_t>(row - 1)];
    r.text[0] = time;
    r.text[1] = temper;
    r.text[2] = error;
    emit dataChanged(index(row - 1, 0), index(row - 1, 2));
}

void SampleTableModel::clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

QString SampleTableModel::cell(int gridRow, int column) const {
    if (gridRow < 1 || gridRow > static_cast<int>(rows_.size()) || column < 0 || column > 2)
        return {};
    return rows_[static_cast<size_t>(gridRow - 1)].text[column];
}

void SampleCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    // Colours belong to the drawn position: a column moved by the user takes
    // the colour of the place it moved to.
    const auto* view = qobject_cast<const QTableView*>(option.widget);
    const int drawn = view ? view->horizontalHeader()->visualIndex(index.column()) : index.column();
    if (drawn == 0) {
        // The fixed column keeps the table's standard look.
        QStyleOptionViewItem opt = option;
        opt.backgroundBrush = opt.palette.button();
        painter->fillRect(opt.rect, opt.palette.button());
        QStyledItemDelegate::paint(painter, opt, index);
        return;
    }
    const bool focused = option.state & QStyle::State_HasFocus;
    const QColor fill = focused ? QColor(Qt::black) : (drawn == 2 ? kErrorCell : kTemperatureCell);
    painter->save();
    painter->fillRect(option.rect, fill);
    painter->setPen(focused ? Qt::white : Qt::black);
    painter->setFont(option.font);
    painter->drawText(option.rect, Qt::AlignLeft | Qt::AlignTop, index.data().toString());
    painter->restore();
}

SampleTable::SampleTable(QWidget* parent) : QTableView(parent), delegate_(this) {
    setObjectName("StringGrid1");
    setModel(&model_);
    setItemDelegate(&delegate_);
    setFont(tableFont());
    horizontalHeader()->setFont(tableFont());
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(14);
    verticalHeader()->setMinimumSectionSize(14);
    horizontalHeader()->setMinimumSectionSize(10);
    horizontalHeader()->setFixedHeight(16);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setFirstSectionMovable(false); // the time column is fixed
    // The header row is fixed: a click on it selects no column (and so no
    // sample); its sections can still be dragged to another place.
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    setColumnWidth(0, 46);
    setColumnWidth(1, 32);
    setColumnWidth(2, 31);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setShowGrid(true);
}

void SampleTable::followNewest() {
    // Judged before the rows arrive: afterwards the end has moved on.
    connect(&model_, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar* bar = verticalScrollBar();
        atEnd_ = bar->value() >= bar->maximum();
    });
    connect(&model_, &QAbstractItemModel::rowsInserted, this, [this] {
        if (atEnd_)
            scrollToBottom();
    });
}

} // namespace thermo
