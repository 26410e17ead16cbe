#include "Placement.h"

#include <algorithm>

DesktopExtent DesktopExtentOf(const DesktopInfo& desktop) {
    DesktopExtent extent;
    for (const QRect& monitor : desktop.Monitors) {
        extent.Right = std::max(extent.Right, monitor.x() + monitor.width());
        extent.Bottom = std::max(extent.Bottom, monitor.y() + monitor.height());
    }
    return extent;
}

QRect MoveToMouseMonitor(const QRect& form, const DesktopInfo& desktop) {
    if (desktop.Monitors.size() < 2)
        return form;
    int left = form.x();
    int top = form.y();
    const int width = form.width();
    const int height = form.height();
    const QPoint mouse = desktop.Mouse;
    if (mouse.x() < left || mouse.x() > left + width)
        left = mouse.x() - width / 2;
    if (mouse.y() < top || mouse.y() > top + height)
        top = mouse.y() - height / 2;
    return QRect(left, top, width, height);
}

QRect FitToDesktop(const QRect& form, const DesktopInfo& desktop) {
    // Without a monitor there is no desktop to fit into; a zero extent would shrink the form away.
    if (desktop.Monitors.isEmpty())
        return form;
    const DesktopExtent extent = DesktopExtentOf(desktop);
    int left = form.x();
    int top = form.y();
    const int width = std::min(form.width(), extent.Right);
    const int height = std::min(form.height(), extent.Bottom);
    if (left + width > extent.Right)
        left = extent.Right - width;
    if (top + height > extent.Bottom)
        top = extent.Bottom - height;
    left = std::max(left, 0);
    top = std::max(top, 0);
    return QRect(left, top, width, height);
}

bool UseDesktopMonitor(const DesktopInfo& desktop) {
    return desktop.Monitors.size() > 1;
}

std::optional<QPoint> MessageBoxPosition(const DesktopInfo& desktop) {
    if (desktop.Monitors.size() < 2)
        return std::nullopt;
    return desktop.Mouse - QPoint(100, 100);
}

QRect PullOntoDesktop(const QRect& stored, int margin, const DesktopInfo& desktop) {
    if (desktop.Monitors.isEmpty())
        return stored;
    const DesktopExtent extent = DesktopExtentOf(desktop);
    const int left = std::max(margin - stored.width(), std::min(stored.x(), extent.Right - margin));
    const int top = std::max(margin - stored.height(), std::min(stored.y(), extent.Bottom - margin));
    return QRect(left, top, stored.width(), stored.height());
}

QString NextToken(const QString& text, QChar delimiter, int& position) {
    if (position <= 0 || position > text.size()) {
        position = 0;
        return QString();
    }
    const qsizetype start = position - 1;
    const qsizetype found = text.indexOf(delimiter, start);
    if (found < 0) {
        position = 0;
        return text.mid(start);
    }
    position = static_cast<int>(found) + 2;
    return text.mid(start, found - start);
}
