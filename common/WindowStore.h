// Rules of the window geometry store Temp.tmp that need no window: the section names, the names of
// the window states, and the [Login] section of the sign-in dialog.
#pragma once

#include <QString>
#include <optional>

// The window states as the store names them.
enum TWindowState { wsNormal, wsMinimized, wsMaximized };

QString WindowStateName(TWindowState state);
// The state a stored name stands for, compared without regard to case; none for any other text.
std::optional<TWindowState> WindowStateFromName(const QString& name);

// The executable's file name without its folder, its extension replaced by "." (a name without
// extension just gets the "."), followed by the class name: "Admin_KMR.exe" and "TKMF_Admin" give
// "Admin_KMR.TKMF_Admin". Separate copies of the program thus keep separate geometry.
QString WindowSectionName(const QString& executablePath, const QString& className);

// [Login] of TempFileName (set from the working directory first when it is still empty):
// NAME, the user name last confirmed in the sign-in dialog (default empty), and SHOWTIME, whether
// its caption shows the shift time (default false). Writing raises EIniFileException on failure.
QString ReadLoginName();
void WriteLoginName(const QString& name);
bool ReadLoginShowTime();
void WriteLoginShowTime(bool show);
