#include "TitleBar.h"

#include <QEvent>
#include <QObject>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace {

class TWindowStateGuard : public QObject {
public:
    explicit TWindowStateGuard(QWidget* window) : QObject(window), FWindow(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == FWindow && event->type() == QEvent::WindowStateChange &&
            (FWindow->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))) {
            // After the change has settled: the window manager may still be carrying it out.
            QTimer::singleShot(0, FWindow, [window = FWindow] {
                if (!window->isVisible() && !window->isMinimized())
                    return;
                window->setWindowState(Qt::WindowNoState);
                window->show();
                window->raise();
                window->activateWindow();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* FWindow;
};

} // namespace

void FixDialogSize(QWidget* window, QSize minimum) {
    QSize size = window->sizeHint().expandedTo(minimum);
    if (const QScreen* screen = window->screen())
        size = size.boundedTo(screen->availableGeometry().size());
    window->setFixedSize(size);
}

void AllowTitleBarButtons(QWidget* window, TTitleBarButtons buttons) {
    Qt::WindowFlags flags = window->windowFlags() & (Qt::WindowType_Mask | Qt::WindowStaysOnTopHint);
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (buttons == TTitleBarButtons::SystemMenuAndClose)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    window->setWindowFlags(flags);
    window->installEventFilter(new TWindowStateGuard(window));
}
