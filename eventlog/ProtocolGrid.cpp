#include "ProtocolGrid.h"

#include "ElidingHeader.h"
#include "ProtocolModel.h"

#include <QAbstractButton>
#include <QEvent>
#include <QPainter>
#include <QStyleOptionHeader>
#include <QTimer>

namespace {

QColor RowBackground(int row) {
    return row % 2 == 0 ? QColor(255, 255, 0) : QColor(Qt::white);
}

// The grid's lines between cells, on the right and bottom edge of a rectangle.
void DrawCellLines(QPainter* painter, const QRect& rect, const QColor& colour) {
    painter->setPen(colour);
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
}

} // namespace

TProtocolRowHeader::TProtocolRowHeader(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {
    setSectionResizeMode(QHeaderView::Fixed);
    setDefaultSectionSize(TProtocolGrid::DefaultRowHeight);
    setMinimumSectionSize(1);
    setDefaultAlignment(Qt::AlignCenter);
    setHighlightSections(false);
}

void TProtocolRowHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    if (!rect.isValid())
        return;
    painter->save();
    painter->fillRect(rect, RowBackground(logicalIndex));
    DrawCellLines(painter, rect, palette().color(QPalette::Mid));
    painter->setPen(Qt::black);
    painter->setFont(font());
    const QString text = model() ? model()->headerData(logicalIndex, Qt::Vertical).toString() : QString();
    painter->drawText(rect, int(Qt::AlignCenter | Qt::TextSingleLine), text);
    painter->restore();
}

TProtocolCellDelegate::TProtocolCellDelegate(TProtocolGrid* grid) : QStyledItemDelegate(grid), FGrid(grid) {}

void TProtocolCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    painter->save();
    // The row's colour whatever the selection: a selected row is marked by a dotted frame only.
    painter->fillRect(option.rect, RowBackground(index.row()));
    const QString text = index.data(Qt::DisplayRole).toString();
    painter->setPen(Qt::black);
    painter->setFont(option.font);
    QRect used;
    painter->drawText(option.rect, int(Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap), text, &used);
    if (option.state & QStyle::State_Selected) {
        QPen pen(Qt::black, 1, Qt::DotLine);
        painter->setPen(pen);
        painter->drawLine(option.rect.topLeft(), option.rect.topRight());
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    }
    painter->restore();
    // The wrapped text is taller than the row: the row grows to it plus 5.
    if (!text.isEmpty() && used.height() > option.rect.height())
        FGrid->GrowRow(index.row(), used.height() + 5);
}

TProtocolGrid::TProtocolGrid(QWidget* parent) : QTableView(parent) {
    setVerticalHeader(new TProtocolRowHeader(this));
    setHorizontalHeader(new TElidingHeader(Qt::Horizontal, this));
    verticalHeader()->setMinimumWidth(FirstColumnWidth);
    verticalHeader()->setMaximumWidth(FirstColumnWidth);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setStretchLastSection(false);
    QFont bold = horizontalHeader()->font();
    bold.setBold(true);
    horizontalHeader()->setFont(bold);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setItemDelegate(new TProtocolCellDelegate(this));
    setCornerButtonEnabled(false);
    // The corner above the numbers is the first column's header.
    FCorner = findChild<QAbstractButton*>();
    if (FCorner) {
        FCorner->setAccessibleName(TProtocolModel::Headers().at(0));
        FCorner->installEventFilter(this);
    }
}

void TProtocolGrid::setModel(QAbstractItemModel* model) {
    if (this->model())
        disconnect(this->model(), nullptr, this, nullptr);
    QTableView::setModel(model);
    if (!model)
        return;
    connect(model, &QAbstractItemModel::modelReset, this, &TProtocolGrid::RestoreRowHeights);
    static constexpr int Widths[] = {100, 100, 110, 100, 200, 200};
    for (int column = 0; column < model->columnCount() && column < 6; ++column)
        horizontalHeader()->resizeSection(column, Widths[column]);
}

void TProtocolGrid::GrowRow(int row, int height) {
    if (row < 0 || height <= RowHeight(row))
        return;
    if (size_t(row) >= FRowHeights.size())
        FRowHeights.resize(size_t(row) + 1, 0);
    FRowHeights[size_t(row)] = height;
    FPendingRows.push_back(row);
    // Never resized while the grid paints: after the painting, in one go.
    if (!FApplyPosted) {
        FApplyPosted = true;
        QTimer::singleShot(0, this, &TProtocolGrid::ApplyGrownRows);
    }
}

int TProtocolGrid::RowHeight(int row) const {
    if (row >= 0 && size_t(row) < FRowHeights.size() && FRowHeights[size_t(row)] > 0)
        return FRowHeights[size_t(row)];
    return verticalHeader()->defaultSectionSize();
}

void TProtocolGrid::ApplyGrownRows() {
    FApplyPosted = false;
    const int rows = model() ? model()->rowCount() : 0;
    ResizeRows([this, rows](const std::function<void(int, int)>& resize) {
        for (int row : FPendingRows)
            if (row < rows)
                resize(row, FRowHeights[size_t(row)]);
    });
    FPendingRows.clear();
}

void TProtocolGrid::RestoreRowHeights() {
    // A reset gives every row the default height; rows that grew before keep their height.
    const int rows = model() ? model()->rowCount() : 0;
    ResizeRows([this, rows](const std::function<void(int, int)>& resize) {
        for (size_t row = 0; row < FRowHeights.size() && int(row) < rows; ++row)
            if (FRowHeights[row] > 0)
                resize(int(row), FRowHeights[row]);
    });
}

void TProtocolGrid::ResizeRows(const std::function<void(const std::function<void(int, int)>&)>& rows) {
    QHeaderView* header = verticalHeader();
    // Each resize of a shown header walks every row to place the one resized: with a million rows a
    // page of grown rows took tens of milliseconds. Hidden from painting, the rows are placed once.
    const bool updates = header->updatesEnabled();
    header->setUpdatesEnabled(false);
    rows([header](int row, int height) {
        if (header->sectionSize(row) < height)
            header->resizeSection(row, height);
    });
    header->setUpdatesEnabled(updates);
    header->viewport()->update();
}

bool TProtocolGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FCorner && event->type() == QEvent::Paint) {
        QPainter painter(FCorner);
        QStyleOptionHeader option;
        option.initFrom(FCorner);
        option.rect = FCorner->rect();
        option.position = QStyleOptionHeader::OnlyOneSection;
        // Drawn as a header, not as the disabled button it is (a click there selects nothing).
        option.state |= QStyle::State_Raised | QStyle::State_Enabled;
        option.palette.setCurrentColorGroup(QPalette::Active);
        option.text = TProtocolModel::Headers().at(0);
        option.textAlignment = Qt::AlignCenter;
        painter.setFont(horizontalHeader()->font());
        style()->drawControl(QStyle::CE_Header, &option, &painter, FCorner);
        return true;
    }
    return QTableView::eventFilter(watched, event);
}
