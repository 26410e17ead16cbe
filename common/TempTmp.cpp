#include "TempTmp.h"

#include "Desktop.h"
#include "Settings.h"
#include "WindowStore.h"

#include <QCoreApplication>
#include <QWidget>

namespace {

const QString KeyLeft = QStringLiteral("Left");
const QString KeyTop = QStringLiteral("Top");
const QString KeyWidth = QStringLiteral("Width");
const QString KeyHeight = QStringLiteral("Height");
const QString KeyWindowState = QStringLiteral("WindowState");

QString ClassNameOf(const QWidget* control, const QString& className) {
    if (!className.isEmpty() || !control)
        return className;
    return QString::fromLatin1(control->metaObject()->className());
}

// A window the user can resize keeps its size in the store; a fixed one only its position.
bool IsSizeable(const QWidget* window) {
    if (window->windowFlags() & (Qt::FramelessWindowHint | Qt::MSWindowsFixedSizeDialogHint))
        return false;
    return window->minimumSize() != window->maximumSize();
}

Qt::WindowState ToQt(TWindowState state) {
    switch (state) {
    case wsMinimized:
        return Qt::WindowMinimized;
    case wsMaximized:
        return Qt::WindowMaximized;
    case wsNormal:
        break;
    }
    return Qt::WindowNoState;
}

} // namespace

TTempTmp::TTempTmp(QWidget* control, const QString& className)
    : ProfileFile(EnsureTempFileName()),
      FSection(WindowSectionName(QCoreApplication::applicationFilePath(), ClassNameOf(control, className))),
      FControl(control) {}

void TTempTmp::Restore(int margin) {
    if (!FControl)
        return;
    const QRect current = FControl->geometry();
    QRect bounds(ReadInteger(FSection, KeyLeft, current.x()), ReadInteger(FSection, KeyTop, current.y()),
                 ReadInteger(FSection, KeyWidth, current.width()),
                 ReadInteger(FSection, KeyHeight, current.height()));
    if (FControl->isWindow())
        bounds = PullOntoDesktop(bounds, margin, CurrentDesktop().Describe());
    // A window that was never placed has no position of its own yet (Qt reports 0, 0, which would put
    // the title bar above the screen): without a stored one the window manager places it.
    if (FControl->isWindow() && !FControl->testAttribute(Qt::WA_Moved) && !ValueExists(FSection, KeyLeft) &&
        !ValueExists(FSection, KeyTop))
        FControl->resize(bounds.size());
    else
        FControl->setGeometry(bounds);
    if (!FControl->isWindow())
        return;
    const auto state = WindowStateFromName(ReadString(FSection, KeyWindowState, WindowStateName(wsNormal)));
    if (state)
        FControl->setWindowState(ToQt(*state));
}

void TTempTmp::Save() {
    if (!FControl)
        return;
    QRect bounds = FControl->geometry();
    const bool window = FControl->isWindow();
    if (window) {
        const Qt::WindowStates state = FControl->windowState();
        if (state & Qt::WindowMinimized)
            WriteString(FSection, KeyWindowState, WindowStateName(wsMinimized));
        else if (state & (Qt::WindowMaximized | Qt::WindowFullScreen))
            WriteString(FSection, KeyWindowState, WindowStateName(wsMaximized));
        else
            DeleteKey(FSection, KeyWindowState);
        // A maximised or minimised window stores the rectangle it returns to, also when its native
        // window is gone (a closed main window on X11 keeps its restored rectangle only in Qt).
        if (state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) {
            const QRect normal = FControl->normalGeometry();
            if (normal.isValid())
                bounds = normal;
        }
    }
    WriteInteger(FSection, KeyLeft, bounds.x());
    WriteInteger(FSection, KeyTop, bounds.y());
    if (window && !IsSizeable(FControl)) {
        DeleteKey(FSection, KeyWidth);
        DeleteKey(FSection, KeyHeight);
        return;
    }
    WriteInteger(FSection, KeyWidth, bounds.width());
    WriteInteger(FSection, KeyHeight, bounds.height());
}
