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
            EvaluateFilter();
            emit DataSetChanged();
            if (Active())
                emit OnDataChange(nullptr);
        });
        connect(dataSet, &TOracleDataSet::RecordInserted, this, [this](int index) {
            if (FFilter && index >= 0 && size_t(index) <= FShown.size())
                FShown.insert(FShown.begin() + index, 1);
            emit RecordInserted(index);
            emit OnDataChange(nullptr);
        });
        connect(dataSet, &TOracleDataSet::RecordRemoved, this, [this](int index) {
            if (FFilter && index >= 0 && size_t(index) < FShown.size())
                FShown.erase(FShown.begin() + index);
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
            FShown.clear();
            emit DataSetLinked();
            emit DataSetChanged();
            emit OnStateChange();
        });
    }
    EvaluateFilter();
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

void TDataSource::SetRecordFilter(TRecordFilter filter) {
    FFilter = std::move(filter);
    EvaluateFilter();
    emit FilterApplied();
}

void TDataSource::EvaluateFilter() {
    FShown.clear();
    if (!FFilter || !Active())
        return;
    const int count = FDataSet->RecordCount();
    const int current = FDataSet->CurrentIndex();
    const bool editing = FDataSet->State() == dsEdit || FDataSet->State() == dsInsert;
    FShown.resize(size_t(count));
    for (int i = 0; i < count; ++i)
        FShown[size_t(i)] = (editing && i == current) || FFilter(i) ? 1 : 0;
}

bool TDataSource::RecordShown(int index) const {
    if (!Active() || index < 0 || index >= FDataSet->RecordCount())
        return false;
    if (!FFilter || size_t(index) >= FShown.size())
        return true;
    return FShown[size_t(index)] != 0;
}

int TDataSource::ShownCount() const {
    if (!Active())
        return 0;
    if (!FFilter)
        return FDataSet->RecordCount();
    int count = 0;
    for (int i = 0; i < FDataSet->RecordCount(); ++i)
        count += RecordShown(i) ? 1 : 0;
    return count;
}

int TDataSource::NextShown(int index, int step) const {
    if (!Active() || step == 0)
        return -1;
    for (int i = index; i >= 0 && i < FDataSet->RecordCount(); i += step)
        if (RecordShown(i))
            return i;
    return -1;
}
