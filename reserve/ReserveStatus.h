// The status-bar entry of the administration window: "Резервный сервер отличается от основного"
// with the button "Сравнить…", shown while the last comparison found the servers different.
#pragma once

#include "ReserveMonitor.h"
#include "ReserveView.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;

class TReserveStatus : public QWidget {
    Q_OBJECT
public:
    explicit TReserveStatus(QWidget* parent = nullptr);

    // The monitor whose state the entry shows (not owned); nothing is shown without one.
    void SetMonitor(TReserveMonitor* monitor);
    TReserveMonitor* Monitor() const { return FMonitor; }

    QLabel* lbReserveDiffers;
    QPushButton* btReserveCompare;

    // Opens the comparison window (one for the whole run) and starts a detailed comparison.
    void btReserveCompareClick();
    TFReserveCompare* CompareWindow() const { return FWindow; }

private:
    void MonitorStateChanged();

    QPointer<TReserveMonitor> FMonitor;
    QPointer<TFReserveCompare> FWindow;
};
