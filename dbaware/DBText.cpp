#include "DBText.h"

TDBText::TDBText(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
}

void TDBText::SetDataSource(TDataSource* source) {
    if (FDataSource)
        disconnect(FDataSource, nullptr, this, nullptr);
    FDataSource = source;
    if (source) {
        connect(source, &TDataSource::OnDataChange, this, &TDBText::ShowValue);
        connect(source, &TDataSource::OnStateChange, this, &TDBText::ShowValue);
    }
    ShowValue();
}

void TDBText::SetDataField(const QString& name) {
    FDataField = name;
    ShowValue();
}

void TDBText::ShowValue() {
    TField* field = FDataSource ? FDataSource->Field(FDataField) : nullptr;
    setText(field && field->DataSet()->CurrentIndex() >= 0 ? field->AsString() : QString());
}
