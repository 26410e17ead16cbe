#include "DBCheckBox.h"

#include "DBErrors.h"

TDBCheckBox::TDBCheckBox(QWidget* parent) : TDBCheckBox(QString(), parent) {}

TDBCheckBox::TDBCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
    connect(this, &QCheckBox::clicked, this, &TDBCheckBox::UserToggled);
    ShowValue();
}

void TDBCheckBox::SetDataSource(TDataSource* source) {
    if (FDataSource)
        disconnect(FDataSource, nullptr, this, nullptr);
    FDataSource = source;
    if (source) {
        connect(source, &TDataSource::OnDataChange, this, &TDBCheckBox::ShowValue);
        connect(source, &TDataSource::OnStateChange, this, &TDBCheckBox::ShowValue);
    }
    ShowValue();
}

void TDBCheckBox::SetDataField(const QString& name) {
    FDataField = name;
    ShowValue();
}

void TDBCheckBox::SetValueChecked(const QString& value) {
    FValueChecked = value;
    ShowValue();
}

void TDBCheckBox::SetValueUnchecked(const QString& value) {
    FValueUnchecked = value;
    ShowValue();
}

void TDBCheckBox::ShowValue() {
    TField* field = FDataSource ? FDataSource->Field(FDataField) : nullptr;
    // A dataset that cannot be modified (read-only, no ROWID) keeps the box read-only on every change.
    setEnabled(field != nullptr && field->DataSet()->CanModify());
    const bool checked = field && field->DataSet()->CurrentIndex() >= 0 &&
                         field->AsString().compare(FValueChecked, Qt::CaseInsensitive) == 0;
    setChecked(checked);
}

void TDBCheckBox::UserToggled(bool checked) {
    if (FDataSource && FDataSource->Field(FDataField))
        RunDataSetAction([&] {
            if (FDataSource->Edit())
                FDataSource->Field(FDataField)->SetValue(checked ? FValueChecked : FValueUnchecked);
        });
    // Shows what the field holds now, also after a refused edit.
    ShowValue();
}
