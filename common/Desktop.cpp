#include "Desktop.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

const IDesktop* Installed = nullptr;

// Moves and resizes the window so that its outer bounds become target; the frame keeps its size.
void SetOuterBounds(QWidget* form, const QRect& current, const QRect& target) {
    if (target == current)
        return;
    if (target.size() != current.size()) {
        const QSize frame = current.size() - form->size();
        form->resize(target.size() - frame);
    }
    form->move(target.topLeft());
}

} // namespace

DesktopInfo QtDesktop::Describe() const {
    DesktopInfo info;
    for (const QScreen* screen : QGuiApplication::screens())
        info.Monitors.append(screen->geometry());
    info.Mouse = QCursor::pos();
    return info;
}

const IDesktop& CurrentDesktop() {
    static const QtDesktop qtDesktop;
    return Installed ? *Installed : qtDesktop;
}

ScopedDesktop::ScopedDesktop(const IDesktop& desktop) : FPrevious(Installed) {
    Installed = &desktop;
}

ScopedDesktop::~ScopedDesktop() {
    Installed = FPrevious;
}

void MoveToMouseMonitor(QWidget* form) {
    if (!form)
        return;
    const QRect current = form->frameGeometry();
    SetOuterBounds(form, current, MoveToMouseMonitor(current, CurrentDesktop().Describe()));
}

void FitToDesktop(QWidget* form) {
    if (!form)
        return;
    const QRect current = form->frameGeometry();
    SetOuterBounds(form, current, FitToDesktop(current, CurrentDesktop().Describe()));
}

void UseDesktopMonitor(QWidget* form) {
    if (!form)
        return;
    const DesktopInfo desktop = CurrentDesktop().Describe();
    if (!UseDesktopMonitor(desktop))
        return;
    QRect whole;
    for (const QRect& monitor : desktop.Monitors)
        whole |= monitor;
    QRect bounds = form->frameGeometry();
    bounds.moveCenter(whole.center());
    form->move(bounds.topLeft());
}
