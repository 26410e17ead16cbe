// The link between a dataset and the controls that show it. The controls follow the data source's
// signals, never the dataset directly, so relinking the source moves every control at once.
#pragma once

#include "OracleData.h"

#include <QObject>
#include <QPointer>

class TDataSource : public QObject {
    Q_OBJECT
public:
    explicit TDataSource(QObject* owner = nullptr);

    TOracleDataSet* DataSet() const { return FDataSet; }
    // Links another dataset; an active one raises OnDataChange at once.
    void SetDataSet(TOracleDataSet* dataSet);
    // Whether a control may put the dataset into edit state when the user starts changing a value.
    bool AutoEdit() const { return FAutoEdit; }
    void SetAutoEdit(bool value) { FAutoEdit = value; }

    bool Active() const { return FDataSet && FDataSet->Active(); }
    TDataSetState State() const { return FDataSet ? FDataSet->State() : dsInactive; }
    // The field of the linked dataset, or nullptr (no dataset, closed, no such field).
    TField* Field(const QString& name) const;
    // A control is about to change a value: the dataset enters edit state (with its check against
    // the server) unless it is editing already. Raises what Edit raises; false without AutoEdit.
    bool Edit();

signals:
    // Linked to an active dataset, another record became current, a value changed, a record was
    // inserted, posted, cancelled or deleted, or the records were reloaded. Field is the changed
    // field, or nullptr when the whole record counts.
    void OnDataChange(TField* Field);
    // The dataset's state changed (also when it opened or closed).
    void OnStateChange();
    // Another dataset was linked (or none).
    void DataSetLinked();

    // The dataset's fine-grained notifications, for the grid model and the controls.
    void DataSetChanged();
    void RecordInserted(int index);
    void RecordRemoved(int index);
    void RecordChanged(int index);
    void FieldChanged(TField* field);
    void Scrolled();
    void UpdatingRecord();

private:
    QPointer<TOracleDataSet> FDataSet;
    bool FAutoEdit = true;
};
