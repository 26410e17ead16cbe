#include "ReserveMirror.h"

#include "Oracle.h"
#include "OracleBase.h"

#include <QStringList>

bool RunOnReserve(const std::function<void(TOracleQuery&)>& statements) {
    if (!FOracleBase)
        return false;
    TOracleSession* reserve = FOracleBase->BDatabase;
    TOracleQuery query;
    try {
        query.SetSession(reserve);
        statements(query);
        reserve->Commit();
        return true;
    } catch (...) {
        try {
            reserve->Rollback();
        } catch (...) {
            // A reserve server that went away refuses the roll-back too; its copy is lost either way.
        }
        // The main server holds the change, the reserve does not.
        FOracleBase->NoteUnmirroredChange();
        return false;
    }
}

bool MirrorRowByKey(const QString& table, const TMirrorValue& key, const QList<TMirrorValue>& values,
                    const QList<TMirrorValue>& insertOnly) {
    return RunOnReserve([&](TOracleQuery& query) {
        auto declare = [&query](const TMirrorValue& v) {
            query.DeclareVariable(v.Column, v.DataType);
            query.SetVariable(v.Column, v.Value);
        };
        QStringList assignments;
        for (const TMirrorValue& v : values)
            assignments << v.Column + QStringLiteral(" = :") + v.Column;
        query.SQL() << QStringLiteral("UPDATE ") + table
                    << QStringLiteral("SET ") + assignments.join(QStringLiteral(", "))
                    << QStringLiteral("WHERE ") + key.Column + QStringLiteral(" = :") + key.Column;
        declare(key);
        for (const TMirrorValue& v : values)
            declare(v);
        query.Execute();
        if (query.RowsProcessed() > 0)
            return;

        QStringList columns{key.Column}, variables{QStringLiteral(":") + key.Column};
        for (const QList<TMirrorValue>* list : {&values, &insertOnly})
            for (const TMirrorValue& v : *list) {
                columns << v.Column;
                variables << QStringLiteral(":") + v.Column;
            }
        query.SQL().clear();
        query.SQL() << QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (") +
                           columns.join(QStringLiteral(", ")) + QStringLiteral(")")
                    << QStringLiteral("VALUES (") + variables.join(QStringLiteral(", ")) +
                           QStringLiteral(")");
        for (const TMirrorValue& v : insertOnly)
            declare(v);
        query.Execute();
    });
}

bool MirrorStatement(const QString& statement) {
    return RunOnReserve([&](TOracleQuery& query) {
        query.SetSQLText(statement);
        query.Execute();
    });
}
