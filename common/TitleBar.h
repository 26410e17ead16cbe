// The title-bar buttons a window's description allows, as hints to the window manager, and a guard
// for the managers that offer more anyway (some always offer minimising, and maximising any window
// whose size can change): a state the window does not allow is undone at once, so a modal dialog
// can never vanish into the task bar and leave the program looking frozen.
#pragma once

#include <QSize>
#include <Qt>

class QWidget;

enum class TTitleBarButtons {
    None,               // a caption only
    SystemMenuAndClose, // the system menu and the close button
};

// Sets the window flags for the buttons (keeping the window type and the stays-on-top hint) and
// refuses minimising and maximising. Call it before the window is first shown.
void AllowTitleBarButtons(QWidget* window, TTitleBarButtons buttons);

// A dialog border: the size is fixed at least at minimum, larger where the contents need it, never
// larger than the available screen (so no window manager offers to maximise it).
void FixDialogSize(QWidget* window, QSize minimum);
