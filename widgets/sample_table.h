#pragma once
// The sample table StringGrid1: a header row ("время", "°C", "ошибка") and
// one row per recorded tick, the time column standing as the fixed column.
// Model/view, so 65000 rows cost three short strings each and no widget.
// Grid row k >= 1 (model row k - 1) holds the sample of tick k + 2; the row
// count follows the tick counter, which leaves one empty row after the newest
// sample.

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <vector>

namespace thermo {

inline const QColor kTemperatureCell(255, 204, 204);
inline const QColor kErrorCell(204, 255, 204);

class SampleTableModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    // The grid's row count including its header row (StringGrid1.RowCount).
    void setGridRowCount(int rows);
    // Grid row `row` (1-based, below the header) gets the three texts.
    void setGridRow(int row, const QString& time, const QString& temper, const QString& error);
    // Only the header is left.
    void clear();
    [[nodiscard]] QString cell(int gridRow, int column) const;

private:
    struct Row {
        QString text[3];
    };
    std::vector<Row> rows_;
};

// Data cells drawn as the instrument shows them: the focused cell black with
// white text, the error column light green, the other data columns light red,
// the text at the cell's top-left corner without margin; the time column keeps
// the standard look.
class SampleCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

// The view with the widths 46, 32, 31, rows 14 pixels high, a vertical
// scroll bar only, movable columns and range selection.
//
// A run adds a row every tick. Qt lays a table out again and repaints all of
// it for each row added; here rows added at the end only extend the scroll
// range and paint where they appear (the rows already shown are scrolled, not
// drawn again), and the scroll bar repaints only when what it draws changes.
class SampleTable : public QTableView {
public:
    explicit SampleTable(QWidget* parent = nullptr);
    [[nodiscard]] SampleTableModel& table() { return model_; }
    // A live run's table keeps its newest row in view as rows are added,
    // unless the user has scrolled away from the end (then it stays where it
    // was put, until scrolled back to the end).
    void followNewest();

protected:
    void doItemsLayout() override;

private:
    // What changed in the model since the table was last laid out.
    enum class Pending { Nothing, RowsAppended, Other };
    Pending pending_ = Pending::Nothing;
    int firstAppended_ = 0;
    bool atEnd_ = true;
    SampleTableModel model_;
    SampleCellDelegate delegate_;
};

} // namespace thermo
