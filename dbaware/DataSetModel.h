// The table model the grid shows: one row per record of the data source's dataset, one column per
// grid column. It writes an edited cell into the dataset's field and never shows a window: a value
// the dataset refuses is reported through ErrorRaised.
#pragma once

#include "DataSource.h"

#include <QAbstractTableModel>
#include <QPointer>

// A grid column: the field it shows, its title and its width in pixels.
struct TColumnEh {
    QString FieldName;
    QString Title;
    int Width = 64;
    Qt::Alignment TitleAlignment = Qt::AlignCenter;
};

class TDataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TDataSetModel(QObject* parent = nullptr);

    TDataSource* DataSource() const { return FDataSource; }
    void SetDataSource(TDataSource* source);
    // No columns given: every field, titled with its name.
    void SetColumns(const QList<TColumnEh>& columns);
    const QList<TColumnEh>& Columns() const { return FColumns; }
    // The field shown in a column, or nullptr.
    TField* ColumnField(int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Makes the row current, puts it into edit state and sets the field; false (and ErrorRaised)
    // when the dataset refuses.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // True while the model tells its views of a change the dataset made: a view's cursor moved
    // meanwhile must not move the dataset.
    bool Changing() const { return FChanging; }

    // Makes the row the dataset's current record and starts editing it; false (and ErrorRaised)
    // when the dataset refuses.
    bool BeginEdit(int row);

signals:
    void ErrorRaised(const QString& message);

private:
    TOracleDataSet* DataSet() const;
    void Reset();
    void CurrentMoved();
    bool Run(const std::function<void()>& action);

    QPointer<TDataSource> FDataSource;
    QList<TColumnEh> FColumns;
    QList<TColumnEh> FShown;
    int FRows = 0;
    int FMarkedRow = -1;
    // While the view is told of an inserted (+1) or removed (-1) record at FChangedRow.
    int FShift = 0;
    bool FChanging = false;
    int FChangedRow = -1;
};
