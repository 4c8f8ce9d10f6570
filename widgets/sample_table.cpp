#include "widgets/sample_table.h"

#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <algorithm>

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

namespace {

// Repaints only when what it draws changed: a run's table grows every tick,
// and past a few hundred rows the slider keeps its size and place at the end.
// A new row changes the range and then the value, so the check waits until
// both are done.
class SteadyScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void sliderChange(SliderChange change) override {
        if (change == SliderOrientationChange) {
            QScrollBar::sliderChange(change);
            return;
        }
        if (checkQueued_)
            return;
        checkQueued_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                checkQueued_ = false;
                if (!(drawnNow() == painted_))
                    update();
            },
            Qt::QueuedConnection);
    }
    void paintEvent(QPaintEvent* event) override {
        painted_ = drawnNow();
        QScrollBar::paintEvent(event);
    }

private:
    struct Drawn {
        QRect slider;
        bool atMinimum = false, atMaximum = false, empty = true;
        bool operator==(const Drawn&) const = default;
    };
    Drawn drawnNow() const {
        QStyleOptionSlider opt;
        initStyleOption(&opt);
        return {
            style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, this),
            value() == minimum(), value() == maximum(), minimum() == maximum()};
    }
    Drawn painted_{QRect(-1, -1, 0, 0)};
    bool checkQueued_ = false;
};

} // namespace

SampleTable::SampleTable(QWidget* parent) : QTableView(parent), delegate_(this) {
    setObjectName("StringGrid1");
    setVerticalScrollBar(new SteadyScrollBar(Qt::Vertical, this));
    setModel(&model_);
    connect(&model_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                if (last + 1 == model_.rowCount() && pending_ != Pending::Other) {
                    if (pending_ == Pending::Nothing)
                        firstAppended_ = first;
                    pending_ = Pending::RowsAppended;
                } else {
                    pending_ = Pending::Other;
                }
            });
    const auto other = [this] { pending_ = Pending::Other; };
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, other);
    connect(&model_, &QAbstractItemModel::rowsMoved, this, other);
    connect(&model_, &QAbstractItemModel::modelReset, this, other);
    connect(&model_, &QAbstractItemModel::layoutChanged, this, other);
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

void SampleTable::doItemsLayout() {
    const bool appended = pending_ == Pending::RowsAppended;
    pending_ = Pending::Nothing;
    if (!appended) {
        QTableView::doItemsLayout();
        return;
    }
    // The view calls this once it has cancelled its own pending layout; the
    // rows above the new ones have not moved, so the scroll range and the new
    // rows' place need doing. A table scrolled to its end moves its rows as
    // the range grows, without scrolling them: they are moved here.
    const int offset = verticalHeader()->offset();
    updateGeometries();
    if (const int moved = verticalHeader()->offset() - offset; moved != 0)
        viewport()->scroll(0, -moved);
    const int top = rowViewportPosition(firstAppended_);
    if (top < viewport()->height())
        viewport()->update(0, std::max(top, 0), viewport()->width(), viewport()->height());
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
