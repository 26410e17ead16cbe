// The editable grid: a table view over a TDataSetModel. The row under the cursor is the dataset's
// current record; typing into a cell puts the record into edit state; leaving a changed row posts
// it. A refused post keeps the cursor on the row (still in edit state) and shows the error.
#pragma once

#include "DataSetModel.h"

#include <QTableView>

class TDBGridEh : public QTableView {
    Q_OBJECT
public:
    explicit TDBGridEh(QWidget* parent = nullptr);

    TDataSource* DataSource() const { return FModel->DataSource(); }
    void SetDataSource(TDataSource* source);
    // The columns shown, in order; widths are applied at once.
    void SetColumns(const QList<TColumnEh>& columns);
    void AddColumn(const QString& fieldName, const QString& title, int width);
    TDataSetModel* Model() const { return FModel; }
    // Flat: no sunken frame around the grid.
    void SetFlat(bool flat);

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ApplyWidths();
    // Hides the rows of records the data source's filter does not show.
    void ApplyFilter();
    // Puts the view's cursor on the dataset's current record.
    void FollowDataSet();
    void ShowDataError(const QString& message);

    TDataSetModel* FModel;
    QAbstractItemDelegate* FDelegate;
    bool FFollowing = false;
    bool FRowsHidden = false;
};
