// The signed-in user's profile and the rights of the user's group.
#pragma once

#include <QString>

#include <array>

class TOracleQuery;

struct TUserProfile {
    // Property numbers 0..41; 27 and 28 are never granted.
    static constexpr int RightCount = 42;

    int TabNum = 0;
    QString NAME;
    QString PWD;
    QString ALLNAME;
    QString GROUPID; // the group number in text form, as read
    int Shema = 0;
    bool BMMessage = false;
    bool BMGoToMessage = false;
    bool BMRegl = false;
    bool BMSound = false;
    bool BMChWind = false;
    bool BMZklTop = false;
    std::array<bool, RightCount> Rights{};
    int ACTIONID = 0;

    void Clear() { *this = TUserProfile(); }
};

// The one profile of the run, filled by the sign-in.
extern TUserProfile UserProfile;

// The right to run the administration tool: property 14 of the user's group.
bool AdminRight();

// Property numbers that carry a right.
bool IsRightNumber(int property);
// Grants one property read from USER_G_P; numbers without a right are ignored.
void GrantRight(TUserProfile& profile, int property);
// Property 24 narrows the group's rights to a fixed set. Returns whether it was granted (then the
// group's action code is not read).
bool ApplyNarrowingRight(TUserProfile& profile);

// Reads the profile from the accepted USER_PSW row that `query` is positioned on, then the group's
// rights and action code through a second query on the same session. A missing profile column
// raises the query's "Field ... does not exist"; failures while reading the rights are swallowed.
// Returns 1, the modal result of an accepted sign-in.
int LoadUserProfile(TOracleQuery& query, TUserProfile& profile);
