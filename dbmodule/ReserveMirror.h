// Repeating on the reserve server the changes the gate of the logged classes does not carry: rows
// the editable dataset posted or deleted on the main session. The main server's change has already
// been made and committed when these run; a reserve server that refuses only loses the copy, so
// every failure is rolled back there and counted as a change the reserve missed
// (NoteUnmirroredChange), for the comparison of the two servers. User-interface thread only.
#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>

class TOracleQuery;

// A column with the bind type (otInteger, otString, ...) and the value it gets.
struct TMirrorValue {
    QString Column;
    int DataType;
    QVariant Value;
};

// Runs statements through a plain query on the reserve session (no gate), then commits there. On
// any failure the reserve session is rolled back; the result says whether the reserve took it.
bool RunOnReserve(const std::function<void(TOracleQuery&)>& statements);

// Makes the reserve server's row with this key hold the values: an update by the key, or an insert
// (key, values and insertOnly) when the reserve server has no such row. Columns left out keep what
// the reserve row holds.
bool MirrorRowByKey(const QString& table, const TMirrorValue& key, const QList<TMirrorValue>& values,
                    const QList<TMirrorValue>& insertOnly = {});

// Runs one statement of literal text (a delete by key) on the reserve server.
bool MirrorStatement(const QString& statement);
