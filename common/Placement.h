// Placement of windows on a desktop of one or more monitors, as pure functions over a plain
// description of the desktop, and the token reader of the command-line sign-in.
//
// Rectangles are a window's outer bounds (left, top, width, height) in desktop coordinates.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <optional>

// What the placement rules need to know about the desktop.
struct DesktopInfo {
    QList<QRect> Monitors; // each monitor's bounds
    QPoint Mouse;          // the mouse cursor
};

// The largest (left + width) and (top + height) over the monitors, both at least 0.
struct DesktopExtent {
    int Right = 0;
    int Bottom = 0;
};
DesktopExtent DesktopExtentOf(const DesktopInfo& desktop);

// With two monitors or more, a form the mouse is not over is centred on the mouse along each axis
// where the cursor lies outside it. The size never changes.
QRect MoveToMouseMonitor(const QRect& form, const DesktopInfo& desktop);

// Shrinks the form to the desktop extent and pulls it inside; the top-left limit is (0, 0) even
// when a monitor lies at negative coordinates. A desktop without monitors changes nothing.
QRect FitToDesktop(const QRect& form, const DesktopInfo& desktop);

// True when the whole desktop, not the primary monitor, is the form's default monitor.
bool UseDesktopMonitor(const DesktopInfo& desktop);

// Where a message box's top-left corner goes: 100 pixels above and left of the mouse with two
// monitors or more; no value means the platform's default placement.
std::optional<QPoint> MessageBoxPosition(const DesktopInfo& desktop);

// A stored window rectangle pulled back so that at least margin pixels of it stay on the desktop in
// each direction; the size never changes. A desktop without monitors changes nothing.
QRect PullOntoDesktop(const QRect& stored, int margin, const DesktopInfo& desktop);

// Reads the token starting at the 1-based position up to the next delimiter. Afterwards position
// is just past that delimiter, or 0 when the text is used up; a position outside the text gives an
// empty token and 0.
QString NextToken(const QString& text, QChar delimiter, int& position);
