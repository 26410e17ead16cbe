// The administration tables compared between the main and the reserve server, and how each is read
// and addressed.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct TReserveTable {
    QString Name;  // as written in statements
    QString Title; // what the administrator reads
    // One read of the whole table; every compared column is named here or comes with "*".
    QString SelectText;
    // Columns that identify a row; empty: the rows are compared as a multiset.
    QStringList KeyColumns;
    // Columns read but not compared (the last sign-in address, written at every sign-in).
    QStringList SkippedColumns;
    // Keyless tables: a row only on the main server and one only on the reserve that agree in these
    // columns are shown as one changed row (a user's group in one program).
    QStringList PairColumns;
    // KMR_PROGRAMMEXE: the column PRCOD_LENGTH stands for the executable's bytes, which are not read.
    bool Executables = false;
    // Rows per fetch call: many for narrow rows, so that the grants of ten thousand users come in a
    // few round trips, fewer for wide ones, so that the fetch buffer stays at a few megabytes.
    int RowsPerFetch = 500;
};

// The column that carries the length of the stored executable instead of its bytes.
inline constexpr const char* ExecutableLengthColumn = "PRCOD_LENGTH";

// The compared tables, in the order they are read, listed and written.
const QList<TReserveTable>& ReserveTables();
// The table of that name (case-blind), nullptr for any other.
const TReserveTable* FindReserveTable(const QString& name);
// A column's name in words ("Ф.И.О.", "Разрешение на работу"); the name itself for others.
QString ReserveColumnTitle(const QString& column);
