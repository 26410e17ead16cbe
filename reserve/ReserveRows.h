// The rows of one compared table as one server holds them, read once: a fingerprint (row count and
// an order-independent hash) and, when asked for, the rows themselves.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <atomic>
#include <vector>

class TOracleSession;
struct TReserveTable;

struct TTableRows {
    // Compared columns, upper-cased and sorted by name, so that two servers whose tables list the
    // same columns in another order still compare row by row.
    QStringList Columns;
    // Buffer type of each column (otInteger, otFloat, otString, otDate), for binding the values.
    QList<int> Types;
    qint64 Count = 0;
    // Sum of the row hashes: independent of the order, and a row held twice counts twice.
    quint64 Hash = 0;
    bool Kept = false;
    // One list of cells per row, in Columns order; an invalid QVariant is NULL. Only when kept.
    std::vector<QVariantList> Rows;

    bool SameFingerprint(const TTableRows& other) const {
        return Columns == other.Columns && Count == other.Count && Hash == other.Hash;
    }
};

// The canonical text of a value: numbers without a trailing fraction, dates to the second, NULL as
// a null string. Two servers that describe a column differently (NUMBER(9) and NUMBER) agree.
QString ReserveCellText(const QVariant& value);
// A row as one text with the cells length-prefixed, so that no value can imitate a column border.
QString ReserveRowText(const QVariantList& cells);
// A well-mixed 64-bit hash of the row text (stable across runs and machines).
quint64 ReserveRowHash(const QVariantList& cells);

// Thrown when the reading was cancelled (program end).
struct TReserveCancelled {};

// Reads a whole table through one query on a connected session: one statement execution and one
// fetch call per readBuffer rows. Keeps the rows when keepRows is true. Errors of the access layer
// reach the caller; a cancel request between two rows throws TReserveCancelled.
TTableRows ReadTableRows(TOracleSession& session, const TReserveTable& table, bool keepRows,
                         const std::atomic<bool>* cancel = nullptr, int readBuffer = 500);
