// The event log grid: a table view over TProtocolModel drawn as the log has always looked. A fixed
// header row (bold) and a fixed first column with the running number (the row header); rows 1, 3,
// 5 ... yellow and 2, 4 ... white whether selected or not; texts word-wrapped in the cell without a
// margin; a row grows to its tallest painted text plus 5 pixels and never shrinks, also across
// searches (the heights belong to the grid's rows, not to the records).
#pragma once

#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>

#include <functional>
#include <vector>

class TProtocolGrid;

// The first column: the running number, centred on the row's colour.
class TProtocolRowHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit TProtocolRowHeader(QWidget* parent = nullptr);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};

// The cells of rows 1 and up: background, black text wrapped at word ends, and the row's growth.
class TProtocolCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TProtocolCellDelegate(TProtocolGrid* grid);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    TProtocolGrid* FGrid;
};

class TProtocolGrid : public QTableView {
    Q_OBJECT
public:
    explicit TProtocolGrid(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;

    // The width of the first column (the running number).
    static constexpr int FirstColumnWidth = 70;
    static constexpr int DefaultRowHeight = 24;

    // Asks for a row to be at least this high; applied after the current painting. Heights only grow.
    void GrowRow(int row, int height);
    // The height a row has grown to (the default when it never grew).
    int RowHeight(int row) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ApplyGrownRows();
    void RestoreRowHeights();
    // Runs rows with a function that makes a row at least so high, all changes placed at once.
    void ResizeRows(const std::function<void(const std::function<void(int, int)>&)>& rows);

    // Grown height of each grid row that ever grew (0: default), kept across model resets.
    std::vector<int> FRowHeights;
    std::vector<int> FPendingRows;
    bool FApplyPosted = false;
    QWidget* FCorner = nullptr;
};
