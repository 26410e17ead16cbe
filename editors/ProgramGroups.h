// The groups of one application on the servers, without a window: the lists the group editor shows,
// the name rules, the next group number, and the insert and delete of a group. Every statement runs
// through a TNoteDataSet of its own, so changes pass its gate of edit mode and mirroring.
// User-interface thread only.
#pragma once

#include <QList>
#include <QString>

#include <optional>

class TProgramGroups {
public:
    explicit TProgramGroups(int programId) : FProgramId(programId) {}

    int ProgramId() const { return FProgramId; }

    // A group or a property as the lists show it.
    struct TEntry {
        int Id;
        QString Name;
    };
    // The groups in ID_GROUP order (none when the query does not open; the rows read so far when a
    // fetch fails). Also learns the size of GROUP_NAME from the server.
    QList<TEntry> Groups();
    // The application's properties (KMR_PROG_PROP) in ID_PROP order.
    QList<TEntry> Properties();

    // Room for a group name in bytes as the server stores text (UTF-8: a Cyrillic letter takes two).
    int NameLimit() const { return FNameLimit; }
    enum class TNameFault { None, Blank, TooLong };
    TNameFault CheckName(const QString& name) const;
    // The name as the duplicate rule compares it: blanks and control characters trimmed from both
    // ends, letters in upper case (Cyrillic included).
    static QString Comparable(const QString& name);

    // Whether a group of this application already has the name under the duplicate rule; nullopt
    // when the names cannot be read.
    std::optional<bool> IsDuplicate(const QString& name);
    // The number for a new group: above every number of this application in the groups and in the
    // memberships, so a deleted group's members never pass to a new one. -1 when it cannot be read.
    int NextGroupNumber();
    // Inserts and commits the group, the name as a bind variable; false with the server's message.
    bool Insert(int groupId, const QString& name, QString& error);
    // Deletes and commits the group; memberships are left as they are.
    bool Delete(int groupId, QString& error);
    // Whether the group is stored on the main server; nullopt when that cannot be read.
    std::optional<bool> Stored(int groupId);

private:
    QList<TEntry> ReadList(const QStringList& statement, const QString& idColumn, const QString& nameColumn,
                           bool learnNameSize);

    int FProgramId;
    int FNameLimit = 200;
};
