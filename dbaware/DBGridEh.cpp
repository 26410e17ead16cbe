#include "DBGridEh.h"

#include "DBErrors.h"
#include "ElidingHeader.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace {

// Starts the dataset's editing before an editor opens, so a refused edit never shows an editor,
// and limits the editor to the field's size.
class TGridDelegate : public QStyledItemDelegate {
public:
    TGridDelegate(TDataSetModel* model, QObject* parent) : QStyledItemDelegate(parent), FModel(model) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        if (!FModel->BeginEdit(index.row()))
            return nullptr;
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        FEditor = editor;
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            if (TField* field = FModel->ColumnField(index.column()); field && field->DataType() == ftString)
                line->setMaxLength(field->Size());
        return editor;
    }

    // A value cut short by its column is read whole in a hint; one that fits shows none.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString text = index.data(Qt::DisplayRole).toString();
        const QRect cell = view->visualRect(index);
        // The style's text margins at both sides of the cell.
        const int margins = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
        if (text.isEmpty() || option.fontMetrics.horizontalAdvance(text) + margins <= cell.width()) {
            QToolTip::hideText();
            return true;
        }
        QToolTip::showText(event->globalPos(), text, view->viewport(), cell);
        return true;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            line->setText(index.data(Qt::EditRole).toString());
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            model->setData(index, line->text(), Qt::EditRole);
            return;
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }

    // The cell editor now open, if any.
    QWidget* Editor() const { return FEditor; }

    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        if (FEditor == editor)
            FEditor = nullptr;
        QStyledItemDelegate::destroyEditor(editor, index);
    }

private:
    TDataSetModel* FModel;
    mutable QPointer<QWidget> FEditor;
};

} // namespace

TDBGridEh::TDBGridEh(QWidget* parent) : QTableView(parent), FModel(new TDataSetModel(this)) {
    setHorizontalHeader(new TElidingHeader(Qt::Horizontal, this));
    setModel(FModel);
    FDelegate = new TGridDelegate(FModel, this);
    setItemDelegate(FDelegate);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                    QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setFixedWidth(14);
    connect(FModel, &TDataSetModel::ErrorRaised, this, &TDBGridEh::ShowDataError);
    connect(FModel, &QAbstractItemModel::modelReset, this, [this] {
        ApplyWidths();
        // A reset shows every row again.
        FRowsHidden = false;
        ApplyFilter();
        FollowDataSet();
    });
}

void TDBGridEh::SetDataSource(TDataSource* source) {
    if (DataSource())
        disconnect(DataSource(), nullptr, this, nullptr);
    FModel->SetDataSource(source);
    if (source) {
        // Connected after the model, so the model has taken each change in when the cursor follows.
        connect(source, &TDataSource::Scrolled, this, &TDBGridEh::FollowDataSet);
        connect(source, &TDataSource::RecordInserted, this, &TDBGridEh::FollowDataSet);
        connect(source, &TDataSource::RecordRemoved, this, &TDBGridEh::FollowDataSet);
        connect(source, &TDataSource::FilterApplied, this, [this] {
            ApplyFilter();
            FollowDataSet();
        });
        // A post from elsewhere (the navigator) takes the text still being typed in a cell.
        connect(source, &TDataSource::UpdatingRecord, this, [this] {
            if (QWidget* editor = static_cast<TGridDelegate*>(FDelegate)->Editor())
                commitData(editor);
        });
    }
    FollowDataSet();
}

void TDBGridEh::SetColumns(const QList<TColumnEh>& columns) {
    FModel->SetColumns(columns);
}

void TDBGridEh::AddColumn(const QString& fieldName, const QString& title, int width) {
    QList<TColumnEh> columns = FModel->Columns();
    columns.append(TColumnEh{fieldName, title, width, Qt::AlignCenter});
    FModel->SetColumns(columns);
}

void TDBGridEh::SetFlat(bool flat) {
    setFrameShape(flat ? QFrame::Box : QFrame::StyledPanel);
}

void TDBGridEh::ApplyWidths() {
    const QList<TColumnEh>& columns = FModel->Columns();
    for (int c = 0; c < columns.size(); ++c)
        setColumnWidth(c, columns[c].Width);
}

void TDBGridEh::ApplyFilter() {
    TDataSource* source = DataSource();
    const bool filtered = source && source->Filtered();
    if (!filtered && !FRowsHidden)
        return;
    const int rows = FModel->rowCount();
    setUpdatesEnabled(false);
    for (int row = 0; row < rows; ++row)
        setRowHidden(row, filtered && !source->RecordShown(row));
    setUpdatesEnabled(true);
    FRowsHidden = filtered;
}

void TDBGridEh::FollowDataSet() {
    TDataSource* source = DataSource();
    if (!source || !source->Active())
        return;
    const int row = source->DataSet()->CurrentIndex();
    if (row < 0 || row >= FModel->rowCount())
        return;
    const int column = currentIndex().isValid() ? currentIndex().column() : 0;
    if (currentIndex().row() == row && currentIndex().column() == column)
        return;
    FFollowing = true;
    setCurrentIndex(FModel->index(row, column));
    FFollowing = false;
}

void TDBGridEh::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    // The base class commits an open editor into the record being left first.
    QTableView::currentChanged(current, previous);
    TDataSource* source = DataSource();
    if (FFollowing || FModel->Changing() || !current.isValid() || !source || !source->Active())
        return;
    TOracleDataSet* ds = source->DataSet();
    if (current.row() == ds->CurrentIndex())
        return;
    try {
        ds->MoveTo(current.row());
    } catch (const Exception& error) {
        // The record being left stays current (and in edit state); the cursor goes back to it.
        FollowDataSet();
        ShowDataError(error.Message());
        return;
    }
    FollowDataSet();
}

void TDBGridEh::keyPressEvent(QKeyEvent* event) {
    TDataSource* source = DataSource();
    if (event->key() == Qt::Key_Escape && state() != EditingState && source && source->Active() &&
        (source->State() == dsEdit || source->State() == dsInsert)) {
        source->DataSet()->Cancel();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TDBGridEh::ShowDataError(const QString& message) {
    ShowDataSetError(message);
}
