// The link between a dataset and the controls that show it. The controls follow the data source's
// signals, never the dataset directly, so relinking the source moves every control at once.
#pragma once

#include "OracleData.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <vector>

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

    // Which records the controls show. A filter narrows the grid and the navigator's moves to the
    // records it passes. It is asked when it is set and when the records are reloaded; a record
    // added meanwhile is shown, and so is the current record while it is edited or inserted. The
    // dataset keeps every record, so editing, posting and the data-change event are unchanged.
    // An empty function shows every record.
    using TRecordFilter = std::function<bool(int index)>;
    void SetRecordFilter(TRecordFilter filter);
    bool Filtered() const { return bool(FFilter); }
    bool RecordShown(int index) const;
    // Records shown (every record without a filter; 0 without an active dataset).
    int ShownCount() const;
    // The first shown record from index on in the direction step (+1 or -1), or -1 when none.
    int NextShown(int index, int step) const;

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
    // The filter was set or taken off: the shown records may differ.
    void FilterApplied();

private:
    void EvaluateFilter();

    QPointer<TOracleDataSet> FDataSet;
    TRecordFilter FFilter;
    // With a filter, one entry per record: whether it is shown.
    std::vector<char> FShown;
    bool FAutoEdit = true;
};
