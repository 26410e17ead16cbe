// A read-only text showing one field of the current record.
#pragma once

#include "DataSource.h"

#include <QLabel>
#include <QPointer>

class TDBText : public QLabel {
    Q_OBJECT
public:
    explicit TDBText(QWidget* parent = nullptr);

    TDataSource* DataSource() const { return FDataSource; }
    void SetDataSource(TDataSource* source);
    QString DataField() const { return FDataField; }
    void SetDataField(const QString& name);

private:
    void ShowValue();

    QPointer<TDataSource> FDataSource;
    QString FDataField;
};
