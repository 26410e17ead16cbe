#include "WindowStore.h"

#include "ProfileFile.h"
#include "Settings.h"

#include <algorithm>

namespace {
const QString LoginSection = QStringLiteral("Login");
}

QString WindowStateName(TWindowState state) {
    switch (state) {
    case wsMinimized:
        return QStringLiteral("wsMinimized");
    case wsMaximized:
        return QStringLiteral("wsMaximized");
    case wsNormal:
        break;
    }
    return QStringLiteral("wsNormal");
}

std::optional<TWindowState> WindowStateFromName(const QString& name) {
    for (const TWindowState state : {wsNormal, wsMinimized, wsMaximized})
        if (name.compare(WindowStateName(state), Qt::CaseInsensitive) == 0)
            return state;
    return std::nullopt;
}

QString WindowSectionName(const QString& executablePath, const QString& className) {
    // Both separators count as folder separators: the name may come from either platform.
    const qsizetype slash = std::max(executablePath.lastIndexOf(u'/'), executablePath.lastIndexOf(u'\\'));
    QString name = executablePath.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    return name + u'.' + className;
}

QString ReadLoginName() {
    return ProfileFile(EnsureTempFileName()).ReadString(LoginSection, QStringLiteral("NAME"), QString());
}

void WriteLoginName(const QString& name) {
    ProfileFile(EnsureTempFileName()).WriteString(LoginSection, QStringLiteral("NAME"), name);
}

bool ReadLoginShowTime() {
    return ProfileFile(EnsureTempFileName()).ReadBool(LoginSection, QStringLiteral("SHOWTIME"), false);
}

void WriteLoginShowTime(bool show) {
    ProfileFile(EnsureTempFileName()).WriteBool(LoginSection, QStringLiteral("SHOWTIME"), show);
}
