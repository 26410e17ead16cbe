#include "DataSetModel.h"

TDataSetModel::TDataSetModel(QObject* parent) : QAbstractTableModel(parent) {}

TOracleDataSet* TDataSetModel::DataSet() const {
    return FDataSource ? FDataSource->DataSet() : nullptr;
}

void TDataSetModel::SetDataSource(TDataSource* source) {
    if (FDataSource == source)
        return;
    if (FDataSource)
        disconnect(FDataSource, nullptr, this, nullptr);
    FDataSource = source;
    if (source) {
        connect(source, &TDataSource::DataSetChanged, this, &TDataSetModel::Reset);
        // The dataset has changed already when it tells; until the view has taken the change in,
        // rows are mapped as they were before it.
        connect(source, &TDataSource::RecordInserted, this, [this](int index) {
            FChanging = true;
            FChangedRow = index;
            FShift = 1;
            beginInsertRows(QModelIndex(), index, index);
            ++FRows;
            FShift = 0;
            endInsertRows();
            FChanging = false;
            CurrentMoved();
        });
        connect(source, &TDataSource::RecordRemoved, this, [this](int index) {
            FChanging = true;
            FChangedRow = index;
            FShift = -1;
            beginRemoveRows(QModelIndex(), index, index);
            --FRows;
            FShift = 0;
            endRemoveRows();
            FChanging = false;
            CurrentMoved();
        });
        connect(source, &TDataSource::RecordChanged, this, [this](int index) {
            if (index >= 0 && index < FRows && !FShown.isEmpty())
                emit dataChanged(this->index(index, 0), this->index(index, int(FShown.size()) - 1));
            CurrentMoved();
        });
        connect(source, &TDataSource::FieldChanged, this, [this](TField* field) {
            TOracleDataSet* ds = DataSet();
            const int row = ds ? ds->CurrentIndex() : -1;
            for (int c = 0; c < FShown.size(); ++c)
                if (row >= 0 && row < FRows &&
                    FShown[c].FieldName.compare(field->FieldName(), Qt::CaseInsensitive) == 0)
                    emit dataChanged(index(row, c), index(row, c));
        });
        connect(source, &TDataSource::Scrolled, this, &TDataSetModel::CurrentMoved);
        connect(source, &TDataSource::OnStateChange, this, &TDataSetModel::CurrentMoved);
    }
    Reset();
}

void TDataSetModel::SetColumns(const QList<TColumnEh>& columns) {
    FColumns = columns;
    Reset();
}

void TDataSetModel::Reset() {
    FChanging = true;
    beginResetModel();
    TOracleDataSet* ds = DataSet();
    const bool active = ds && ds->Active();
    FRows = active ? ds->RecordCount() : 0;
    FShown = FColumns;
    if (FShown.isEmpty() && active)
        for (int i = 0; i < ds->FieldCount(); ++i)
            FShown.append(
                TColumnEh{ds->Fields(i)->FieldName(), ds->Fields(i)->FieldName(), 64, Qt::AlignCenter});
    FMarkedRow = active ? ds->CurrentIndex() : -1;
    endResetModel();
    FChanging = false;
}

// The row indicator follows the current record and its state.
void TDataSetModel::CurrentMoved() {
    TOracleDataSet* ds = DataSet();
    const int row = ds && ds->Active() ? ds->CurrentIndex() : -1;
    const int old = FMarkedRow;
    FMarkedRow = row;
    if (old >= 0 && old < FRows)
        emit headerDataChanged(Qt::Vertical, old, old);
    if (row >= 0 && row < FRows)
        emit headerDataChanged(Qt::Vertical, row, row);
}

TField* TDataSetModel::ColumnField(int column) const {
    if (column < 0 || column >= FShown.size() || !FDataSource)
        return nullptr;
    return FDataSource->Field(FShown[column].FieldName);
}

int TDataSetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FRows;
}

int TDataSetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(FShown.size());
}

QVariant TDataSetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= FRows || (role != Qt::DisplayRole && role != Qt::EditRole))
        return QVariant();
    TField* field = ColumnField(index.column());
    if (!field)
        return QVariant();
    int row = index.row();
    if (FShift > 0 && row >= FChangedRow)
        ++row;
    else if (FShift < 0 && row == FChangedRow)
        return QVariant();
    else if (FShift < 0 && row > FChangedRow)
        --row;
    const QVariant value = field->DataSet()->RecordValue(row, field->Index());
    if (field->DataType() == ftBlob)
        return value.isNull() ? QString() : QStringLiteral("(BLOB)");
    return field->Text(value);
}

QVariant TDataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= FShown.size())
            return QVariant();
        // A title cut short by a narrow column is read whole in its hint.
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
            return FShown[section].Title;
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(FShown[section].TitleAlignment | Qt::AlignVCenter);
        return QVariant();
    }
    if (role != Qt::DisplayRole)
        return QVariant();
    TOracleDataSet* ds = DataSet();
    if (!ds || section != ds->CurrentIndex())
        return QString();
    switch (ds->State()) {
    case dsInsert:
        return QStringLiteral("*");
    case dsEdit:
        return QStringLiteral("I");
    default:
        return QStringLiteral("\u25B6");
    }
}

Qt::ItemFlags TDataSetModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    TOracleDataSet* ds = DataSet();
    TField* field = ColumnField(index.column());
    if (ds && ds->CanModify() && field && field->DataType() != ftBlob && FDataSource->AutoEdit())
        result |= Qt::ItemIsEditable;
    return result;
}

bool TDataSetModel::Run(const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const Exception& error) {
        emit ErrorRaised(error.Message());
    }
    return false;
}

bool TDataSetModel::BeginEdit(int row) {
    TOracleDataSet* ds = DataSet();
    if (!ds || !ds->Active())
        return false;
    return Run([&] {
        if (row != ds->CurrentIndex())
            ds->MoveTo(row);
        FDataSource->Edit();
    });
}

bool TDataSetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    TField* field = ColumnField(index.column());
    TOracleDataSet* ds = DataSet();
    if (!field || !ds)
        return false;
    const int row = index.row();
    // An editor closed without a change leaves the record alone.
    if (row == ds->CurrentIndex() && value.toString() == field->Text(ds->RecordValue(row, field->Index())))
        return true;
    const QString name = field->FieldName();
    return Run([&] {
        if (row != ds->CurrentIndex())
            ds->MoveTo(row);
        if (!FDataSource->Edit())
            return;
        // Moving may have reloaded the records: look the field up again.
        ds->FieldByName(name)->SetValue(value);
    });
}
