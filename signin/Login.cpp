#include "Login.h"

#include "Oracle.h"

TUserProfile UserProfile;

bool AdminRight() {
    return UserProfile.Rights[14];
}

bool IsRightNumber(int property) {
    return (property >= 0 && property <= 26) || (property >= 29 && property <= 41);
}

void GrantRight(TUserProfile& profile, int property) {
    if (IsRightNumber(property))
        profile.Rights[size_t(property)] = true;
}

bool ApplyNarrowingRight(TUserProfile& profile) {
    if (!profile.Rights[24])
        return false;
    // Property 24 narrows the group to a fixed set: 14, 16 and 24 keep their values, 12 and 13 are given.
    for (int n = 0; n < TUserProfile::RightCount; ++n) {
        if (n != 14 && n != 16 && n != 24)
            profile.Rights[size_t(n)] = false;
    }
    profile.Rights[12] = true;
    profile.Rights[13] = true;
    return true;
}

namespace {

int AsInt(const QVariant& v) {
    return v.isValid() && !v.isNull() ? v.toInt() : 0;
}
bool AsFlag(const QVariant& v) {
    return v.isValid() && !v.isNull() && v.toString() == QStringLiteral("T");
}

} // namespace

int LoadUserProfile(TOracleQuery& query, TUserProfile& profile) {
    // No guard: a missing column refuses the sign-in with the query's own message.
    profile.TabNum = AsInt(query.Field(QStringLiteral("TabNum")));
    profile.NAME = query.FieldAsString(QStringLiteral("NAME"));
    profile.PWD = query.FieldAsString(QStringLiteral("PWD"));
    profile.ALLNAME = query.FieldAsString(QStringLiteral("ALLNAME"));
    profile.GROUPID = query.FieldAsString(QStringLiteral("GROUPID"));
    profile.Shema = AsInt(query.Field(QStringLiteral("Shema")));
    profile.BMMessage = AsFlag(query.Field(QStringLiteral("BMMessage")));
    profile.BMGoToMessage = AsFlag(query.Field(QStringLiteral("BMGoToMessage")));
    profile.BMRegl = AsFlag(query.Field(QStringLiteral("BMRegl")));
    profile.BMSound = AsFlag(query.Field(QStringLiteral("BMSound")));
    profile.BMChWind = AsFlag(query.Field(QStringLiteral("BMChWind")));
    profile.BMZklTop = AsFlag(query.Field(QStringLiteral("BMZklTop")));

    profile.Rights.fill(false);
    TOracleQuery rights;
    try {
        rights.SetSession(query.Session());
        // GROUPID is bound, not pasted: an empty group number then simply finds no rights.
        bool isNumber = false;
        const int group = profile.GROUPID.toInt(&isNumber);
        if (!isNumber)
            return 1;
        rights.SQL() << QStringLiteral("SELECT USER_PROP FROM USER_G_P")
                     << QStringLiteral("WHERE USER_GROUP = :GRP");
        rights.DeclareVariable(QStringLiteral("GRP"), otInteger);
        rights.SetVariable(QStringLiteral("GRP"), group);
        rights.Execute();
        while (!rights.Eof()) {
            // A NULL property number reads as 0.
            GrantRight(profile, AsInt(rights.Field(QStringLiteral("USER_PROP"))));
            rights.Next();
        }
        if (ApplyNarrowingRight(profile))
            return 1;
        rights.Close();
        rights.SQL().clear();
        rights.SQL() << QStringLiteral("SELECT ACTIONID FROM USER_GROUP")
                     << QStringLiteral("WHERE ID = :GRP");
        rights.Execute();
        if (!rights.Eof())
            profile.ACTIONID = AsInt(rights.Field(QStringLiteral("ACTIONID")));
    } catch (...) {
        // The rights stay as read so far; without the administration right the window ends the program.
    }
    return 1;
}
