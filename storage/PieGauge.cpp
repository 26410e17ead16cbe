#include "PieGauge.h"

#include <QPainter>

#include <algorithm>

TPieGauge::TPieGauge(QWidget* parent) : QWidget(parent) {
    setAccessibleName(QStringLiteral("Ход передачи"));
    Changed();
}

void TPieGauge::SetRange(int minValue, int maxValue) {
    FMin = minValue;
    FMax = std::max(minValue, maxValue);
    FProgress = std::clamp(FProgress, FMin, FMax);
    Changed();
}

void TPieGauge::SetProgress(int value) {
    FProgress = std::clamp(value, FMin, FMax);
    Changed();
}

int TPieGauge::PercentDone() const {
    if (FMax == FMin)
        return 0;
    return int((qint64(FProgress - FMin) * 100) / (FMax - FMin));
}

void TPieGauge::Changed() {
    setAccessibleDescription(QStringLiteral("%1 %").arg(PercentDone()));
    update();
}

void TPieGauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = std::min(width(), height()) - 2;
    const QRectF disc((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setBrush(palette().color(QPalette::Base));
    painter.drawEllipse(disc);
    const int span = FMax == FMin ? 0 : int(qint64(FProgress - FMin) * 360 * 16 / (FMax - FMin));
    if (span > 0) {
        painter.setBrush(palette().color(QPalette::Highlight));
        // Qt counts angles anticlockwise from three o'clock; the pie grows clockwise from twelve.
        painter.drawPie(disc, 90 * 16, -span);
    }
}
