#include "DBEdit.h"

#include "DBErrors.h"

TDBEdit::TDBEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textEdited, this, &TDBEdit::UserEdited);
    connect(this, &QLineEdit::editingFinished, this, &TDBEdit::WriteValue);
    ShowValue();
}

void TDBEdit::SetDataSource(TDataSource* source) {
    if (FDataSource)
        disconnect(FDataSource, nullptr, this, nullptr);
    FDataSource = source;
    if (source) {
        connect(source, &TDataSource::OnDataChange, this, &TDBEdit::ShowValue);
        connect(source, &TDataSource::OnStateChange, this, [this] { ShowValue(); });
        connect(source, &TDataSource::UpdatingRecord, this, &TDBEdit::WriteValue);
    }
    ShowValue();
}

void TDBEdit::SetDataField(const QString& name) {
    FDataField = name;
    ShowValue();
}

void TDBEdit::ShowValue(TField* changed) {
    if (FWriting)
        return;
    TField* field = FDataSource ? FDataSource->Field(FDataField) : nullptr;
    if (changed && changed != field)
        return;
    setEnabled(field != nullptr);
    setReadOnly(!field || !field->DataSet()->CanModify());
    setMaxLength(field && field->DataType() == ftString ? field->Size() : 32767);
    // Input not yet written survives a state change of the same record.
    if (FPending && field && (field->DataSet()->State() == dsEdit || field->DataSet()->State() == dsInsert) &&
        !changed)
        return;
    FPending = false;
    setText(field && field->DataSet()->CurrentIndex() >= 0 ? field->AsString() : QString());
}

void TDBEdit::UserEdited() {
    TField* field = FDataSource ? FDataSource->Field(FDataField) : nullptr;
    if (!field)
        return;
    if (FDataSource->State() == dsBrowse) {
        const QString typed = text();
        const int cursor = cursorPosition();
        bool editing = false;
        if (!RunDataSetAction([&] { editing = FDataSource->Edit(); }) || !editing) {
            FPending = false;
            ShowValue();
            return;
        }
        // Entering edit state may have redrawn the box from the field.
        setText(typed);
        setCursorPosition(cursor);
    }
    FPending = true;
}

void TDBEdit::WriteValue() {
    if (!FPending || FWriting)
        return;
    TField* field = FDataSource ? FDataSource->Field(FDataField) : nullptr;
    if (!field) {
        FPending = false;
        return;
    }
    FWriting = true;
    bool written = false;
    try {
        field->SetValue(text());
        written = true;
    } catch (const Exception& error) {
        FWriting = false;
        FPending = false;
        ShowValue();
        ShowDataSetError(error.Message());
        return;
    }
    FWriting = false;
    FPending = !written;
}
