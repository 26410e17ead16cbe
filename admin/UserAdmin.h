// What the user list of the administration window does on the servers, without a window: the user
// count, the number of a new user, and the repetition of posted and deleted user rows on the
// reserve server while mirroring.
#pragma once

#include <QStringList>
#include <QVariant>

class TOracleDataSet;

class TUserAdmin {
public:
    // The user list: every row of KMR_USER_PSW with its ROWID, ordered by group and full name.
    static QStringList UserListStatement();

    // Rows in KMR_USER_PSW, or -1 when they cannot be counted.
    static int UserCount();

    // The number for a new user: above every number the user table, the grants and the group
    // memberships still use, so a deleted user's grants never pass to a new person. -1 when it cannot
    // be read.
    static int NextUserNumber();

    // A new row is numbered when it is added, but stored only when posted: another administrator
    // may have stored a user under that number meanwhile. Then the row takes the next free number
    // rather than failing on the duplicate key. Nothing changes when the check cannot be read.
    static void RenumberIfTaken(TOracleDataSet& users);

    // A user row as the list shows it.
    struct TUserRow {
        QVariant TabNum, AllName, Name, GroupId, WEnabled, IpAdr, Ip;
    };
    static TUserRow CurrentRow(const TOracleDataSet& users);

    // Repeats a posted row (insert or change) on the reserve session by TABNUM: the columns the list
    // edits are updated, or the row is inserted when the reserve server has none. Other columns of
    // the reserve row (the password among them) are left alone. A failure is rolled back there and
    // ignored, as for deletes. Returns whether the reserve server took the change.
    static bool MirrorPost(const TUserRow& row);

    // Deletes the user on the reserve session and commits; a failure is rolled back and ignored.
    static bool MirrorDelete(int tabNum);
};
