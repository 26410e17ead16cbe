#include "ReserveStatus.h"

#include "ReserveMonitor.h"
#include "ReserveView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

TReserveStatus::TReserveStatus(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ReserveDiffers"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    lbReserveDiffers = new QLabel(QStringLiteral("Резервный сервер отличается от основного"), this);
    lbReserveDiffers->setObjectName(QStringLiteral("lbReserveDiffers"));
    btReserveCompare = new QPushButton(QStringLiteral("Сравнить…"), this);
    btReserveCompare->setObjectName(QStringLiteral("btReserveCompare"));
    btReserveCompare->setAccessibleName(QStringLiteral("Сравнить резервный сервер с основным"));
    btReserveCompare->setToolTip(QStringLiteral("Показать, чем резервный сервер отличается от основного"));
    btReserveCompare->setAutoDefault(false);
    layout->addWidget(lbReserveDiffers);
    layout->addWidget(btReserveCompare);
    connect(btReserveCompare, &QPushButton::clicked, this, &TReserveStatus::btReserveCompareClick);
    hide();
}

void TReserveStatus::SetMonitor(TReserveMonitor* monitor) {
    if (FMonitor)
        disconnect(FMonitor, nullptr, this, nullptr);
    FMonitor = monitor;
    if (FMonitor)
        connect(FMonitor, &TReserveMonitor::StateChanged, this, &TReserveStatus::MonitorStateChanged);
    MonitorStateChanged();
}

void TReserveStatus::MonitorStateChanged() {
    setVisible(FMonitor && FMonitor->State() == TReserveMonitor::msDifferent);
}

void TReserveStatus::btReserveCompareClick() {
    if (!FMonitor)
        return;
    if (!FWindow)
        FWindow = new TFReserveCompare(*FMonitor, window());
    FWindow->show();
    FWindow->raise();
    FWindow->activateWindow();
    FWindow->btCompareClick();
}
