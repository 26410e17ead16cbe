// The differences in words an administrator reads: user, program and group names instead of
// numbers, "да"/"нет" for flags, the password never shown.
#pragma once

#include "ReserveDiff.h"

#include <QHash>
#include <QString>
#include <QStringList>

class TReserveNames {
public:
    enum ESide { Main = 0, Reserve = 1 };

    // Takes the names of users, programs and groups from one server's rows of those tables.
    void Add(const TReserveTable& table, const TTableRows& rows, ESide side);

    // Names as the given server has them, else as the other one has them:
    // "Иванов Иван Иванович (ivanov)", or "пользователь № 7" when no server knows the number.
    QString User(const QVariant& tabNum, ESide side = Main) const;
    // "«Дефекты»", or "программа № 4".
    QString Program(const QVariant& id, ESide side = Main) const;
    // "«Диспетчеры»", or "группа № 2".
    QString Group(const QVariant& program, const QVariant& group, ESide side = Main) const;

private:
    QString Find(const QHash<QString, QString> (&maps)[2], const QString& key, ESide side) const;
    QHash<QString, QString> FUsers[2], FPrograms[2], FGroups[2];
};

// "1 раз", "2 раза", "5 раз".
QString ReserveTimes(int n);
// The row named in words, with the names of the server that holds it. Rows shown as changed are
// named by the columns that identify them only.
QString DescribeReserveRow(const TTableDiff& diff, const QVariantList& row, const TReserveNames& names,
                           bool identityOnly = false, TReserveNames::ESide side = TReserveNames::Main);
// One value in words ("пусто" for NULL).
QString DescribeReserveValue(const TTableDiff& diff, int column, const QVariantList& row,
                             const TReserveNames& names, TReserveNames::ESide side = TReserveNames::Main);
// The server whose names describe the change's row: the reserve's for a row only there.
TReserveNames::ESide ReserveRowSide(const TRowChange& change);
// Where the row is: "только на основном сервере", "на основном 2 раза, на резервном 1 раз", "отличается".
QString DescribeReserveKind(const TRowChange& change);
// The changed columns, one line each: "Ф.И.О.: на основном «…», на резервном «…»".
QStringList DescribeReserveColumns(const TTableDiff& diff, const TRowChange& change,
                                   const TReserveNames& names);
// The whole report of one table as text lines (the command prints them).
QStringList DescribeReserveTable(const TTableDiff& diff, const TReserveNames& names);
// "только на основном 1, только на резервном 0, отличаются 2".
QString DescribeReserveCounts(const TTableDiff& diff);
