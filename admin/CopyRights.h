// Copying one user's rights to another: the target gets exactly the source's program grants
// (KMR_PROG_FOR_USER) and group in each program (KMR_GROUP_FOR_USER), replacing its own, in one
// transaction on the main server, repeated on the reserve server while mirroring (the reserve gets
// the rows read on the main server, so both end alike). Every value is a bind variable. Nothing is
// changed when the program is in view mode, when either user is gone, or when a statement fails.
// No window: the caller says what the result means. User-interface thread only.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <map>

class TCopyRights {
public:
    // What a user holds: the granted programs, and the group in each program that has one.
    struct TRights {
        std::map<int, bool> Grants;
        std::map<int, int> Groups;
        bool operator==(const TRights&) const = default;
    };

    enum class TOutcome {
        Copied,
        ViewMode,      // refused: view mode, nothing sent
        SourceMissing, // the source user was deleted meanwhile
        TargetMissing, // the target user was deleted meanwhile
        Failed         // a statement failed; everything rolled back
    };

    struct TResult {
        TOutcome Outcome = TOutcome::Failed;
        // The server's message of a failure.
        QString Error;
        // What changed for the target, one line each (empty: the rights were alike already).
        QStringList Changes;
    };

    // Copies the rights of source to target (two different user numbers).
    static TResult Copy(int sourceTabNum, int targetTabNum);

    // The lines of a summary: programs granted and withdrawn, and groups set, changed or removed,
    // named by the program's and the group's names (numbers where a name is unknown).
    static QStringList Describe(const TRights& before, const TRights& after,
                                const QMap<int, QString>& programs,
                                const QMap<QPair<int, int>, QString>& groups);

    // The statement that inserts rows of values in one round trip: "INSERT INTO table (columns)"
    // and one "SELECT :Vr_c, ... FROM DUAL" per row, joined by UNION ALL.
    static QStringList InsertRowsStatement(const QString& table, const QStringList& columns, int rows);
};
