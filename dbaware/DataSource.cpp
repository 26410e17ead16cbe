#include "DataSource.h"

TDataSource::TDataSource(QObject* owner) : QObject(owner) {}

void TDataSource::SetDataSet(TOracleDataSet* dataSet) {
    if (FDataSet == dataSet)
        return;
    if (FDataSet)
        disconnect(FDataSet, nullptr, this, nullptr);
    FDataSet = dataSet;
    if (dataSet) {
        connect(dataSet, &TOracleDataSet::DataSetChanged, this, [this] {
            emit DataSetChanged();
            if (Active())
                emit OnDataChange(nullptr);
        });
        connect(dataSet, &TOracleDataSet::RecordInserted, this, [this](int index) {
            emit RecordInserted(index);
            emit OnDataChange(nullptr);
        });
        connect(dataSet, &TOracleDataSet::RecordRemoved, this, [this](int index) {
            emit RecordRemoved(index);
            emit OnDataChange(nullptr);
        });
        connect(dataSet, &TOracleDataSet::RecordChanged, this, [this](int index) {
            emit RecordChanged(index);
            emit OnDataChange(nullptr);
        });
        connect(dataSet, &TOracleDataSet::FieldChanged, this, [this](TField* field) {
            emit FieldChanged(field);
            emit OnDataChange(field);
        });
        connect(dataSet, &TOracleDataSet::Scrolled, this, [this] {
            emit Scrolled();
            emit OnDataChange(nullptr);
        });
        connect(dataSet, &TOracleDataSet::UpdatingRecord, this, &TDataSource::UpdatingRecord);
        connect(dataSet, &TOracleDataSet::StateChanged, this, &TDataSource::OnStateChange);
        // A dataset freed while linked: the QPointer forgets it; the controls must too.
        connect(dataSet, &QObject::destroyed, this, [this] {
            emit DataSetLinked();
            emit DataSetChanged();
            emit OnStateChange();
        });
    }
    emit DataSetLinked();
    emit DataSetChanged();
    emit OnStateChange();
    if (Active())
        emit OnDataChange(nullptr);
}

TField* TDataSource::Field(const QString& name) const {
    if (!Active() || name.isEmpty())
        return nullptr;
    return FDataSet->FindField(name);
}

bool TDataSource::Edit() {
    if (!Active())
        return false;
    const TDataSetState state = FDataSet->State();
    if (state == dsEdit || state == dsInsert)
        return true;
    if (!FAutoEdit)
        return false;
    FDataSet->Edit();
    return true;
}
