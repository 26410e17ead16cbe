// What the search box above a user list narrows by: every word typed must occur, case-blind
// (Cyrillic included), in the full name, the sign-in name or the allowed address list of a user.
// The text is only ever compared here, never sent to a server.
#pragma once

#include <QString>
#include <QStringList>

class TUserSearch {
public:
    TUserSearch() = default;
    explicit TUserSearch(const QString& text);

    // Nothing typed but blanks: every user matches.
    bool IsEmpty() const { return FWords.isEmpty(); }
    bool Matches(const QString& fullName, const QString& signInName, const QString& addresses = {}) const;

private:
    QStringList FWords;
};
