// An edit box for one field. The first keystroke puts the record into edit state; the text is
// written into the field when the box loses focus or when the record is posted.
#pragma once

#include "DataSource.h"

#include <QLineEdit>
#include <QPointer>

class TDBEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TDBEdit(QWidget* parent = nullptr);

    TDataSource* DataSource() const { return FDataSource; }
    void SetDataSource(TDataSource* source);
    QString DataField() const { return FDataField; }
    void SetDataField(const QString& name);

private:
    void ShowValue(TField* changed = nullptr);
    void UserEdited();
    void WriteValue();

    QPointer<TDataSource> FDataSource;
    QString FDataField;
    bool FPending = false;
    bool FWriting = false;
};
