// A check box showing a text field: checked when the value is ValueChecked ('T'), unchecked for
// anything else (NULL included). The user's toggle puts the record into edit state and writes
// ValueChecked or ValueUnchecked ('F').
#pragma once

#include "DataSource.h"

#include <QCheckBox>
#include <QPointer>

class TDBCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit TDBCheckBox(QWidget* parent = nullptr);
    TDBCheckBox(const QString& text, QWidget* parent = nullptr);

    TDataSource* DataSource() const { return FDataSource; }
    void SetDataSource(TDataSource* source);
    QString DataField() const { return FDataField; }
    void SetDataField(const QString& name);
    QString ValueChecked() const { return FValueChecked; }
    void SetValueChecked(const QString& value);
    QString ValueUnchecked() const { return FValueUnchecked; }
    void SetValueUnchecked(const QString& value);

private:
    void ShowValue();
    void UserToggled(bool checked);

    QPointer<TDataSource> FDataSource;
    QString FDataField;
    QString FValueChecked = "T";
    QString FValueUnchecked = "F";
};
