// The difference of one table between the main and the reserve server, and the steps that make the
// reserve hold what the main server holds. Plain data: computed without a server, so a test can
// call it on rows it made up.
#pragma once

#include "ReserveRows.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

struct TReserveTable;

struct TRowChange {
    enum EKind { OnlyOnMain, OnlyOnReserve, Differs };
    EKind Kind = OnlyOnMain;
    QVariantList Main;    // the row on the main server (OnlyOnMain, Differs)
    QVariantList Reserve; // the row on the reserve server (OnlyOnReserve, Differs)
    // How often this very row is held on each server: rows of tables without a key are a multiset,
    // so a row held twice on one server and once on the other is a difference.
    int MainCopies = 0;
    int ReserveCopies = 0;
    QList<int> Changed; // Differs: indexes of the columns whose values differ
    // A key column is NULL: the row is listed as it is, never matched to another row by its key.
    bool NullKey = false;
};

struct TSyncStep {
    enum EOp { DeleteByKey, DeleteRow, Update, Insert };
    EOp Op = Insert;
    // Insert, Update: the main server's row; DeleteRow: the reserve's row (every copy of it goes);
    // DeleteByKey: a row holding the key.
    QVariantList Row;
    QList<int> Columns; // Update: the columns to set (never a key column)
    // KMR_PROGRAMMEXE: the stored bytes are copied too (a new row, or a length or time that differs).
    bool Executable = false;
};

struct TTableDiff {
    const TReserveTable* Table = nullptr;
    QStringList Columns; // the main server's, sorted by name
    QList<int> Types;
    // Columns one server has and the other has not: the rows are not compared and nothing is written.
    QStringList MainOnlyColumns;
    QStringList ReserveOnlyColumns;
    qint64 MainRows = 0;
    qint64 ReserveRows = 0;
    QList<TRowChange> Changes;
    QList<TSyncStep> Steps;

    bool StructureDiffers() const { return !MainOnlyColumns.isEmpty() || !ReserveOnlyColumns.isEmpty(); }
    bool Equal() const { return Changes.isEmpty() && !StructureDiffers(); }
    int Count(TRowChange::EKind kind) const;
    int Column(const QString& name) const { return Columns.indexOf(name.toUpper()); }
};

// Compares the kept rows of both servers. Tables with a key are matched by key; tables without one,
// and rows whose key holds a NULL, as multisets of whole rows.
TTableDiff DiffTable(const TReserveTable& table, const TTableRows& main, const TTableRows& reserve);
